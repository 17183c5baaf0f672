#include "platform/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <climits>
#include <cstring>

namespace pwplat {

namespace {

std::atomic<int64_t> gWriteBudget{-1};

// Takes up to aWanted bytes from the test budget; returns how many may be written.
size_t TakeBudget(size_t aWanted) {
  int64_t budget = gWriteBudget.load();
  if (budget < 0) return aWanted;
  size_t granted = aWanted < static_cast<uint64_t>(budget) ? aWanted : static_cast<size_t>(budget);
  gWriteBudget.store(budget - static_cast<int64_t>(granted));
  return granted;
}

bool BudgetExhausted() { return gWriteBudget.load() == 0; }

std::atomic<int64_t> gReadBudget{-1};

}  // namespace

void SetWriteBudgetForTest(int64_t aBytes) { gWriteBudget.store(aBytes < 0 ? -1 : aBytes); }
void SetReadBudgetForTest(int64_t aBytes) { gReadBudget.store(aBytes < 0 ? -1 : aBytes); }

namespace {
std::atomic<TSyncObserver> gSyncObserver{nullptr};

bool Synced(int aFd, bool aOk) {
  if (aOk)
    if (TSyncObserver observer = gSyncObserver.load()) observer(aFd);
  return aOk;
}
}  // namespace

void SetSyncObserverForTest(TSyncObserver aObserver) { gSyncObserver.store(aObserver); }

int FileOpen(const char* aPath, TFileOpenMode aMode) {
  int flags = O_CLOEXEC;
  switch (aMode) {
    case EOpenRead: flags |= O_RDONLY; break;
    case EOpenReadWrite: flags |= O_RDWR; break;
    case EOpenReplace: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case EOpenAppend: flags |= O_RDWR | O_CREAT; break;
  }
  int fd;
  do {
    fd = ::open(aPath, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // Opening a folder read-only succeeds on Linux; a file handle must never be one.
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  if (aMode == EOpenAppend && lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void FileClose(int aFd) {
  if (aFd >= 0) ::close(aFd);
}

int64_t FileRead(int aFd, void* aBuf, size_t aSize) {
  const int64_t budget = gReadBudget.load();
  if (budget >= 0) {
    if (static_cast<uint64_t>(budget) < aSize) {
      gReadBudget.store(0);
      errno = EIO;
      return -1;
    }
    gReadBudget.store(budget - static_cast<int64_t>(aSize));
  }
  size_t done = 0;
  char* p = static_cast<char*>(aBuf);
  while (done < aSize) {
    ssize_t n = ::read(aFd, p + done, aSize - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool FileWrite(int aFd, const void* aBuf, size_t aSize) {
  const char* p = static_cast<const char*>(aBuf);
  size_t allowed = TakeBudget(aSize);
  size_t done = 0;
  while (done < allowed) {
    ssize_t n = ::write(aFd, p + done, allowed - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (allowed < aSize) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

bool FileSync(int aFd) {
  if (BudgetExhausted()) {
    errno = EIO;
    return false;
  }
  return Synced(aFd, ::fsync(aFd) == 0);
}

bool FileDataSync(int aFd) {
  if (BudgetExhausted()) {
    errno = EIO;
    return false;
  }
  return Synced(aFd, ::fdatasync(aFd) == 0);
}

namespace {

// The one thread that forces files to the medium for FileDataSyncInBackground. Made on first
// use and never destroyed, so that it may still be waiting when the program ends.
struct TBackgroundSync {
  std::mutex iMutex;
  std::condition_variable iCond;
  std::deque<int> iQueue;

  TBackgroundSync() {
    std::thread([this] {
      for (;;) {
        int fd;
        {
          std::unique_lock<std::mutex> lock(iMutex);
          iCond.wait(lock, [this] { return !iQueue.empty(); });
          fd = iQueue.front();
          iQueue.pop_front();
        }
        (void)FileDataSync(fd);
        ::close(fd);
      }
    }).detach();
  }
};

}  // namespace

bool FileDataSyncInBackground(int aFd) {
  static TBackgroundSync* sync = new TBackgroundSync;
  const int copy = ::fcntl(aFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  {
    std::lock_guard<std::mutex> guard(sync->iMutex);
    sync->iQueue.push_back(copy);
  }
  sync->iCond.notify_one();
  return true;
}

int64_t FileSeek(int aFd, int64_t aPos) {
  if (aPos < 0) return -1;
  return static_cast<int64_t>(lseek(aFd, static_cast<off_t>(aPos), SEEK_SET));
}

int64_t FileTell(int aFd) { return static_cast<int64_t>(lseek(aFd, 0, SEEK_CUR)); }

int64_t FileSizeOf(int aFd) {
  struct stat st;
  if (fstat(aFd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t PathSize(const char* aPath) {
  struct stat st;
  if (stat(aPath, &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool PathExists(const char* aPath) {
  struct stat st;
  return stat(aPath, &st) == 0;
}

bool PathIsFolder(const char* aPath) {
  struct stat st;
  return stat(aPath, &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathWritable(const char* aPath) { return access(aPath, W_OK) == 0; }

TInputProbe ProbeInput(const char* aPath) {
  TInputProbe probe;
  struct stat st;
  if (!aPath || stat(aPath, &st) != 0) {
    probe.iReadError = aPath ? errno : EINVAL;
    return probe;
  }
  if (S_ISREG(st.st_mode)) probe.iKind = EInputFile;
  else if (S_ISDIR(st.st_mode)) probe.iKind = EInputFolder;
  else if (S_ISCHR(st.st_mode)) probe.iKind = EInputDevice;
  else probe.iKind = EInputOther;
  if (probe.iKind == EInputDevice) {
    if (access(aPath, R_OK) != 0) probe.iReadError = errno;
    return probe;
  }
  // Not blocking: a pipe without a writer must not hold the caller up.
  const int fd = open(aPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) probe.iReadError = errno;
  else close(fd);
  return probe;
}

bool PathDelete(const char* aPath) {
  if (PathIsFolder(aPath)) return false;
  return unlink(aPath) == 0;
}

bool PathRename(const char* aFrom, const char* aTo) { return rename(aFrom, aTo) == 0; }

bool FolderCreate(const char* aPath) { return mkdir(aPath, 0777) == 0; }

bool FolderCreateAll(const char* aPath) {
  char buf[PATH_MAX];
  size_t len = strlen(aPath);
  if (len == 0 || len >= sizeof(buf)) return false;
  memcpy(buf, aPath, len + 1);
  for (size_t i = 1; i <= len; ++i) {
    if (buf[i] != '/' && buf[i] != '\0') continue;
    char saved = buf[i];
    buf[i] = '\0';
    if (!PathIsFolder(buf) && mkdir(buf, 0777) != 0 && errno != EEXIST) return false;
    buf[i] = saved;
  }
  return PathIsFolder(aPath);
}

bool FolderSync(const char* aPath) {
  int fd = ::open(aPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool ResolveFinalLink(const char* aPath, char* aOut, size_t aOutSize) {
  size_t len = strlen(aPath);
  if (len >= aOutSize) return false;
  memcpy(aOut, aPath, len + 1);
  // A chain of links is followed a few steps; a loop simply stops at the last name.
  for (int hop = 0; hop < 8; ++hop) {
    struct stat st;
    if (lstat(aOut, &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    char target[PATH_MAX];
    ssize_t n = readlink(aOut, target, sizeof(target) - 1);
    if (n <= 0) return true;
    target[n] = '\0';
    if (target[0] == '/') {
      if (static_cast<size_t>(n) >= aOutSize) return false;
      memcpy(aOut, target, static_cast<size_t>(n) + 1);
    } else {
      // Relative link: resolve against the folder of the link.
      char* slash = strrchr(aOut, '/');
      size_t keep = slash ? static_cast<size_t>(slash - aOut) + 1 : 0;
      if (keep + static_cast<size_t>(n) >= aOutSize) return false;
      memcpy(aOut + keep, target, static_cast<size_t>(n) + 1);
    }
  }
  return true;
}

bool FreeSpace(const char* aPath, uint64_t* aTotal, uint64_t* aAvailable) {
  struct statvfs vfs;
  if (statvfs(aPath, &vfs) != 0) return false;
  uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  if (aTotal) *aTotal = static_cast<uint64_t>(vfs.f_blocks) * unit;
  if (aAvailable) *aAvailable = static_cast<uint64_t>(vfs.f_bavail) * unit;
  return true;
}

bool WriteState(const char* aPath, bool* aReadOnly, uint64_t* aAvailable) {
  char buf[PATH_MAX];
  const size_t n = strlen(aPath);
  if (n == 0 || n >= sizeof buf) return false;
  memcpy(buf, aPath, n + 1);
  // Up to the nearest folder that exists.
  while (!PathIsFolder(buf)) {
    char* slash = strrchr(buf, '/');
    if (!slash) return false;
    if (slash == buf) {
      buf[1] = 0;
      break;
    }
    *slash = 0;
  }
  struct statvfs vfs;
  if (statvfs(buf, &vfs) != 0) return false;
  const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  *aAvailable = static_cast<uint64_t>(vfs.f_bavail) * unit;
  *aReadOnly = (vfs.f_flag & ST_RDONLY) != 0 || access(buf, W_OK) != 0;
  return true;
}

void* FolderOpen(const char* aPath) { return opendir(aPath); }

bool FolderNext(void* aHandle, TFolderEntry* aEntry) {
  DIR* dir = static_cast<DIR*>(aHandle);
  if (!dir) return false;
  for (;;) {
    errno = 0;
    struct dirent* ent = readdir(dir);
    if (!ent) return false;
    const char* name = ent->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    aEntry->iName = name;
    aEntry->iIsHidden = name[0] == '.';
    struct stat st;
    // fstatat follows links, so a link to a folder lists as a folder.
    if (fstatat(dirfd(dir), name, &st, 0) != 0) {
      aEntry->iIsFolder = false;
      aEntry->iIsSpecial = true;  // dangling link or vanished entry
    } else {
      aEntry->iIsFolder = S_ISDIR(st.st_mode);
      aEntry->iIsSpecial = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode);
    }
    return true;
  }
}

void FolderClose(void* aHandle) {
  if (aHandle) closedir(static_cast<DIR*>(aHandle));
}

}  // namespace pwplat
