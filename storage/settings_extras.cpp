#include "storage/settings_extras.h"

#include "foundation/file_stream.h"
#include "storage/settings.h"

void ReadSettingsExtras(PwFileStream& aStream, CSettings& aSettings) {
  while (aStream.Remaining() >= 8) {
    const int32_t tag = aStream.ReadInt32();
    const int32_t value = aStream.ReadInt32();
    switch (tag) {
      case ESettingsTagGpsReceiverRate: aSettings.GpsReceiverRate() = value; break;
      case ESettingsTagGpsFoundBaud: aSettings.GpsFoundBaudRate() = value; break;
      default: break;  // a setting of a later build
    }
  }
}

void WriteSettingsExtras(PwFileStream& aStream, const CSettings& aSettings) {
  const int32_t items[][2] = {{ESettingsTagGpsReceiverRate, aSettings.GpsReceiverRate()},
                              {ESettingsTagGpsFoundBaud, aSettings.GpsFoundBaudRate()}};
  for (const auto& item : items) {
    if (item[1] == 0) continue;
    aStream.WriteInt32(item[0]);
    aStream.WriteInt32(item[1]);
  }
}
