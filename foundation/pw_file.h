// File access: CPwFile is a thin handle on one file, PwFileBuffered batches many small writes
// into few disk writes (and forces them to the medium at a chosen interval) and serves reads
// of exact sizes.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

class CPwFile : public CPwBase {
 public:
  CPwFile() = default;
  ~CPwFile() override;

  // Replaces the stored path; the file must be closed (an open file is closed first).
  void SetPath(CPwStringC aPath);
  CPwStringC Path() const { return iPath; }

  // Existing files only; 1 on success, 0 on failure (never leaves). OpenWrite gives read
  // and write access.
  int32_t OpenRead();
  int32_t OpenWrite();
  // Creates or truncates for reading and writing; leaves KErrCannotOpen on failure.
  void Replace();
  // Opens or creates for reading and writing, positioned at the end; leaves KErrCannotOpen.
  void OpenAppend();

  bool IsOpen() const { return iOpen; }
  bool IsWritable() const { return iWritable; }

  // Idempotent.
  void Close();
  // Forces data and metadata to the medium when writable; false if that failed.
  bool Flush();
  // Forces the data (and the size needed to read it back) to the medium; cheaper than Flush.
  bool DataSync();
  // The same without waiting for the medium (a thread of the platform does it).
  bool DataSyncInBackground();
  // Absolute position; false on failure. Tell gives the position or -1.
  bool Seek(int64_t aPos);
  int64_t Tell() const;
  // Current size when open; when closed, the size on disk taken once and cached until the
  // path changes or the file is opened again. -1 if there is no such file.
  int64_t Size();

  // 1 if all bytes were written, 0 when not writable or on failure.
  int32_t Write(CPwByteArrayC aBytes);
  // Reads up to aCount bytes; returns the number read, 0 at the end (or when not open) and
  // -1 when the read failed: an I/O error is never taken for the end of the file.
  int32_t Read(uint8_t* aBuffer, int32_t aCount);
  // Seeks to 0 and reads Size() bytes, replacing aTarget's content; 1 on success, 0 when not
  // open or the read came up short. Leaves KErrNoMemory.
  int32_t ReadAll(CPwByteArray& aTarget);

 private:
  bool OpenMode(int aMode, bool aWritable);

  int iHandle = -1;
  CPwString iPath;
  bool iOpen = false;
  bool iWritable = false;
  int64_t iSize = -1;
};

class PwFileBuffered : public CPwBase {
 public:
  PwFileBuffered() = default;
  ~PwFileBuffered() override;

  void SetPath(CPwStringC aPath) { iFile.SetPath(aPath); }
  CPwStringC Path() const { return iFile.Path(); }
  bool IsOpen() const { return iFile.IsOpen(); }
  // Size of the file; bytes still in the write buffer are not counted.
  int64_t Size() { return iFile.Size(); }

  // Open or create for appending / create or truncate, with a write buffer of aCapacity
  // bytes and a forced flush to the medium whenever aFlushThreshold bytes (0 = never) have
  // been accepted since the last one. Nothing happens if already open; leave
  // KErrCannotOpen if the file cannot be opened.
  void OpenAppend(int32_t aCapacity, int32_t aFlushThreshold);
  void Replace(int32_t aCapacity, int32_t aFlushThreshold);
  // 1 on success; 0 if already open or the file cannot be opened.
  int32_t OpenRead(int32_t aCapacity);

  // Buffers the bytes, writing the buffer out when they do not fit. A failed disk write
  // closes the file and drops the data; later writes do nothing (see HasFailed).
  void Write(CPwByteArrayC aBytes);
  // Writes out the buffer and forces everything to the medium; false if any of that failed
  // (the file is then closed as after a failed write).
  bool Flush();
  // Hands the buffered bytes to the operating system without forcing them to the medium, so
  // that a killed process loses none of them (a power cut still may). False if the write
  // failed (the file is then closed as after a failed write).
  bool HandOver();
  // HandOver, then forces the file to the medium without waiting for it (the bytes count as
  // forced from here on). False if the write failed.
  bool FlushInBackground();
  // Bytes accepted by Write since the last successful Flush: what a crash could lose.
  int32_t BytesSinceSync() const { return iUnsynced + iWriteBuffer.Length(); }
  // True once a disk write, flush or read failed since the last open.
  bool HasFailed() const { return iFailed; }

  // Replaces aTarget's content with exactly aCount bytes from the file, or at the end of the
  // file with whatever is left. True if anything was moved. A failed read ends the reading
  // like the end of the file and sets HasFailed. Leaves KErrNoMemory.
  bool Read(int32_t aCount, CPwByteArray& aTarget);

  // Flushes (when writing), closes and frees both buffers.
  void Close();

 private:
  void StartWriting(int32_t aCapacity, int32_t aFlushThreshold);
  // Writes the buffered bytes to the file; on failure closes and drops.
  bool WriteOut();
  void Fail();

  CPwFile iFile;
  CPwByteArray iWriteBuffer;
  CPwByteArray iReadBuffer;
  int32_t iCapacity = 0;
  int32_t iUnsynced = 0;        // written to the file, not yet forced to the medium
  int32_t iFlushThreshold = 0;  // 0 = never force
  int32_t iReadPos = 0;         // first unread byte of the read buffer
  bool iFailed = false;
  bool iAtEnd = false;          // reading hit the end of the file
};
