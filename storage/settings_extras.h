// Settings added after the 38 items of settings.dat: each is an Int32 tag and an Int32 value
// after item 38, written only when the value is not its default, so a file with every default
// stays byte for byte as earlier builds wrote it, and earlier builds, which stop reading after
// item 38, read a newer file as before. A reader skips tags it does not know.
//
//   tag 1: GPS receiver rate in Hz (u-blox receivers), default 0 (the receiver's own)
//   tag 2: GPS baud rate / 100 the baud-rate search found last, default 0 (none)
#pragma once

#include <cstdint>

class CSettings;
class PwFileStream;

enum : int32_t { ESettingsTagGpsReceiverRate = 1, ESettingsTagGpsFoundBaud = 2 };

// Reads the pairs up to the end of the stream; an odd remainder is left unread.
void ReadSettingsExtras(PwFileStream& aStream, CSettings& aSettings);
void WriteSettingsExtras(PwFileStream& aStream, const CSettings& aSettings);
