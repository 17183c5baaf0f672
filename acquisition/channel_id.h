// Channel identifiers: the system-wide numbers of every recorded or derived quantity, used by
// sample lists, graphs, exporters and the live channel state alike.
#pragma once

#include <cstdint>

using TChannelId = int32_t;

enum : TChannelId {
  KChannelGpsTime = 1,
  KChannelDistanceDirect = 2,
  KChannelDistance = 3,
  KChannelGpsSpeed = 4,
  KChannelAltitude = 5,
  KChannelBearing = 6,
  KChannelSatellites = 7,
  KChannelCoordinatePrecision = 9,
  KChannelAltitudePrecision = 10,
  KChannel3DPrecision = 11,
  KChannelGpsLateralG = 12,
  KChannelGpsLongitudinalG = 13,
  KChannelObdTime = 21,
  KChannelObdDistance = 22,
  KChannelObdSpeed = 23,  // first of the OBD-II table channels 23..65
  KChannelObdRpm = 24,
  KChannelObdLast = 65,
  KChannelLoggerTime = 20000,
  KChannelLoggerDistance = 20001,
  KChannelLoggerDigital1 = 20002,
  KChannelLoggerAnalog1 = 20003,  // analog 1..5 are 20003..20007
  KChannelLoggerLongitudinalG = 20008,
  KChannelLoggerLateralG = 20009,
  KChannelLoggerDigital2 = 20010,
  KChannelLoggerAnalog6 = 20011,  // analog 6..8 are 20011..20013
};
