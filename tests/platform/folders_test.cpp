#include "platform/folders.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "support/test_support.h"

TEST(RemovableMedia, OnlyDesktopMountFoldersCount) {
  for (const char* yes : {"/media/USB", "/media/pi/TRACKDAY", "/run/media/anna/CARD"})
    EXPECT_TRUE(pwplat::IsRemovableMountPoint(yes)) << yes;
  for (const char* no : {"/", "/media", "/media/", "/media//x", "/media/a/b/c", "/mediax/a",
                         "/run/media/anna", "/run/media/anna/CARD/", "/run/user/1000", "/home"})
    EXPECT_FALSE(pwplat::IsRemovableMountPoint(no)) << no;
}

TEST(FolderOverrides, NamedFoldersComeBeforeTheEnvironment) {
  pwtest::TempDir dir;
  const std::string fromEnv = dir / "env-docs";
  const std::string named = dir / "named-docs";
  const std::string namedData = dir / "named-data";
  ::setenv("PACEWRIGHT_DOCUMENTS", fromEnv.c_str(), 1);
  ::setenv("PACEWRIGHT_APPDATA", (dir / "env-data").c_str(), 1);
  char out[4096];

  ASSERT_TRUE(pwplat::DocumentsFolder(out, sizeof out));
  EXPECT_EQ(std::string(out), fromEnv);

  pwplat::SetDocumentsFolderOverride((named + "/").c_str());
  pwplat::SetAppDataFolderOverride(namedData.c_str());
  ASSERT_TRUE(pwplat::DocumentsFolder(out, sizeof out));
  EXPECT_EQ(std::string(out), named);
  EXPECT_TRUE(pwplat::PathIsFolder(named.c_str()));  // made when missing
  ASSERT_TRUE(pwplat::AppDataFolder(out, sizeof out));
  EXPECT_EQ(std::string(out), namedData);

  // A relative name is not a folder to use; the environment still is.
  pwplat::SetDocumentsFolderOverride("relative/docs");
  ASSERT_TRUE(pwplat::DocumentsFolder(out, sizeof out));
  EXPECT_EQ(std::string(out), fromEnv);

  pwplat::SetDocumentsFolderOverride(nullptr);
  pwplat::SetAppDataFolderOverride("");
  ASSERT_TRUE(pwplat::AppDataFolder(out, sizeof out));
  EXPECT_EQ(std::string(out), dir / "env-data");

  EXPECT_TRUE(pwplat::DocumentsFolderChosen());
  ::unsetenv("PACEWRIGHT_DOCUMENTS");
  ::unsetenv("PACEWRIGHT_APPDATA");
  EXPECT_FALSE(pwplat::DocumentsFolderChosen());
  pwplat::SetDocumentsFolderOverride(named.c_str());
  EXPECT_TRUE(pwplat::DocumentsFolderChosen());
  pwplat::SetDocumentsFolderOverride(nullptr);
}
