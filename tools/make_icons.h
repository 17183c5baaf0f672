// The program's own icons: simple pictograms drawn with the drawing layer and written as
// 64 x 64 RGBA PNG files ("<name>.png") into the installation folder's "icons/" folder. The
// layout loads them at the icon size of the screen (16 to 64 pixels) and scales them down.
//
// Each icon is drawn four times larger and averaged down, which gives smooth edges with the
// drawing layer's plain primitives. Names:
//   start menu   new_session sessions tracks tests settings about exit
//   program      pacewright (also the desktop's icon of the program)
//   recording    record pause stop play laps map graphs traps gps obd logger
//   views        map_zoom_in map_zoom_out trap_previous trap_next step_back step_forward
//   actions      back more comparison export import delete ok lock unlock
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CPwBitmap;

namespace pwtools {

inline constexpr int32_t KIconSize = 64;

// Every icon name in drawing order.
std::vector<std::string> IconNames();

// The icon of that name at KIconSize with a transparent background; null for an unknown name.
// Leaves KErrNoMemory.
CPwBitmap* DrawIconL(const std::string& aName);

// Writes every icon into aFolder (created when missing), each file through a scratch name
// moved into place. Returns the number written; leaves KErrCannotOpen when one cannot be
// written.
int32_t MakeIconsL(const std::string& aFolder);

}  // namespace pwtools
