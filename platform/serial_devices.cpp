#include "platform/serial_devices.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace pwplat {

namespace {

constexpr const char* KFamilies[] = {"ttyUSB", "ttyACM", "rfcomm"};

// The entries of a folder (without "." and ".."), or none when it cannot be read.
std::vector<std::string> Entries(const std::string& aFolder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(aFolder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

// The number after aPrefix when aName is aPrefix and digits only, else -1.
long NumberAfter(const std::string& aName, const char* aPrefix) {
  const size_t length = ::strlen(aPrefix);
  if (aName.size() <= length || aName.size() > length + 6 || aName.compare(0, length, aPrefix) != 0) return -1;
  long number = 0;
  for (size_t i = length; i < aName.size(); ++i) {
    if (aName[i] < '0' || aName[i] > '9') return -1;
    number = number * 10 + (aName[i] - '0');
  }
  return number;
}

}  // namespace

const char* ReceiverDeviceRoot() {
  const char* root = EnvironmentValue("PACEWRIGHT_DEVICES");
  return root ? root : KDeviceRoot;
}

int ForEachReceiverDevice(const char* aDevRoot, TDeviceVisitor aVisit, void* aContext) {
  if (!aDevRoot || !aVisit) return 0;
  const std::string root(aDevRoot);
  const std::vector<std::string> names = Entries(root);
  int visited = 0;
  for (const char* family : KFamilies) {
    // ttyUSB2 before ttyUSB10.
    std::vector<std::pair<long, std::string>> found;
    for (const std::string& name : names)
      if (const long number = NumberAfter(name, family); number >= 0) found.emplace_back(number, name);
    std::sort(found.begin(), found.end());
    for (const auto& device : found) {
      ++visited;
      if (!aVisit(aContext, (root + "/" + device.second).c_str())) return visited;
    }
  }
  const std::string links = root + "/serial/by-id";
  std::vector<std::string> ids = Entries(links);
  std::sort(ids.begin(), ids.end());
  for (const std::string& id : ids) {
    char target[PATH_MAX];
    if (!::realpath((links + "/" + id).c_str(), target)) continue;  // a link to nothing
    ++visited;
    if (!aVisit(aContext, target)) return visited;
  }
  return visited;
}

}  // namespace pwplat
