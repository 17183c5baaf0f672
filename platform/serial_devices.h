// The serial devices a GPS receiver is likely to be on, as Linux names their nodes.
#pragma once

#include <cstddef>

namespace pwplat {

// Where the system keeps its device nodes.
inline constexpr char KDeviceRoot[] = "/dev";

// Where the program looks for a receiver that is plugged in: $PACEWRIGHT_DEVICES when set (so
// that tests see the devices they make, and none of the machine's), else KDeviceRoot.
const char* ReceiverDeviceRoot();

// Calls aVisit once for every receiver-like serial device present in the folder aDevRoot
// (KDeviceRoot but in tests), most likely first: USB serial adapters (ttyUSB<n>), USB CDC
// devices (ttyACM<n>) and bound Bluetooth serial devices (rfcomm<n>), each family by number,
// then the devices the links in serial/by-id lead to, by link name (given as the path the
// link resolves to). A device may be visited twice (once by name, once by link). Stops when
// aVisit returns false. Returns how many were visited.
using TDeviceVisitor = bool (*)(void* aContext, const char* aPath);
int ForEachReceiverDevice(const char* aDevRoot, TDeviceVisitor aVisit, void* aContext);

}  // namespace pwplat
