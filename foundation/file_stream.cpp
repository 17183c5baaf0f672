#include "foundation/file_stream.h"

#include "foundation/byte_order.h"
#include "foundation/paths.h"
#include "platform/file_io.h"

namespace {

constexpr uint8_t KWideMark = 0x0E;  // starts a three-byte character

}  // namespace

PwFileStream::~PwFileStream() {
  if (iWriting) Discard();
}

void PwFileStream::SetPath(CPwStringC aPath) {
  Close();
  iPath.Copy(aPath);
}

void PwFileStream::SetAppDataPath(CPwStringC aName) {
  Close();
  CPwString folder;
  AppDataFolder(folder);
  // Without the folder the path stays empty, so that nothing lands in the working folder.
  iPath.SetLength(0);
  if (folder.IsEmpty()) return;
  iPath.Append(folder);
  iPath.Append(aName);
}

int32_t PwFileStream::OpenRead() {
  Close();
  iFile.SetPath(iPath);
  if (!iFile.OpenRead(KBufferSize)) return 0;
  iReading = true;
  iData.SetLength(0);
  CPwByteArray chunk;
  while (iFile.Read(KBufferSize, chunk)) iData.Append(chunk);
  const bool failed = iFile.HasFailed();
  iFile.Close();
  if (failed) {
    // Part of a file is not the file: a read error fails the open.
    iReading = false;
    iData.SetLength(0);
    return 0;
  }
  iReadPos = 0;
  return 1;
}

void PwFileStream::OpenWrite() {
  Close();
  // Write beside the real file when the path is a link, so the link survives the replace.
  TNativePath native(iPath);
  char target[TNativePath::KMaxBytes];
  if (!native.IsValid() || !pwplat::ResolveFinalLink(native.Get(), target, sizeof(target)))
    Leave(KErrCannotOpen);
  // An existing file that may not be written is refused as a truncating open would be.
  if (pwplat::PathIsFolder(target) || (pwplat::PathExists(target) && !pwplat::PathWritable(target)))
    Leave(KErrCannotOpen);
  CPwString resolved;
  SetFromNativePath(resolved, target);
  iTempPath.Copy(resolved);
  iTempPath.Append(u".tmp");
  iFile.SetPath(iTempPath);
  iFile.Replace(KBufferSize, 0);
  iTarget = std::move(resolved);
  iWriting = true;
  iReadPos = 0;
}

void PwFileStream::Discard() {
  iFile.Close();
  if (!iTempPath.IsEmpty()) DeleteFile(iTempPath);
  iWriting = false;
}

int32_t PwFileStream::Close() {
  int32_t result = KErrNone;
  if (iWriting) {
    bool ok = !iFile.HasFailed() && iFile.Flush();
    iFile.Close();
    ok = ok && !iFile.HasFailed() && RenameFile(iTempPath, iTarget);
    if (ok) {
      // The rename itself must reach the medium too, or a crash could bring back the old file.
      CPwStringC parent = ParentFolderOf(iTarget);
      TNativePath folder(parent);
      if (folder.IsValid()) pwplat::FolderSync(folder.Get());
    } else {
      result = KErrCannotOpen;
      DeleteFile(iTempPath);
    }
    iWriting = false;
  }
  iData.Reset();
  iFile.Close();
  iReadPos = 0;
  iReading = false;
  return result;
}

// ---- writers ----

void PwFileStream::Emit(CPwByteArrayC aBytes) { iFile.Write(aBytes); }

void PwFileStream::WriteInt8(int32_t aValue) {
  uint8_t b = static_cast<uint8_t>(aValue);
  Emit(CPwByteArrayC(&b, 1));
}

void PwFileStream::WriteInt16(int32_t aValue) {
  uint8_t b[2];
  WriteLittleEndian16(b, static_cast<uint32_t>(aValue));
  Emit(CPwByteArrayC(b, 2));
}

void PwFileStream::WriteInt32(int32_t aValue) {
  uint8_t b[4];
  WriteLittleEndian32(b, static_cast<uint32_t>(aValue));
  Emit(CPwByteArrayC(b, 4));
}

void PwFileStream::EncodeText(CPwStringC aText, CPwByteArray& aOut) {
  const int32_t count = aText.Length();
  if (count > KMaxTextLength) Leave(KErrTooLong);
  if (count < 64) {
    aOut.AppendByte(static_cast<uint8_t>(count * 4));
  } else {
    uint32_t header = static_cast<uint32_t>(count) * 8 + 1;
    aOut.AppendByte(static_cast<uint8_t>(header));
    aOut.AppendByte(static_cast<uint8_t>(header >> 8));
  }
  for (int32_t i = 0; i < count; ++i) {
    char16_t c = aText.CharAt(i);
    // U+000E itself takes the long form, or it would read back as a wide-character mark.
    if (c < 0x80 && c != KWideMark) {
      aOut.AppendByte(static_cast<uint8_t>(c));
    } else {
      aOut.AppendByte(KWideMark);
      aOut.AppendByte(static_cast<uint8_t>(c >> 8));
      aOut.AppendByte(static_cast<uint8_t>(c));
    }
  }
}

void PwFileStream::WriteText(CPwStringC aText) {
  iData.SetLength(0);
  EncodeText(aText, iData);
  Emit(iData);
}

void PwFileStream::WriteUtf8Text(CPwStringC aText) {
  iData.SetLength(0);
  iData.AppendByte(0);
  iData.AppendByte(0);
  iData.AppendUtf8(aText);
  int32_t bytes = iData.Length() - 2;
  if (bytes > KMaxUtf8Bytes) Leave(KErrTooLong);
  iData.Buffer()[0] = static_cast<uint8_t>(bytes);
  iData.Buffer()[1] = static_cast<uint8_t>(bytes >> 8);
  Emit(iData);
}

void PwFileStream::WriteBtAddr(const TPwBtAddr& aAddr) { Emit(aAddr.Des()); }

// ---- readers ----

void PwFileStream::Require(int32_t aBytes) const {
  if (!iReading || Remaining() < aBytes) Leave(KErrCorrupt);
}

int32_t PwFileStream::ReadInt8() {
  Require(1);
  return iData.Ptr()[iReadPos++];
}

int32_t PwFileStream::ReadInt16() {
  Require(2);
  const uint8_t* p = iData.Ptr() + iReadPos;
  iReadPos += 2;
  return ReadLittleEndian16(p);
}

int32_t PwFileStream::ReadInt32() {
  Require(4);
  const uint8_t* p = iData.Ptr() + iReadPos;
  iReadPos += 4;
  return static_cast<int32_t>(ReadLittleEndian32(p));
}

void PwFileStream::DecodeText(CPwByteArrayC aData, int32_t& aPos, CPwString& aTarget) {
  const uint8_t* p = aData.Ptr();
  const int32_t end = aData.Length();
  int32_t q = aPos;
  if (q < 0 || q >= end) Leave(KErrCorrupt);
  int32_t count;
  switch (p[q] & 3) {
    case 0:
      count = p[q] >> 2;
      q += 1;
      break;
    case 1:
      if (end - q < 2) Leave(KErrCorrupt);
      count = ReadLittleEndian16(p + q) >> 3;
      q += 2;
      break;
    default:
      Leave(KErrCorrupt);
  }
  // Measure first, so that a torn wide character changes neither the position nor the
  // target. A text cut short at a character boundary ends with the data.
  const int32_t first = q;
  for (int32_t i = 0; i < count && q < end; ++i) {
    q += p[q] == KWideMark ? 3 : 1;
    if (q > end) Leave(KErrCorrupt);
  }
  aTarget.SetLength(0);
  for (int32_t r = first; r < q;) {
    if (p[r] == KWideMark) {
      aTarget.AppendChar(static_cast<char16_t>(ReadBigEndian16(p + r + 1)));
      r += 3;
    } else {
      aTarget.AppendChar(p[r]);
      r += 1;
    }
  }
  aPos = q;
}

void PwFileStream::ReadText(CPwString& aTarget) {
  if (!iReading) Leave(KErrCorrupt);
  DecodeText(iData, iReadPos, aTarget);
}

void PwFileStream::ReadUtf8Text(CPwString& aTarget) {
  Require(2);
  const uint8_t* p = iData.Ptr() + iReadPos;
  int32_t bytes = ReadLittleEndian16(p);
  Require(2 + bytes);
  aTarget.SetLength(0);
  aTarget.AppendFromUtf8(iData.Mid(iReadPos + 2, bytes));
  iReadPos += 2 + bytes;
}

void PwFileStream::ReadBtAddr(TPwBtAddr& aTarget) {
  Require(TPwBtAddr::KLength);
  aTarget = TPwBtAddr(iData.Mid(iReadPos, TPwBtAddr::KLength));
  iReadPos += TPwBtAddr::KLength;
}
