#include "foundation/channel_table.h"

#include <cstddef>

#include "strings/pw_strings.h"

namespace {

constexpr double KMilesPerMetre = 0.00062137119223733;
constexpr double KFeetPerMetre = 3.2808399;

// Indexed by the class number.
constexpr TQuantityRow KQuantities[EQuantityClassCount] = {
    {EQuantityNone, "N/A", 0, 0, 0, 1.0, 1.0},
    {EQuantityTime, "s", R_UNIT_SECONDS, R_UNIT_SECONDS, 1, 1.0, 1.0},
    {EQuantityDistance, "m", R_UNIT_KM, R_UNIT_MI, 2, 0.001, KMilesPerMetre},
    {EQuantityShortDistance, "m", R_UNIT_M, R_UNIT_FT, 0, 1.0, KFeetPerMetre},
    {EQuantitySpeed, "m/s", R_UNIT_KPH, R_UNIT_MPH, 0, 3.6, 2.23693629},
    {EQuantityAltitude, "m", R_UNIT_M, R_UNIT_FT, 0, 1.0, KFeetPerMetre},
    {EQuantityPercent, "%", R_UNIT_PERCENT, R_UNIT_PERCENT, 0, 1.0, 1.0},
    {EQuantityTemperature, "\xB0" "C", R_UNIT_CELSIUS, R_UNIT_CELSIUS, 0, 1.0, 1.0},
    {EQuantityRevolutions, "rpm", R_UNIT_RPM, R_UNIT_RPM, 0, 1.0, 1.0},
    {EQuantityRevolutionDistance, "m/rev", R_UNIT_M_PER_REV, R_UNIT_M_PER_REV, 0, 1.0, 1.0},
    {EQuantityPressure, "kPa", R_UNIT_KPA, R_UNIT_KPA, 0, 1.0, 1.0},
    {EQuantityAngle, "\xB0", R_UNIT_DEGREES, R_UNIT_DEGREES, 1, 1.0, 1.0},
    {EQuantityAirflow, "g/s", R_UNIT_G_PER_S, R_UNIT_G_PER_S, 0, 1.0, 1.0},
    {EQuantityCount, "", 0, 0, 1, 1.0, 1.0},
    {EQuantityVoltage, "V", R_UNIT_VOLT, R_UNIT_VOLT, 2, 1.0, 1.0},
    {EQuantityDop, "DOP", R_UNIT_DOP, R_UNIT_DOP, 2, 1.0, 1.0},
    {EQuantitySatellites, "sats", R_UNIT_SATS, R_UNIT_SATS, 0, 1.0, 1.0},
    {EQuantityAcceleration, "G", R_UNIT_G, R_UNIT_G, 1, 1.0, 1.0},
    {EQuantityRate, "Hz", R_UNIT_HZ, R_UNIT_HZ, 0, 1.0, 1.0},
    {EQuantityAnalog, "", 0, 0, 0, 1.0, 1.0},
    {EQuantityDigital, "", 0, 0, 0, 1.0, 1.0},
    {EQuantityTimeDifference, "", 0, 0, 2, 1.0, 1.0},
};

constexpr bool QuantitiesInOrder() {
  for (int32_t i = 0; i < EQuantityClassCount; ++i)
    if (KQuantities[i].iClass != i) return false;
  return true;
}
static_assert(QuantitiesInOrder(), "the quantity rows are indexed by their class");

constexpr TChannelRow KChannels[] = {
    {KChannelGpsTime, EQuantityTime, R_CHANNEL_GPS_TIME},
    {KChannelDistanceDirect, EQuantityDistance, R_CHANNEL_DISTANCE_DIRECT},
    {KChannelDistance, EQuantityDistance, R_CHANNEL_DISTANCE},
    {KChannelGpsSpeed, EQuantitySpeed, R_CHANNEL_GPS_SPEED},
    {KChannelAltitude, EQuantityAltitude, R_CHANNEL_ALTITUDE},
    {KChannelBearing, EQuantityAngle, R_CHANNEL_BEARING},
    {KChannelSatellites, EQuantitySatellites, R_CHANNEL_SATELLITES},
    {KChannelCoordinatePrecision, EQuantityDop, R_CHANNEL_COORDINATE_PRECISION},
    {KChannelAltitudePrecision, EQuantityDop, R_CHANNEL_ALTITUDE_PRECISION},
    {KChannel3DPrecision, EQuantityDop, R_CHANNEL_3D_PRECISION},
    {KChannelGpsLateralG, EQuantityAcceleration, R_CHANNEL_GPS_LATERAL_G},
    {KChannelGpsLongitudinalG, EQuantityAcceleration, R_CHANNEL_GPS_LONGITUDINAL_G},
    {KChannelLapDelta, EQuantityTimeDifference, 0},
    {KChannelObdTime, EQuantityTime, R_CHANNEL_OBD_TIME},
    {KChannelObdDistance, EQuantityDistance, 0},
    {KChannelObdSpeed, EQuantitySpeed, R_CHANNEL_OBD_SPEED},
    {KChannelObdRpm, EQuantityRevolutions, R_CHANNEL_OBD_RPM},
    {KChannelObdThrottle, EQuantityPercent, R_CHANNEL_OBD_THROTTLE},
    {KChannelObdCoolantTemperature, EQuantityTemperature, R_CHANNEL_OBD_COOLANT_TEMP},
    {KChannelObdManifoldPressure, EQuantityPressure, R_CHANNEL_OBD_MANIFOLD_PRESSURE},
    {KChannelObdTimingAdvance, EQuantityAngle, R_CHANNEL_OBD_TIMING_ADVANCE},
    {KChannelObdIntakeTemperature, EQuantityTemperature, R_CHANNEL_OBD_INTAKE_TEMP},
    {KChannelObdAirflow, EQuantityAirflow, R_CHANNEL_OBD_AIRFLOW},
    {KChannelObdAmbientTemperature, EQuantityTemperature, R_CHANNEL_OBD_AMBIENT_TEMP},
    {KChannelObdEngineLoad, EQuantityPercent, R_CHANNEL_OBD_ENGINE_LOAD},
    {KChannelObdShortFuelTrim1, EQuantityPercent, R_CHANNEL_OBD_FUEL_TRIM_SHORT_B1},
    {KChannelObdLongFuelTrim1, EQuantityPercent, R_CHANNEL_OBD_FUEL_TRIM_LONG_B1},
    {KChannelObdShortFuelTrim2, EQuantityPercent, R_CHANNEL_OBD_FUEL_TRIM_SHORT_B2},
    {KChannelObdLongFuelTrim2, EQuantityPercent, R_CHANNEL_OBD_FUEL_TRIM_LONG_B2},
    {KChannelObdFuelPressure, EQuantityPressure, R_CHANNEL_OBD_FUEL_PRESSURE},
    {KChannelObdSecondaryAirStatus, EQuantityCount, R_CHANNEL_OBD_SEC_AIR_STATUS},
    {KChannelObdOxygenSensors, EQuantityCount, R_CHANNEL_OBD_OXYGEN_SENSORS},
    {KChannelObdStandards, EQuantityCount, R_CHANNEL_OBD_STANDARDS},
    {KChannelObdOxygenSensors2, EQuantityCount, R_CHANNEL_OBD_OXYGEN_SENSORS_2},
    {KChannelObdAuxiliaryInput, EQuantityCount, R_CHANNEL_OBD_AUX_INPUT},
    {KChannelObdRunTime, EQuantityTime, R_CHANNEL_OBD_RUN_TIME},
    {KChannelObdOxygen1Bank1, EQuantityVoltage, R_CHANNEL_OBD_O2_1_B1},
    {KChannelObdOxygen1Bank1 + 1, EQuantityVoltage, R_CHANNEL_OBD_O2_2_B1},
    {KChannelObdOxygen1Bank1 + 2, EQuantityVoltage, R_CHANNEL_OBD_O2_3_B1},
    {KChannelObdOxygen1Bank1 + 3, EQuantityVoltage, R_CHANNEL_OBD_O2_4_B1},
    {KChannelObdOxygen1Bank2, EQuantityVoltage, R_CHANNEL_OBD_O2_1_B2},
    {KChannelObdOxygen1Bank2 + 1, EQuantityVoltage, R_CHANNEL_OBD_O2_2_B2},
    {KChannelObdOxygen1Bank2 + 2, EQuantityVoltage, R_CHANNEL_OBD_O2_3_B2},
    {KChannelObdOxygen1Bank2 + 3, EQuantityVoltage, R_CHANNEL_OBD_O2_4_B2},
    {KChannelObdDistanceWithMil, EQuantityDistance, R_CHANNEL_OBD_DISTANCE_MIL},
    {KChannelObdFuelRailPressure, EQuantityPressure, R_CHANNEL_OBD_FUEL_RAIL_PRESSURE},
    {KChannelObdDieselRailPressure, EQuantityPressure, R_CHANNEL_OBD_DIESEL_RAIL_PRESSURE},
    {KChannelObdCommandedEgr, EQuantityPercent, R_CHANNEL_OBD_COMMANDED_EGR},
    {KChannelObdEgrError, EQuantityPercent, R_CHANNEL_OBD_EGR_ERROR},
    {KChannelObdEvaporativePurge, EQuantityPercent, R_CHANNEL_OBD_EVAP_PURGE},
    {KChannelObdFuelLevel, EQuantityPercent, R_CHANNEL_OBD_FUEL_LEVEL},
    {KChannelObdWarmUps, EQuantityCount, R_CHANNEL_OBD_WARMUPS},
    {KChannelObdDistanceSinceClear, EQuantityDistance, R_CHANNEL_OBD_DISTANCE_CLEAR},
    {KChannelObdEvaporativePressure, EQuantityPressure, R_CHANNEL_OBD_EVAP_PRESSURE},
    {KChannelObdBarometricPressure, EQuantityPressure, R_CHANNEL_OBD_BAROMETRIC},
    {KChannelObdEcuVoltage, EQuantityVoltage, R_CHANNEL_OBD_ECU_VOLTAGE},
    {KChannelObdAbsoluteLoad, EQuantityPercent, R_CHANNEL_OBD_ABSOLUTE_LOAD},
    {KChannelObdRelativeThrottle, EQuantityPercent, R_CHANNEL_OBD_RELATIVE_THROTTLE},
    {KChannelLoggerTime, EQuantityTime, R_CHANNEL_LOGGER_TIME},
    {KChannelLoggerDistance, EQuantityDistance, 0},
    {KChannelLoggerDigital1, EQuantityRevolutions, R_CHANNEL_LOGGER_DIGITAL_1},
    {KChannelLoggerAnalog1, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_1},
    {KChannelLoggerAnalog1 + 1, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_2},
    {KChannelLoggerAnalog1 + 2, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_3},
    {KChannelLoggerAnalog1 + 3, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_4},
    {KChannelLoggerAnalog1 + 4, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_5},
    {KChannelLoggerLongitudinalG, EQuantityAcceleration, R_CHANNEL_LOGGER_LONGITUDINAL_G},
    {KChannelLoggerLateralG, EQuantityAcceleration, R_CHANNEL_LOGGER_LATERAL_G},
    {KChannelLoggerDigital2, EQuantityDigital, R_CHANNEL_LOGGER_DIGITAL_2},
    {KChannelLoggerAnalog6, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_6},
    {KChannelLoggerAnalog6 + 1, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_7},
    {KChannelLoggerAnalog6 + 2, EQuantityAnalog, R_CHANNEL_LOGGER_ANALOG_8},
};

constexpr bool ChannelsInOrder() {
  for (size_t i = 1; i < sizeof(KChannels) / sizeof(KChannels[0]); ++i)
    if (KChannels[i - 1].iId >= KChannels[i].iId) return false;
  return true;
}
static_assert(ChannelsInOrder(), "the channel rows are sorted by identifier");

}  // namespace

const TChannelRow* FindChannelRow(TChannelId aChannel) {
  // Binary search: the sample decoders ask for every value.
  size_t low = 0, high = sizeof(KChannels) / sizeof(KChannels[0]);
  while (low < high) {
    const size_t middle = (low + high) / 2;
    if (KChannels[middle].iId < aChannel)
      low = middle + 1;
    else
      high = middle;
  }
  return low < sizeof(KChannels) / sizeof(KChannels[0]) && KChannels[low].iId == aChannel ? &KChannels[low] : nullptr;
}

const TQuantityRow& QuantityRow(int32_t aClass) {
  static constexpr TQuantityRow KUnknown = {EQuantityNone, "", 0, 0, 0, 1.0, 1.0};
  return aClass >= 0 && aClass < EQuantityClassCount ? KQuantities[aClass] : KUnknown;
}

int32_t ChannelQuantityClass(TChannelId aChannel) {
  const TChannelRow* row = FindChannelRow(aChannel);
  return row ? row->iClass : EQuantityNone;
}

int32_t QuantityDecimals(int32_t aClass) { return QuantityRow(aClass).iDecimals; }

double QuantityFactor(int32_t aClass, bool aImperial) {
  const TQuantityRow& row = QuantityRow(aClass);
  return aImperial ? row.iEnglishFactor : row.iMetricFactor;
}

uint16_t ChannelNameEntry(TChannelId aChannel) {
  const TChannelRow* row = FindChannelRow(aChannel);
  return row && row->iName != 0 ? row->iName : static_cast<uint16_t>(R_CHANNEL_UNKNOWN);
}
