#include "app/application.h"

// The GUI core and its views plug in here; until then the program runs with an empty window.
TGuiFactory DefaultGuiFactory() { return TGuiFactory(); }
