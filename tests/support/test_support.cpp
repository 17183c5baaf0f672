#include "support/test_support.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pwtest {

std::string TestDataDir() {
  struct stat st;
  if (stat(PW_TESTDATA_DIR, &st) == 0 && S_ISDIR(st.st_mode)) return PW_TESTDATA_DIR;
  return "";
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/pwtest-XXXXXX";
  char* made = mkdtemp(tmpl.data());
  iPath = made ? made : "";
}

TempDir::~TempDir() {
  if (!iPath.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(iPath, ec);
  }
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

ReadOnlyMount::ReadOnlyMount(const std::string& aFolder) : iFolder(aFolder) {
  if (::mount(iFolder.c_str(), iFolder.c_str(), nullptr, MS_BIND, nullptr) != 0) return;
  if (::mount(nullptr, iFolder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    ::umount2(iFolder.c_str(), MNT_DETACH);
    return;
  }
  iMounted = true;
}

ReadOnlyMount::~ReadOnlyMount() {
  if (iMounted) ::umount2(iFolder.c_str(), MNT_DETACH);
}

}  // namespace pwtest
