// The process environment as the program reads its overrides from it (test folders, device
// maps, the track server).
#pragma once

namespace pwplat {

// The value of an environment variable; null when it is not set or empty.
const char* EnvironmentValue(const char* aName);

}  // namespace pwplat
