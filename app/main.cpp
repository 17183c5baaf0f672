// The pacewright program: the GPS lap timer's window.
#include "app/application.h"

int main() { return RunApplication(DefaultGuiFactory()); }
