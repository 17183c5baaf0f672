// The program's version, PW_VERSION, comes from the build: the project version of
// CMakeLists.txt. The about text, exported files and the track server's user agent show it.
#pragma once

#ifndef PW_VERSION
#error "PW_VERSION comes from the build"
#endif
