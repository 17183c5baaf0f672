// Helpers shared by the test programs: temporary folders, test data lookup.
#pragma once

#include <string>

namespace pwtest {

// Folder of the real device logs, or "" when it is not present beside the project.
std::string TestDataDir();

// Skips the calling test when the real device logs are absent.
#define PW_REQUIRE_TESTDATA()                                          \
  do {                                                                 \
    if (::pwtest::TestDataDir().empty()) GTEST_SKIP() << "no testdata"; \
  } while (0)

// A fresh empty folder below the system temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return iPath; }
  // Path of a name inside the folder.
  std::string operator/(const std::string& name) const { return iPath + "/" + name; }

 private:
  std::string iPath;
};

// A folder that even the superuser cannot write to: aFolder bind-mounted read-only onto
// itself. Mounted() is false where mounting is not permitted (not root, no capability); tests
// then fall back to file permissions or skip. Unmounted with the object.
class ReadOnlyMount {
 public:
  explicit ReadOnlyMount(const std::string& aFolder);
  ~ReadOnlyMount();
  ReadOnlyMount(const ReadOnlyMount&) = delete;
  ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;
  bool Mounted() const { return iMounted; }

 private:
  std::string iFolder;
  bool iMounted = false;
};

// Whole content of a file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// Writes bytes to a file, replacing it. Returns false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace pwtest
