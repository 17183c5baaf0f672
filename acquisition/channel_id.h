// Channel identifiers: the system-wide numbers of every recorded or derived quantity, used by
// sample lists, graphs, exporters and the live channel state alike. They and the table of what
// each channel is live one layer down, where the string provider names them.
#pragma once

#include "foundation/channel_table.h"
