// Channel identifiers and the one table of what each channel is: its quantity class (which
// selects the unit, the unit factor and the decimals shown) and its display name. Sample lists,
// graphs, exporters, the live channel state and the string provider all read it, so a new
// channel is one identifier and one row.
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
  KChannelLapDelta = 14,  // the graph's lap delta (derived, never recorded)
  KChannelObdTime = 21,
  KChannelObdDistance = 22,
  // The OBD-II table channels 23..65.
  KChannelObdSpeed = 23,
  KChannelObdRpm = 24,
  KChannelObdThrottle = 25,
  KChannelObdCoolantTemperature = 26,
  KChannelObdManifoldPressure = 27,
  KChannelObdTimingAdvance = 28,
  KChannelObdIntakeTemperature = 29,
  KChannelObdAirflow = 30,
  KChannelObdAmbientTemperature = 31,
  KChannelObdEngineLoad = 32,
  KChannelObdShortFuelTrim1 = 33,
  KChannelObdLongFuelTrim1 = 34,
  KChannelObdShortFuelTrim2 = 35,
  KChannelObdLongFuelTrim2 = 36,
  KChannelObdFuelPressure = 37,
  KChannelObdSecondaryAirStatus = 38,
  KChannelObdOxygenSensors = 39,
  KChannelObdStandards = 40,
  KChannelObdOxygenSensors2 = 41,
  KChannelObdAuxiliaryInput = 42,
  KChannelObdRunTime = 43,
  KChannelObdOxygen1Bank1 = 44,  // oxygen sensors 1..4 of bank 1 are 44..47
  KChannelObdOxygen1Bank2 = 48,  // and of bank 2 48..51
  KChannelObdDistanceWithMil = 52,
  KChannelObdFuelRailPressure = 53,
  KChannelObdDieselRailPressure = 54,
  KChannelObdCommandedEgr = 55,
  KChannelObdEgrError = 56,
  KChannelObdEvaporativePurge = 57,
  KChannelObdFuelLevel = 58,
  KChannelObdWarmUps = 59,
  KChannelObdDistanceSinceClear = 60,
  KChannelObdEvaporativePressure = 61,
  KChannelObdBarometricPressure = 62,
  KChannelObdEcuVoltage = 63,
  KChannelObdAbsoluteLoad = 64,
  KChannelObdRelativeThrottle = 65,
  KChannelObdLast = KChannelObdRelativeThrottle,
  KChannelLoggerTime = 20000,
  KChannelLoggerDistance = 20001,
  KChannelLoggerDigital1 = 20002,
  KChannelLoggerAnalog1 = 20003,  // analog 1..5 are 20003..20007
  KChannelLoggerLongitudinalG = 20008,
  KChannelLoggerLateralG = 20009,
  KChannelLoggerDigital2 = 20010,
  KChannelLoggerAnalog6 = 20011,  // analog 6..8 are 20011..20013
};

// Quantity classes. The numbers are the unit kinds of the string provider and of the exports.
enum TQuantityClass : int32_t {
  EQuantityNone = 0,
  EQuantityTime = 1,           // s
  EQuantityDistance = 2,       // m stored; km or mi shown
  EQuantityShortDistance = 3,  // m or ft
  EQuantitySpeed = 4,          // m/s stored; km/h or mph shown
  EQuantityAltitude = 5,       // m or ft
  EQuantityPercent = 6,
  EQuantityTemperature = 7,    // degrees Celsius
  EQuantityRevolutions = 8,    // rpm
  EQuantityRevolutionDistance = 9,  // m/rev
  EQuantityPressure = 10,      // kPa
  EQuantityAngle = 11,         // degrees
  EQuantityAirflow = 12,       // g/s
  EQuantityCount = 13,         // a plain number without unit
  EQuantityVoltage = 14,
  EQuantityDop = 15,           // dilution of precision
  EQuantitySatellites = 16,
  EQuantityAcceleration = 17,  // G
  EQuantityRate = 18,          // Hz
  EQuantityAnalog = 19,        // a logger's analog input
  EQuantityDigital = 20,       // a logger's second digital input
  EQuantityTimeDifference = 21,  // the lap delta, with a scale of its own
  EQuantityClassCount
};

// What a quantity class shows: the unit in export column headers (Latin-1), the string-table
// entries of its metric and English unit texts (0: none), the decimals shown and the factors
// from the stored unit to the metric and English displayed ones.
struct TQuantityRow {
  TQuantityClass iClass;
  const char* iExportUnit;
  uint16_t iMetricUnit;
  uint16_t iEnglishUnit;
  int32_t iDecimals;
  double iMetricFactor;
  double iEnglishFactor;
};

// One channel: identifier, quantity class and the string-table entry of its name (0: it shows
// as "Unknown channel").
struct TChannelRow {
  TChannelId iId;
  TQuantityClass iClass;
  uint16_t iName;
};

// The row of a channel, or null for an identifier no channel has.
const TChannelRow* FindChannelRow(TChannelId aChannel);
// The row of a quantity class; any other number reads as EQuantityNone without unit text.
const TQuantityRow& QuantityRow(int32_t aClass);

// The quantity class of a channel (EQuantityNone for an unknown identifier).
int32_t ChannelQuantityClass(TChannelId aChannel);
// Decimals shown for values of a class.
int32_t QuantityDecimals(int32_t aClass);
// Factor from the stored unit to the displayed one; aImperial selects English units.
double QuantityFactor(int32_t aClass, bool aImperial);
// The string-table entry of a channel's display name ("Unknown channel" for any other).
uint16_t ChannelNameEntry(TChannelId aChannel);
