#include "platform/environment.h"

#include <cstdlib>

namespace pwplat {

const char* EnvironmentValue(const char* aName) {
  const char* value = aName ? ::getenv(aName) : nullptr;
  return value && *value ? value : nullptr;
}

}  // namespace pwplat
