// Which Linux device a serial port number of the settings stands for. The settings keep a port
// number from 1 to 99, shown as "COM%N:"; the number picks a device by tens:
//
//    1 -  9   /dev/ttyUSB0 - /dev/ttyUSB8    USB serial adapters, most GPS pucks
//   10 - 19   /dev/ttyACM0 - /dev/ttyACM9    USB CDC devices (u-blox and similar receivers)
//   20 - 29   /dev/rfcomm0 - /dev/rfcomm9    paired Bluetooth serial devices (rfcomm bind)
//   30 - 39   /dev/ttyS0   - /dev/ttyS9      built-in UARTs
//   40 - 49   /dev/ttyAMA0 - /dev/ttyAMA9    the Raspberry Pi's UARTs
//   50 - 99   nothing, unless set by the environment
//
// The environment variable PACEWRIGHT_PORT_<N> (for example PACEWRIGHT_PORT_55=/dev/serial/
// by-id/usb-...) names the device of port N instead, for any N from 1 to 99; tests use it to
// point a port at a pseudo-terminal.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

namespace pwports {

constexpr int32_t KFirstPort = 1;
constexpr int32_t KLastPort = 99;

// Name of the environment variable that overrides port aPort ("PACEWRIGHT_PORT_3").
void OverrideVariable(int32_t aPort, CPwByteArray& aName);

// Replaces aPath with the device path (UTF-8) of port aPort. False (aPath emptied) when the
// number is outside 1..99 or maps to no device.
bool DevicePath(int32_t aPort, CPwByteArray& aPath);
// The same from the fixed table only, ignoring the environment.
bool DefaultDevicePath(int32_t aPort, CPwByteArray& aPath);

// Appends the label the settings editor and the command line show for a port:
// "COM3: /dev/ttyUSB2", or "COM55: (no device)" when the number maps to nothing.
void AppendPortLabel(int32_t aPort, CPwString& aText);
// Appends the short name "COM3:".
void AppendPortName(int32_t aPort, CPwString& aText);

// Whether the device of port aPort exists on this machine now.
bool DeviceExists(int32_t aPort);

// The port number of a device by its node's name ("ttyACM2" is 12), from the fixed table; 0
// when no number stands for it.
int32_t PortOfDeviceName(std::string_view aName);

// The port a new installation starts the GPS on: that of the first receiver-like device
// present under aDevRoot (see pwplat::ForEachReceiverDevice) that a number stands for, else 0.
int32_t FirstReceiverPort(const char* aDevRoot);

// The ports whose device exists now, in number order, at most aMax of them; returns the count.
int32_t ExistingPorts(int32_t* aPorts, int32_t aMax);

}  // namespace pwports
