#include "platform/folders.h"

#include <mntent.h>
#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file_io.h"

namespace pwplat {

namespace {

// Joins up to three parts into aOut; false if it does not fit.
bool Join(char* aOut, size_t aSize, const char* a, const char* b = "", const char* c = "") {
  int n = snprintf(aOut, aSize, "%s%s%s", a, b, c);
  return n > 0 && static_cast<size_t>(n) < aSize;
}

// Removes trailing '/' characters except a lone root.
void TrimSlashes(char* aPath) {
  size_t len = strlen(aPath);
  while (len > 1 && aPath[len - 1] == '/') aPath[--len] = '\0';
}

// A usable folder path: set, not empty and absolute.
const char* UsablePath(const char* aPath) { return (aPath && aPath[0] == '/') ? aPath : nullptr; }

const char* EnvPath(const char* aName) { return UsablePath(getenv(aName)); }

std::string& DocumentsOverride() {
  static std::string path;
  return path;
}

std::string& AppDataOverride() {
  static std::string path;
  return path;
}

// The override when usable, else the environment variable aName when usable.
const char* OverrideOrEnvPath(const std::string& aOverride, const char* aName) {
  if (const char* v = UsablePath(aOverride.c_str())) return v;
  return EnvPath(aName);
}

bool HomeFolder(char* aOut, size_t aSize) {
  if (const char* home = EnvPath("HOME")) return Join(aOut, aSize, home);
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pw, buf, sizeof(buf), &found) != 0 || !found || !pw.pw_dir) return false;
  return pw.pw_dir[0] == '/' && Join(aOut, aSize, pw.pw_dir);
}

bool Finish(char* aOut, bool aCreate) {
  TrimSlashes(aOut);
  if (aCreate && !PathIsFolder(aOut)) FolderCreateAll(aOut);
  return true;
}

}  // namespace

void SetDocumentsFolderOverride(const char* aPath) { DocumentsOverride() = aPath ? aPath : ""; }

void SetAppDataFolderOverride(const char* aPath) { AppDataOverride() = aPath ? aPath : ""; }

bool DocumentsFolderChosen() { return !DocumentsOverride().empty() || getenv("PACEWRIGHT_DOCUMENTS") != nullptr; }

bool DocumentsFolder(char* aOut, size_t aSize) {
  bool ok;
  if (const char* v = OverrideOrEnvPath(DocumentsOverride(), "PACEWRIGHT_DOCUMENTS")) {
    ok = Join(aOut, aSize, v);
  } else if (const char* x = EnvPath("XDG_DOCUMENTS_DIR")) {
    ok = Join(aOut, aSize, x);
  } else {
    char home[PATH_MAX];
    ok = HomeFolder(home, sizeof(home)) && Join(aOut, aSize, home, "/Documents");
  }
  return ok && Finish(aOut, true);
}

bool AppDataFolder(char* aOut, size_t aSize) {
  bool ok;
  if (const char* v = OverrideOrEnvPath(AppDataOverride(), "PACEWRIGHT_APPDATA")) {
    ok = Join(aOut, aSize, v);
  } else if (const char* x = EnvPath("XDG_DATA_HOME")) {
    ok = Join(aOut, aSize, x, "/Pacewright");
  } else {
    char home[PATH_MAX];
    ok = HomeFolder(home, sizeof(home)) && Join(aOut, aSize, home, "/.local/share/Pacewright");
  }
  return ok && Finish(aOut, true);
}

bool InstallFolder(const char* aSourceDataDir, char* aOut, size_t aSize) {
  if (const char* v = EnvPath("PACEWRIGHT_INSTALL")) return Join(aOut, aSize, v) && Finish(aOut, false);
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n > 0) {
    exe[n] = '\0';
    // <prefix>/bin/program -> <prefix>
    for (int up = 0; up < 2; ++up) {
      char* slash = strrchr(exe, '/');
      if (!slash) break;
      *slash = '\0';
    }
    char candidate[PATH_MAX];
    if (exe[0] == '/' && Join(candidate, sizeof(candidate), exe, "/share/pacewright") &&
        PathIsFolder(candidate)) {
      return Join(aOut, aSize, candidate) && Finish(aOut, false);
    }
  }
  if (aSourceDataDir && aSourceDataDir[0]) return Join(aOut, aSize, aSourceDataDir) && Finish(aOut, false);
  return false;
}

bool IsRemovableMountPoint(const char* aMountDir) {
  // Counts the components after a prefix; each must be non-empty.
  auto components = [](const char* aRest) {
    int count = 0;
    const char* p = aRest;
    while (*p) {
      const char* slash = strchr(p, '/');
      size_t len = slash ? static_cast<size_t>(slash - p) : strlen(p);
      if (len == 0) return -1;
      ++count;
      if (!slash) break;
      p = slash + 1;
      if (!*p) return -1;  // trailing slash
    }
    return count;
  };
  if (strncmp(aMountDir, "/media/", 7) == 0) {
    int c = components(aMountDir + 7);
    return c == 1 || c == 2;
  }
  if (strncmp(aMountDir, "/run/media/", 11) == 0) return components(aMountDir + 11) == 2;
  return false;
}

int ForEachRemovableMedium(const char* aMountTable, TMountVisitor aVisit, void* aContext) {
  FILE* table = setmntent(aMountTable, "r");
  if (!table) return 0;
  // A medium mounted twice (bind mounts) is listed once; a small fixed history suffices.
  enum { KMaxSeen = 32 };
  char seen[KMaxSeen][256];
  int seenCount = 0;
  int count = 0;
  struct mntent ent;
  char buf[4096];
  while (getmntent_r(table, &ent, buf, sizeof(buf))) {
    const char* dir = ent.mnt_dir;
    if (!dir || !IsRemovableMountPoint(dir) || strlen(dir) >= sizeof(seen[0])) continue;
    bool dup = false;
    for (int i = 0; i < seenCount && !dup; ++i) dup = strcmp(seen[i], dir) == 0;
    if (dup) continue;
    if (seenCount == KMaxSeen) break;
    strcpy(seen[seenCount++], dir);
    aVisit(aContext, dir);
    ++count;
  }
  endmntent(table);
  return count;
}

}  // namespace pwplat
