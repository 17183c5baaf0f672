#include "foundation/string_provider.h"

#include "foundation/string_table.h"
#include "strings/pw_strings.h"

namespace {

CPwStringC TableText(uint16_t aId) {
  int32_t length = 0;
  const char16_t* text = PwStringTableText(aId, &length);
  return CPwStringC(text, length);
}

// 0 means "no text": kinds 0 and 13.
constexpr uint16_t KMetricUnits[CStringProvider::KUnitKindCount] = {
    0,           R_UNIT_SECONDS, R_UNIT_KM,     R_UNIT_M,       R_UNIT_KPH,
    R_UNIT_M,    R_UNIT_PERCENT, R_UNIT_CELSIUS, R_UNIT_RPM,    R_UNIT_M_PER_REV,
    R_UNIT_KPA,  R_UNIT_DEGREES, R_UNIT_G_PER_S, 0,             R_UNIT_VOLT,
    R_UNIT_DOP,  R_UNIT_SATS,    R_UNIT_G,       R_UNIT_HZ,
};

// Only distances and speeds (kinds 2 to 5) change with the units.
constexpr uint16_t KEnglishUnits[CStringProvider::KUnitKindCount] = {
    0,           R_UNIT_SECONDS, R_UNIT_MI,     R_UNIT_FT,      R_UNIT_MPH,
    R_UNIT_FT,   R_UNIT_PERCENT, R_UNIT_CELSIUS, R_UNIT_RPM,    R_UNIT_M_PER_REV,
    R_UNIT_KPA,  R_UNIT_DEGREES, R_UNIT_G_PER_S, 0,             R_UNIT_VOLT,
    R_UNIT_DOP,  R_UNIT_SATS,    R_UNIT_G,       R_UNIT_HZ,
};

// GPS channels 1-13 (8 is not used).
constexpr uint16_t KGpsChannels[] = {
    R_CHANNEL_GPS_TIME,          R_CHANNEL_DISTANCE_DIRECT,      R_CHANNEL_DISTANCE,
    R_CHANNEL_GPS_SPEED,         R_CHANNEL_ALTITUDE,             R_CHANNEL_BEARING,
    R_CHANNEL_SATELLITES,        0,                              R_CHANNEL_COORDINATE_PRECISION,
    R_CHANNEL_ALTITUDE_PRECISION, R_CHANNEL_3D_PRECISION,        R_CHANNEL_GPS_LATERAL_G,
    R_CHANNEL_GPS_LONGITUDINAL_G,
};

// OBD-II channels 23-65 in channel-table order.
constexpr uint16_t KObdChannels[] = {
    R_CHANNEL_OBD_SPEED,              R_CHANNEL_OBD_RPM,
    R_CHANNEL_OBD_THROTTLE,           R_CHANNEL_OBD_COOLANT_TEMP,
    R_CHANNEL_OBD_MANIFOLD_PRESSURE,  R_CHANNEL_OBD_TIMING_ADVANCE,
    R_CHANNEL_OBD_INTAKE_TEMP,        R_CHANNEL_OBD_AIRFLOW,
    R_CHANNEL_OBD_AMBIENT_TEMP,       R_CHANNEL_OBD_ENGINE_LOAD,
    R_CHANNEL_OBD_FUEL_TRIM_SHORT_B1, R_CHANNEL_OBD_FUEL_TRIM_LONG_B1,
    R_CHANNEL_OBD_FUEL_TRIM_SHORT_B2, R_CHANNEL_OBD_FUEL_TRIM_LONG_B2,
    R_CHANNEL_OBD_FUEL_PRESSURE,      R_CHANNEL_OBD_SEC_AIR_STATUS,
    R_CHANNEL_OBD_OXYGEN_SENSORS,     R_CHANNEL_OBD_STANDARDS,
    R_CHANNEL_OBD_OXYGEN_SENSORS_2,   R_CHANNEL_OBD_AUX_INPUT,
    R_CHANNEL_OBD_RUN_TIME,           R_CHANNEL_OBD_O2_1_B1,
    R_CHANNEL_OBD_O2_2_B1,            R_CHANNEL_OBD_O2_3_B1,
    R_CHANNEL_OBD_O2_4_B1,            R_CHANNEL_OBD_O2_1_B2,
    R_CHANNEL_OBD_O2_2_B2,            R_CHANNEL_OBD_O2_3_B2,
    R_CHANNEL_OBD_O2_4_B2,            R_CHANNEL_OBD_DISTANCE_MIL,
    R_CHANNEL_OBD_FUEL_RAIL_PRESSURE, R_CHANNEL_OBD_DIESEL_RAIL_PRESSURE,
    R_CHANNEL_OBD_COMMANDED_EGR,      R_CHANNEL_OBD_EGR_ERROR,
    R_CHANNEL_OBD_EVAP_PURGE,         R_CHANNEL_OBD_FUEL_LEVEL,
    R_CHANNEL_OBD_WARMUPS,            R_CHANNEL_OBD_DISTANCE_CLEAR,
    R_CHANNEL_OBD_EVAP_PRESSURE,      R_CHANNEL_OBD_BAROMETRIC,
    R_CHANNEL_OBD_ECU_VOLTAGE,        R_CHANNEL_OBD_ABSOLUTE_LOAD,
    R_CHANNEL_OBD_RELATIVE_THROTTLE,
};
static_assert(sizeof(KObdChannels) / sizeof(KObdChannels[0]) == 65 - 23 + 1);

// Data-logger channels 20002-20013.
constexpr uint16_t KLoggerChannels[] = {
    R_CHANNEL_LOGGER_DIGITAL_1, R_CHANNEL_LOGGER_ANALOG_1,       R_CHANNEL_LOGGER_ANALOG_2,
    R_CHANNEL_LOGGER_ANALOG_3,  R_CHANNEL_LOGGER_ANALOG_4,       R_CHANNEL_LOGGER_ANALOG_5,
    R_CHANNEL_LOGGER_LONGITUDINAL_G, R_CHANNEL_LOGGER_LATERAL_G, R_CHANNEL_LOGGER_DIGITAL_2,
    R_CHANNEL_LOGGER_ANALOG_6,  R_CHANNEL_LOGGER_ANALOG_7,       R_CHANNEL_LOGGER_ANALOG_8,
};
static_assert(sizeof(KLoggerChannels) / sizeof(KLoggerChannels[0]) == 20013 - 20002 + 1);

template <size_t N>
uint16_t Lookup(const uint16_t (&aTable)[N], int32_t aIndex) {
  return aIndex >= 0 && static_cast<size_t>(aIndex) < N ? aTable[aIndex] : 0;
}

}  // namespace

CStringProvider* CStringProvider::NewL(const MUnitsSource* aUnits) {
  return new CStringProvider(aUnits);
}

// The unit texts are views of the compiled string table, which lives as long as the program,
// so nothing is copied and construction cannot fail.
CStringProvider::CStringProvider(const MUnitsSource* aUnits) : iUnits(aUnits) {
  for (int32_t kind = 0; kind < KUnitKindCount; ++kind) {
    if (KMetricUnits[kind] != 0) iMetric[kind] = TableText(KMetricUnits[kind]);
    if (KEnglishUnits[kind] != 0) iEnglish[kind] = TableText(KEnglishUnits[kind]);
  }
}

CPwStringC CStringProvider::UnitText(int32_t aKind) const {
  if (aKind < 0 || aKind >= KUnitKindCount) return CPwStringC();
  return EnglishUnits() ? iEnglish[aKind] : iMetric[aKind];
}

void CStringProvider::ChannelName(int32_t aChannel, CPwString& aText) {
  uint16_t id = 0;
  if (aChannel >= 1 && aChannel <= 13)
    id = Lookup(KGpsChannels, aChannel - 1);
  else if (aChannel == 21)
    id = R_CHANNEL_OBD_TIME;
  else if (aChannel >= 23 && aChannel <= 65)
    id = Lookup(KObdChannels, aChannel - 23);
  else if (aChannel == 20000)
    id = R_CHANNEL_LOGGER_TIME;
  else if (aChannel >= 20002 && aChannel <= 20013)
    id = Lookup(KLoggerChannels, aChannel - 20002);
  if (id == 0) id = R_CHANNEL_UNKNOWN;
  aText.LoadFromResource(id);
}

void CStringProvider::TrapTypeName(int32_t aType, CPwString& aText) {
  uint16_t id = R_TRAP_SPLIT;
  switch (aType) {
    case 1: id = R_TRAP_START; break;
    case 2: id = R_TRAP_FINISH; break;
    case 3: id = R_TRAP_START_FINISH; break;
    case 5: id = R_TRAP_STANDING_START; break;
    default: break;
  }
  aText.LoadFromResource(id);
}

void CStringProvider::FormatStorageSize(int64_t aKib, CPwString& aText) {
  aText.SetLength(0);
  uint16_t unit;
  if (aKib < 1000) {
    aText.AppendNum(aKib);
    unit = R_SIZE_KB;
  } else if (aKib < 10188) {
    aText.AppendReal(static_cast<double>(aKib) / 1024.0, 1, u'.');
    unit = R_SIZE_MB;
  } else if (aKib < 1023488) {
    aText.AppendReal(static_cast<double>(aKib) / 1024.0, 0, u'.');
    unit = R_SIZE_MB;
  } else {
    aText.AppendReal(static_cast<double>(aKib) / 1048576.0, 1, u'.');
    unit = R_SIZE_GB;
  }
  aText.AppendChar(u' ');
  aText.Append(TableText(unit));
}
