#include "foundation/string_provider.h"

#include "foundation/channel_table.h"
#include "foundation/string_table.h"
#include "strings/pw_strings.h"

namespace {

CPwStringC TableText(uint16_t aId) {
  int32_t length = 0;
  const char16_t* text = PwStringTableText(aId, &length);
  return CPwStringC(text, length);
}

}  // namespace

CStringProvider* CStringProvider::NewL(const MUnitsSource* aUnits) {
  return new CStringProvider(aUnits);
}

// The unit texts are views of the compiled string table, which lives as long as the program,
// so nothing is copied and construction cannot fail.
CStringProvider::CStringProvider(const MUnitsSource* aUnits) : iUnits(aUnits) {
  for (int32_t kind = 0; kind < KUnitKindCount; ++kind) {
    const TQuantityRow& row = QuantityRow(kind);
    if (row.iMetricUnit != 0) iMetric[kind] = TableText(row.iMetricUnit);
    if (row.iEnglishUnit != 0) iEnglish[kind] = TableText(row.iEnglishUnit);
  }
}

CPwStringC CStringProvider::UnitText(int32_t aKind) const {
  if (aKind < 0 || aKind >= KUnitKindCount) return CPwStringC();
  return EnglishUnits() ? iEnglish[aKind] : iMetric[aKind];
}

void CStringProvider::ChannelName(int32_t aChannel, CPwString& aText) {
  aText.LoadFromResource(ChannelNameEntry(aChannel));
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
