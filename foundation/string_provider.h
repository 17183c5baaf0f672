// Localized texts that depend on a kind or a setting: unit texts for metric or English units,
// channel display names, trap type names and formatted storage sizes.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"

// Where the string provider reads the units setting (the settings object implements it).
class MUnitsSource {
 public:
  virtual ~MUnitsSource() = default;
  // 0 metric, 1 English.
  virtual int32_t Units() const = 0;
};

class CStringProvider : public CPwBase {
 public:
  // Unit kinds (quantity classes) up to the last with a text of its own; every other kind
  // reads as the empty text.
  static constexpr int32_t KUnitKindCount = 19;
  static constexpr int32_t KUnitsEnglish = 1;

  // aUnits may be null (metric units) and is not owned.
  static CStringProvider* NewL(const MUnitsSource* aUnits);
  explicit CStringProvider(const MUnitsSource* aUnits = nullptr);

  void SetUnitsSource(const MUnitsSource* aUnits) { iUnits = aUnits; }
  bool EnglishUnits() const { return iUnits != nullptr && iUnits->Units() == KUnitsEnglish; }

  // The unit text of a kind (0-18) in the current units; valid for the life of the program.
  CPwStringC UnitText(int32_t aKind) const;

  // Display name of a channel identifier ("Unknown channel" for any other).
  static void ChannelName(int32_t aChannel, CPwString& aText);
  // 1 "Start", 2 "Finish", 3 "Start/Finish", 5 "Standing start", anything else "Split".
  static void TrapTypeName(int32_t aType, CPwString& aText);
  // A size in KiB as "999 kB", "9.9 MB", "10 MB" or "1.0 GB".
  static void FormatStorageSize(int64_t aKib, CPwString& aText);

 private:
  const MUnitsSource* iUnits = nullptr;
  CPwStringC iMetric[KUnitKindCount];
  CPwStringC iEnglish[KUnitKindCount];
};
