// Thin POSIX file, folder and free-space calls behind the foundation's file classes.
// Paths are zero-terminated UTF-8. Nothing here allocates or throws; failures come back as
// -1 / false with errno left as the system set it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pwplat {

// How a file is opened.
enum TFileOpenMode {
  EOpenRead,        // existing file, read only
  EOpenReadWrite,   // existing file, read and write
  EOpenReplace,     // create or truncate, read and write
  EOpenAppend,      // open or create, read and write, positioned at the end
};

// Opens a file; returns the descriptor or -1.
int FileOpen(const char* aPath, TFileOpenMode aMode);
// Closes a descriptor (negative values are ignored).
void FileClose(int aFd);
// Reads up to aSize bytes, retrying short reads until end of file. Returns the count or -1.
int64_t FileRead(int aFd, void* aBuf, size_t aSize);
// Writes all aSize bytes, continuing after partial writes. Returns false on any failure.
bool FileWrite(int aFd, const void* aBuf, size_t aSize);
// Forces data and metadata (fsync) / data and the size needed to read it back (fdatasync).
bool FileSync(int aFd);
bool FileDataSync(int aFd);
// FileDataSync on a thread of its own, through a duplicate of aFd (so aFd may be closed at
// once): the caller does not wait for the medium. False if no duplicate could be made.
bool FileDataSyncInBackground(int aFd);
// Absolute seek; returns the new position or -1. FileTell returns the position or -1.
int64_t FileSeek(int aFd, int64_t aPos);
int64_t FileTell(int aFd);
// Size of an open file or of a path; -1 on failure.
int64_t FileSizeOf(int aFd);
int64_t PathSize(const char* aPath);

// Path queries and changes.
bool PathExists(const char* aPath);
bool PathIsFolder(const char* aPath);
// True if the path exists and this process may write to it.
bool PathWritable(const char* aPath);
bool PathDelete(const char* aPath);   // files only
bool PathRename(const char* aFrom, const char* aTo);  // replaces aTo atomically
bool FolderCreate(const char* aPath);  // one level; false if it exists or cannot be made
// Creates a folder and any missing parents; true if the folder exists afterwards.
bool FolderCreateAll(const char* aPath);
// Forces a folder's entries (a rename inside it) to the medium. False if unsupported.
bool FolderSync(const char* aPath);
// Follows symbolic links of the final component so that a replace writes beside the real
// file. Copies aPath unchanged when it is no link. False if the result does not fit.
bool ResolveFinalLink(const char* aPath, char* aOut, size_t aOutSize);

// What a path given to the program to read from names, and whether it may be read.
enum TInputKind {
  EInputMissing,  // no such path (or it cannot be looked at)
  EInputFile,     // regular file (after following links)
  EInputFolder,
  EInputDevice,   // character device, such as a serial port
  EInputOther,    // pipe, socket, block device
};
struct TInputProbe {
  TInputKind iKind = EInputMissing;
  // 0 when the path can be read, else the errno of looking at it or opening it for reading.
  // A character device is not opened (that could reset what is attached): its read
  // permission is checked instead.
  int iReadError = 0;
};
TInputProbe ProbeInput(const char* aPath);

// Space on the file system holding aPath, in bytes: total and available to this user.
bool FreeSpace(const char* aPath, uint64_t* aTotal, uint64_t* aAvailable);
// What the medium that holds aPath (or would hold it: the nearest folder that exists) allows:
// whether it is mounted read-only or this process may not write there, and the bytes
// available to this user. False when no folder of the path exists.
bool WriteState(const char* aPath, bool* aReadOnly, uint64_t* aAvailable);

// Folder enumeration. A handle is opaque; FolderNext returns false at the end. Entries
// "." and ".." are skipped here; hidden (leading '.') and special (neither regular file nor
// folder, after following links) entries are reported through the flags so callers decide.
struct TFolderEntry {
  const char* iName = nullptr;  // valid until the next call on the handle
  bool iIsFolder = false;
  bool iIsHidden = false;
  bool iIsSpecial = false;
};
void* FolderOpen(const char* aPath);
bool FolderNext(void* aHandle, TFolderEntry* aEntry);
void FolderClose(void* aHandle);

// Test hook: after aBytes more bytes have been written through FileWrite, every further
// write fails as on a full medium (the part that fits is still written). A negative value
// removes the limit. Also makes FileSync/FileDataSync fail while the budget is exhausted.
void SetWriteBudgetForTest(int64_t aBytes);
// Test hook: after aBytes more bytes have been read through FileRead, every further read
// fails as on a damaged medium (EIO). A negative value removes the limit.
void SetReadBudgetForTest(int64_t aBytes);

// Test hook: told on the syncing thread after every successful FileSync/FileDataSync, with the
// descriptor; everything the file holds at that moment is on the medium. Lets a test simulate
// a power cut by dropping whatever was written after the last such call. Null removes it.
using TSyncObserver = void (*)(int aFd);
void SetSyncObserverForTest(TSyncObserver aObserver);

}  // namespace pwplat
