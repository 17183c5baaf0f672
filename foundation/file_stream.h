// The binary stream behind every .bin and .dat file: little-endian integers, compact texts
// and Bluetooth addresses back to back, with no tags or padding.
//
//   Int8      1 byte                      read as 0..255
//   Int16     2 bytes little-endian       read as 0..65535
//   Int32     4 bytes little-endian       read as signed
//   Text      header, then per character one byte (below U+0080) or 0E hi lo
//             header: count*4 (one byte, count < 64) or count*8+1 (two bytes, LE, < 8192)
//   Utf8Text  Int16 byte count, then the UTF-8 bytes
//   BtAddr    the six address bytes in order
//
// Reading loads the whole file into memory and decodes from there. Writing goes to a new
// file beside the target that replaces the target only when Close has written and forced
// all of it to the medium, so a save that fails halfway keeps the previous file.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_bt_addr.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_file.h"
#include "foundation/pw_string.h"

class PwFileStream : public CPwBase {
 public:
  PwFileStream() = default;
  // An open write that was never closed is discarded (the target keeps its old content):
  // a leave halfway through a save must not replace a good file with a part of one.
  ~PwFileStream() override;

  // Absolute path of the file.
  void SetPath(CPwStringC aPath);
  // A file of the per-user application-data folder (settings, performance tests).
  void SetAppDataPath(CPwStringC aName);
  CPwStringC Path() const { return iPath; }

  // Reads the whole file into memory, read position 0. 1 on success, 0 if the file cannot
  // be opened or read (never leaves, except KErrNoMemory).
  int32_t OpenRead();
  // Starts writing a replacement of the file; leaves KErrCannotOpen if it cannot be created.
  void OpenWrite();
  // Ends reading or writing. After writing: KErrNone once the file holds everything
  // written, KErrCannotOpen if the write failed (the previous file is then kept). Never
  // leaves; safe to call twice.
  int32_t Close();
  bool IsOpen() const { return iReading || iWriting; }

  // Each writer leaves KErrTooLong for a text that cannot be stored (more than 8191
  // characters, or more than 65535 UTF-8 bytes) and writes nothing in that case.
  void WriteInt8(int32_t aValue);
  void WriteInt16(int32_t aValue);
  void WriteInt32(int32_t aValue);
  void WriteText(CPwStringC aText);
  void WriteUtf8Text(CPwStringC aText);
  void WriteBtAddr(const TPwBtAddr& aAddr);

  // Each reader leaves KErrCorrupt, with the read position and the target unchanged, when
  // the data do not hold the whole item (or a text header is malformed). A text is the
  // exception: its characters end with the data, and only a wide character cut off there
  // is damage.
  int32_t ReadInt8();
  int32_t ReadInt16();
  int32_t ReadInt32();
  void ReadText(CPwString& aTarget);
  void ReadUtf8Text(CPwString& aTarget);
  void ReadBtAddr(TPwBtAddr& aTarget);

  // Bytes from the read position to the end of the data.
  int32_t Remaining() const { return iData.Length() - iReadPos; }
  int32_t ReadPosition() const { return iReadPos; }

  static constexpr int32_t KBufferSize = 10240;
  static constexpr int32_t KMaxTextLength = 8191;
  static constexpr int32_t KMaxUtf8Bytes = 65535;

  // Encodes one item into aOut (appending), exactly as the stream writes it; the writers
  // and tests share these. Leave KErrTooLong like the writers.
  static void EncodeText(CPwStringC aText, CPwByteArray& aOut);
  // Decodes a text at aPos of aData into aTarget and advances aPos, stopping early at the
  // end of the data; leaves KErrCorrupt (aPos and aTarget unchanged) for a malformed or
  // cut-off header and for a wide character cut off by the end.
  static void DecodeText(CPwByteArrayC aData, int32_t& aPos, CPwString& aTarget);

 private:
  void Require(int32_t aBytes) const;
  void Emit(CPwByteArrayC aBytes);
  void Discard();

  PwFileBuffered iFile;
  CPwString iPath;
  CPwString iTarget;     // the file a write replaces (links followed)
  CPwString iTempPath;   // the replacement being written
  CPwByteArray iData;    // the whole file while reading; scratch while writing
  int32_t iReadPos = 0;
  bool iReading = false;
  bool iWriting = false;
};
