#include "acquisition/port_map.h"

#include <cstring>
#include <string_view>

#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/serial_devices.h"
#include "strings/pw_strings.h"

namespace pwports {

namespace {

struct TPortRange {
  int32_t iFirst;
  int32_t iLast;
  const char* iPrefix;
  int32_t iFirstIndex;  // device index of iFirst
};

// See the header: one family of devices per ten numbers.
constexpr TPortRange KRanges[] = {
    {1, 9, "/dev/ttyUSB", 0},   {10, 19, "/dev/ttyACM", 0}, {20, 29, "/dev/rfcomm", 0},
    {30, 39, "/dev/ttyS", 0},   {40, 49, "/dev/ttyAMA", 0},
};

bool InRange(int32_t aPort) { return aPort >= KFirstPort && aPort <= KLastPort; }

// A zero-terminated copy of aBytes for the system calls.
struct TCString {
  explicit TCString(CPwByteArrayC aBytes) {
    iText.Copy(aBytes);
    iText.AppendByte(0);
  }
  const char* Get() const { return reinterpret_cast<const char*>(iText.Ptr()); }
  CPwByteArray iText;
};

}  // namespace

void OverrideVariable(int32_t aPort, CPwByteArray& aName) {
  aName.Copy("PACEWRIGHT_PORT_");
  aName.AppendNum(aPort);
}

bool DefaultDevicePath(int32_t aPort, CPwByteArray& aPath) {
  aPath.SetLength(0);
  for (const TPortRange& r : KRanges) {
    if (aPort >= r.iFirst && aPort <= r.iLast) {
      aPath.Append(CPwByteArrayC(std::string_view(r.iPrefix)));
      aPath.AppendNum(aPort - r.iFirst + r.iFirstIndex);
      return true;
    }
  }
  return false;
}

bool DevicePath(int32_t aPort, CPwByteArray& aPath) {
  aPath.SetLength(0);
  if (!InRange(aPort)) return false;
  CPwByteArray name;
  OverrideVariable(aPort, name);
  TCString variable(name);
  if (const char* value = pwplat::EnvironmentValue(variable.Get())) {
    aPath.Copy(CPwByteArrayC(std::string_view(value)));
    return true;
  }
  return DefaultDevicePath(aPort, aPath);
}

void AppendPortName(int32_t aPort, CPwString& aText) {
  CPwString name;
  name.FormatN(R_PORT_NAME, aPort);
  aText.Append(name);
}

void AppendPortLabel(int32_t aPort, CPwString& aText) {
  CPwString name;
  name.FormatN(R_PORT_NAME, aPort);
  CPwByteArray path;
  CPwString label;
  if (DevicePath(aPort, path)) {
    CPwString device;
    device.AppendFromUtf8(path);
    label.FormatUU(R_PORT_LABEL, name, device);
  } else {
    label.FormatU(R_PORT_NO_DEVICE, name);
  }
  aText.Append(label);
}

bool DeviceExists(int32_t aPort) {
  CPwByteArray path;
  if (!DevicePath(aPort, path)) return false;
  TCString text(path);
  return pwplat::PathExists(text.Get());
}

int32_t PortOfDeviceName(std::string_view aName) {
  for (const TPortRange& r : KRanges) {
    std::string_view family(r.iPrefix);
    family.remove_prefix(family.rfind('/') + 1);
    if (aName.size() <= family.size() || aName.size() > family.size() + 2 || aName.substr(0, family.size()) != family)
      continue;
    int32_t index = 0;
    for (const char c : aName.substr(family.size())) {
      if (c < '0' || c > '9') return 0;
      index = index * 10 + (c - '0');
    }
    const int32_t port = r.iFirst + index - r.iFirstIndex;
    return port <= r.iLast ? port : 0;
  }
  return 0;
}

int32_t FirstReceiverPort(const char* aDevRoot) {
  int32_t port = 0;
  pwplat::ForEachReceiverDevice(
      aDevRoot,
      [](void* aPort, const char* aPath) {
        const char* slash = std::strrchr(aPath, '/');
        *static_cast<int32_t*>(aPort) = PortOfDeviceName(slash ? slash + 1 : aPath);
        return *static_cast<int32_t*>(aPort) == 0;  // on until one has a number
      },
      &port);
  return port;
}

int32_t ExistingPorts(int32_t* aPorts, int32_t aMax) {
  int32_t count = 0;
  for (int32_t port = KFirstPort; port <= KLastPort && count < aMax; ++port)
    if (DeviceExists(port)) aPorts[count++] = port;
  return count;
}

}  // namespace pwports
