#include "foundation/pw_file.h"

#include <climits>

#include "foundation/paths.h"
#include "platform/file_io.h"

// ---- CPwFile ----

CPwFile::~CPwFile() { Close(); }

void CPwFile::SetPath(CPwStringC aPath) {
  Close();
  iPath.Copy(aPath);
  iSize = -1;
}

bool CPwFile::OpenMode(int aMode, bool aWritable) {
  Close();
  iSize = -1;
  TNativePath native(iPath);
  if (!native.IsValid()) return false;
  int fd = pwplat::FileOpen(native.Get(), static_cast<pwplat::TFileOpenMode>(aMode));
  if (fd < 0) return false;
  iHandle = fd;
  iOpen = true;
  iWritable = aWritable;
  return true;
}

int32_t CPwFile::OpenRead() {
  if (iOpen) return 0;
  return OpenMode(pwplat::EOpenRead, false) ? 1 : 0;
}

int32_t CPwFile::OpenWrite() {
  if (iOpen) return 0;
  return OpenMode(pwplat::EOpenReadWrite, true) ? 1 : 0;
}

void CPwFile::Replace() {
  if (!OpenMode(pwplat::EOpenReplace, true)) Leave(KErrCannotOpen);
}

void CPwFile::OpenAppend() {
  if (!OpenMode(pwplat::EOpenAppend, true)) Leave(KErrCannotOpen);
}

void CPwFile::Close() {
  if (iOpen) pwplat::FileClose(iHandle);
  iHandle = -1;
  iOpen = false;
  iWritable = false;
  iSize = -1;
}

bool CPwFile::Flush() { return iOpen && iWritable && pwplat::FileSync(iHandle); }

bool CPwFile::DataSync() { return iOpen && iWritable && pwplat::FileDataSync(iHandle); }

bool CPwFile::DataSyncInBackground() { return iOpen && iWritable && pwplat::FileDataSyncInBackground(iHandle); }

bool CPwFile::Seek(int64_t aPos) { return iOpen && pwplat::FileSeek(iHandle, aPos) == aPos; }

int64_t CPwFile::Tell() const { return iOpen ? pwplat::FileTell(iHandle) : -1; }

int64_t CPwFile::Size() {
  if (iOpen) return pwplat::FileSizeOf(iHandle);
  if (iSize < 0) {
    TNativePath native(iPath);
    iSize = native.IsValid() ? pwplat::PathSize(native.Get()) : -1;
  }
  return iSize;
}

int32_t CPwFile::Write(CPwByteArrayC aBytes) {
  if (!iOpen || !iWritable) return 0;
  if (aBytes.Length() <= 0) return 1;
  return pwplat::FileWrite(iHandle, aBytes.Ptr(), static_cast<size_t>(aBytes.Length())) ? 1 : 0;
}

int32_t CPwFile::Read(uint8_t* aBuffer, int32_t aCount) {
  if (!iOpen || aCount <= 0) return 0;
  int64_t n = pwplat::FileRead(iHandle, aBuffer, static_cast<size_t>(aCount));
  return n >= 0 ? static_cast<int32_t>(n) : -1;
}

int32_t CPwFile::ReadAll(CPwByteArray& aTarget) {
  if (!iOpen || !Seek(0)) return 0;
  int64_t size = Size();
  if (size < 0 || size > INT32_MAX) return 0;
  aTarget.SetLength(0);
  aTarget.Reserve(static_cast<int32_t>(size));
  int32_t got = size > 0 ? Read(aTarget.Buffer(), static_cast<int32_t>(size)) : 0;
  aTarget.SetLength(got > 0 ? got : 0);
  return got == size ? 1 : 0;
}

// ---- PwFileBuffered ----

PwFileBuffered::~PwFileBuffered() {
  // A destructor must not leave; Close only writes and frees.
  Close();
}

void PwFileBuffered::StartWriting(int32_t aCapacity, int32_t aFlushThreshold) {
  iCapacity = aCapacity > 0 ? aCapacity : 1;
  iFlushThreshold = aFlushThreshold > 0 ? aFlushThreshold : 0;
  iUnsynced = 0;
  iFailed = false;
  iWriteBuffer.SetLength(0);
  iWriteBuffer.Reserve(iCapacity);
}

void PwFileBuffered::OpenAppend(int32_t aCapacity, int32_t aFlushThreshold) {
  if (iFile.IsOpen()) return;
  iFile.OpenAppend();
  StartWriting(aCapacity, aFlushThreshold);
}

void PwFileBuffered::Replace(int32_t aCapacity, int32_t aFlushThreshold) {
  if (iFile.IsOpen()) return;
  iFile.Replace();
  StartWriting(aCapacity, aFlushThreshold);
}

int32_t PwFileBuffered::OpenRead(int32_t aCapacity) {
  if (iFile.IsOpen() || !iFile.OpenRead()) return 0;
  iCapacity = aCapacity > 0 ? aCapacity : 1;
  iFlushThreshold = 0;
  iFailed = false;
  iAtEnd = false;
  iReadPos = 0;
  iReadBuffer.SetLength(0);
  Trap([&] { iReadBuffer.Reserve(iCapacity); });  // grown on demand if this fails
  return 1;
}

void PwFileBuffered::Fail() {
  iFailed = true;
  iFile.Close();
  iWriteBuffer.SetLength(0);
  iUnsynced = 0;
}

bool PwFileBuffered::WriteOut() {
  if (iWriteBuffer.IsEmpty()) return true;
  if (!iFile.Write(iWriteBuffer)) {
    Fail();
    return false;
  }
  iUnsynced += iWriteBuffer.Length();
  iWriteBuffer.SetLength(0);
  return true;
}

void PwFileBuffered::Write(CPwByteArrayC aBytes) {
  if (!iFile.IsOpen() || !iFile.IsWritable() || aBytes.IsEmpty()) return;
  if (iWriteBuffer.Length() + aBytes.Length() <= iCapacity) {
    iWriteBuffer.Append(aBytes);
  } else {
    if (!WriteOut()) return;
    iWriteBuffer.Append(aBytes);  // grows when the new bytes alone exceed the capacity
  }
  // Counting the buffered bytes too keeps what a crash can lose below the threshold.
  if (iFlushThreshold > 0 && BytesSinceSync() >= iFlushThreshold) Flush();
}

bool PwFileBuffered::Flush() {
  if (!iFile.IsOpen() || !iFile.IsWritable()) return false;
  if (!WriteOut()) return false;
  if (!iFile.DataSync()) {
    Fail();
    return false;
  }
  iUnsynced = 0;
  return true;
}

bool PwFileBuffered::HandOver() {
  if (!iFile.IsOpen() || !iFile.IsWritable()) return false;
  return WriteOut();
}

bool PwFileBuffered::FlushInBackground() {
  if (!HandOver()) return false;
  if (iFile.DataSyncInBackground()) iUnsynced = 0;
  return true;
}

bool PwFileBuffered::Read(int32_t aCount, CPwByteArray& aTarget) {
  if (!iFile.IsOpen() || aCount <= 0) return false;
  while (iReadBuffer.Length() - iReadPos < aCount && !iAtEnd) {
    // Move the unread tail to the front, then grow to hold the whole request.
    if (iReadPos > 0) {
      iReadBuffer.Delete(0, iReadPos);
      iReadPos = 0;
    }
    int32_t want = aCount > iCapacity ? aCount : iCapacity;
    if (iReadBuffer.Capacity() < want) iReadBuffer.Reserve(want);
    int32_t room = iReadBuffer.Capacity() - iReadBuffer.Length();
    int32_t got = iFile.Read(iReadBuffer.Buffer() + iReadBuffer.Length(), room);
    if (got <= 0) {
      // A failed read ends the reading as the end would, but is remembered (HasFailed).
      if (got < 0) iFailed = true;
      iAtEnd = true;
      break;
    }
    iReadBuffer.SetLength(iReadBuffer.Length() + got);
  }
  int32_t available = iReadBuffer.Length() - iReadPos;
  int32_t move = available < aCount ? available : aCount;
  if (move <= 0) return false;
  aTarget.Copy(iReadBuffer.Mid(iReadPos, move));
  iReadPos += move;
  return true;
}

void PwFileBuffered::Close() {
  // Nothing accepted since the last flush means nothing left to force to the medium.
  if (iFile.IsOpen() && iFile.IsWritable() && BytesSinceSync() > 0) Flush();
  iFile.Close();
  iWriteBuffer.Reset();
  iReadBuffer.Reset();
  iReadPos = 0;
  iUnsynced = 0;
  iAtEnd = false;
}
