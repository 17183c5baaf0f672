#include "foundation/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "foundation/pw_string_list.h"
#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

CPwString Wide(std::string_view aUtf8) { return PwStringFromUtf8(aUtf8); }
std::string Narrow(CPwStringC aText) { return PwToUtf8(aText); }
bool IsFolder(const std::string& aPath) { return pwplat::PathIsFolder(aPath.c_str()); }

// Points one environment variable elsewhere for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* aName, const char* aValue) : iName(aName) {
    const char* old = getenv(aName);
    iHadOld = old != nullptr;
    if (old) iOld = old;
    if (aValue) setenv(aName, aValue, 1);
    else unsetenv(aName);
  }
  ~ScopedEnv() {
    if (iHadOld) setenv(iName, iOld.c_str(), 1);
    else unsetenv(iName);
  }

 private:
  const char* iName;
  std::string iOld;
  bool iHadOld = false;
};

TEST(PathText, FileNameAndParentFolder) {
  EXPECT_EQ(FileNameOf(u"/a/b/c.txt"), CPwStringC(u"c.txt"));
  EXPECT_EQ(FileNameOf(u"plain"), CPwStringC(u"plain"));
  EXPECT_EQ(FileNameOf(u"/a/b/"), CPwStringC(u""));

  EXPECT_EQ(ParentFolderOf(u"/a/b/"), CPwStringC(u"/a/"));
  EXPECT_EQ(ParentFolderOf(u"/a/b"), CPwStringC(u"/a/"));
  EXPECT_EQ(ParentFolderOf(u"/a"), CPwStringC(u"/"));
  EXPECT_EQ(ParentFolderOf(u"/"), CPwStringC(u""));
  EXPECT_EQ(ParentFolderOf(u"name"), CPwStringC(u""));
  EXPECT_EQ(ParentFolderOf(u""), CPwStringC(u""));
}

TEST(PathText, ValidFileNames) {
  EXPECT_TRUE(IsValidFileName(u"20070101-1200 Brands Hatch"));
  EXPECT_TRUE(IsValidFileName(u"Nürburgring"));
  for (char16_t c : std::u16string_view(u"\"*/:<>?\\|")) {
    const char16_t name[] = {u'a', c, u'b'};
    EXPECT_FALSE(IsValidFileName(CPwStringC(name, 3))) << static_cast<char>(c);
  }
  const char16_t withZero[] = {u'a', 0, u'b'};
  EXPECT_FALSE(IsValidFileName(CPwStringC(withZero, 3)));
}

TEST(PathText, NativePathRejectsWhatTheSystemCannotName) {
  EXPECT_STREQ(TNativePath(u"/tmp/\u00E9").Get(), "/tmp/\xC3\xA9");
  EXPECT_FALSE(TNativePath(u"").IsValid());
  const char16_t zero[] = {u'/', u'a', 0, u'b'};
  EXPECT_FALSE(TNativePath(CPwStringC(zero, 4)).IsValid());  // would silently cut the path
  const char16_t lone[] = {u'/', 0xD800};
  EXPECT_FALSE(TNativePath(CPwStringC(lone, 2)).IsValid());
  CPwString huge(Wide("/" + std::string(TNativePath::KMaxBytes, 'a')));
  EXPECT_FALSE(TNativePath(huge).IsValid());
}

TEST(FileKinds, MakeFilePathForEveryKind) {
  const char* expected[] = {
      "Sessions/B-session.bin", "Sessions/B-plots.bin",     "Sessions/B-nmea.txt",
      "Tracks/B-track.bin",     "Sounds/B.wav",             "Screenshots/screenshotB.png",
      "Exports/B-export.kml",   "Exports/B-export.csv",     "Exports/B-export.dbn",
      "Exports/B-export.vbo",   "Exports/B-export.dat",     "Exports/B-export.gpx",
  };
  for (int32_t kind = 0; kind < 12; ++kind) {
    CPwString path;
    MakeFilePath(kind, u"/root/", u"B", path);
    EXPECT_EQ(Narrow(path), std::string("/root/Pacewright/") + expected[kind]) << kind;
  }
  CPwString shot;
  MakeFilePath(EFileScreenshot, u"/r/", u"20070101-1200", shot);
  EXPECT_EQ(Narrow(shot), "/r/Pacewright/Screenshots/screenshot20070101-1200.png");

  CPwString untouched(Wide("keep"));
  MakeFilePath(12, u"/r/", u"B", untouched);
  MakeFilePath(-1, u"/r/", u"B", untouched);
  EXPECT_EQ(Narrow(untouched), "keep");

  // The target may be one of the inputs.
  CPwString base(Wide("id"));
  MakeFilePath(EFileSession, u"/r/", base, base);
  EXPECT_EQ(Narrow(base), "/r/Pacewright/Sessions/id-session.bin");
}

TEST(Folders, CreateFoldersCreatesEachComponentFollowedByASeparator) {
  pwtest::TempDir dir;
  std::string root = dir.Path() + "/";
  EXPECT_EQ(CreateFolders(Wide(root + "Pacewright/Sessions/")), KErrNone);
  EXPECT_TRUE(IsFolder(root + "Pacewright/Sessions"));
  EXPECT_EQ(CreateFolders(Wide(root + "Pacewright/Sessions/")), KErrFolderExists);
  EXPECT_EQ(CreateFolders(Wide(root + "Pacewright/Sessions")), KErrFolderExists);

  // The last component has no '/' after it and stays uncreated.
  EXPECT_EQ(CreateFolders(Wide(root + "x/y")), KErrNone);
  EXPECT_TRUE(IsFolder(root + "x"));
  EXPECT_FALSE(pwplat::PathExists((root + "x/y").c_str()));

  // A file in the way is a failure.
  ASSERT_TRUE(pwtest::WriteFileBytes(root + "file", "x"));
  EXPECT_EQ(CreateFolders(Wide(root + "file/sub/")), KErrFolderCreate);
}

TEST(Folders, EnsureFoldersAndExistenceQueries) {
  pwtest::TempDir dir;
  CPwString root(Wide(dir.Path() + "/"));
  EXPECT_FALSE(ScreenshotsFolderExists(root));
  EXPECT_TRUE(EnsureFolders(root));
  for (const char* sub : {"Sessions", "Tracks", "Exports"})
    EXPECT_TRUE(IsFolder(dir.Path() + "/Pacewright/" + sub)) << sub;
  EXPECT_TRUE(EnsureFolders(root));  // existing folders are fine
  EXPECT_FALSE(ScreenshotsFolderExists(root));
  ASSERT_EQ(CreateFolders(Wide(dir.Path() + "/Pacewright/Screenshots/")), KErrNone);
  EXPECT_TRUE(ScreenshotsFolderExists(root));

  EXPECT_TRUE(FolderExists(root));
  EXPECT_TRUE(FolderExists(u"/"));
  EXPECT_FALSE(FolderExists(Wide(dir.Path() + "/none/")));
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "f", "1"));
  EXPECT_FALSE(FolderExists(Wide(dir / "f")));
  EXPECT_TRUE(FileExists(Wide(dir / "f")));
  EXPECT_TRUE(FileExists(root));

  // A root on a file cannot hold the layout.
  EXPECT_FALSE(EnsureFolders(Wide(dir / "f/")));
  EXPECT_FALSE(EnsureExportsFolder(Wide(dir / "f/")));
}

TEST(Folders, DeleteAndRename) {
  pwtest::TempDir dir;
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "a", "A"));
  ASSERT_TRUE(pwtest::WriteFileBytes(dir / "b", "B"));
  EXPECT_TRUE(RenameFile(Wide(dir / "a"), Wide(dir / "b")));
  EXPECT_EQ(pwtest::ReadFileBytes(dir / "b"), "A");
  EXPECT_FALSE(RenameFile(Wide(dir / "a"), Wide(dir / "c")));
  EXPECT_TRUE(DeleteFile(Wide(dir / "b")));
  EXPECT_FALSE(DeleteFile(Wide(dir / "b")));
  EXPECT_FALSE(DeleteFile(Wide(dir.Path())));  // folders are not deleted
}

TEST(Folders, MatchesExtensionIgnoresCase) {
  CPwStringList list;
  EXPECT_TRUE(MatchesExtension(u"anything", list));
  list.AppendCopy(u".vbo");
  list.AppendCopy(u".nmea");
  EXPECT_TRUE(MatchesExtension(u"/a/run.VBO", list));
  EXPECT_TRUE(MatchesExtension(u"x.nmea", list));
  EXPECT_FALSE(MatchesExtension(u"x.txt", list));
  EXPECT_FALSE(MatchesExtension(u"vbo", list));
}

TEST(Folders, FreeSpaceOfARealAndAMissingFolder) {
  pwtest::TempDir dir;
  EXPECT_GT(FreeSpaceKb(Wide(dir.Path())), 0);
  EXPECT_GE(TotalSpaceKb(Wide(dir.Path())), FreeSpaceKb(Wide(dir.Path())));
  EXPECT_EQ(FreeSpaceKb(Wide(dir / "missing/deeper")), 0);
  EXPECT_EQ(FreeSpaceKb(u""), 0);
}

TEST(Folders, PlatformFoldersFollowTheOverrides) {
  pwtest::TempDir dir;
  std::string docs = dir / "docs/deep";
  std::string appData = dir / "appdata";
  ScopedEnv d("PACEWRIGHT_DOCUMENTS", docs.c_str());
  ScopedEnv a("PACEWRIGHT_APPDATA", appData.c_str());
  ScopedEnv i("PACEWRIGHT_INSTALL", (dir / "install/").c_str());

  CPwString path;
  DocumentsFolder(path);
  EXPECT_EQ(Narrow(path), docs + "/");
  EXPECT_TRUE(IsFolder(docs));  // created when missing
  AppDataFolder(path);
  EXPECT_EQ(Narrow(path), appData + "/");
  EXPECT_TRUE(IsFolder(appData));
  InstallFolder(path);
  EXPECT_EQ(Narrow(path), dir / "install/");
}

TEST(Folders, PlatformFoldersFallBackToTheXdgLocations) {
  pwtest::TempDir dir;
  ScopedEnv d("PACEWRIGHT_DOCUMENTS", nullptr);
  ScopedEnv a("PACEWRIGHT_APPDATA", nullptr);
  ScopedEnv i("PACEWRIGHT_INSTALL", nullptr);
  ScopedEnv xd("XDG_DOCUMENTS_DIR", (dir / "xdocs").c_str());
  ScopedEnv xa("XDG_DATA_HOME", (dir / "xdata").c_str());
  ScopedEnv home("HOME", (dir / "home").c_str());

  CPwString path;
  DocumentsFolder(path);
  EXPECT_EQ(Narrow(path), dir / "xdocs/");
  AppDataFolder(path);
  EXPECT_EQ(Narrow(path), dir / "xdata/Pacewright/");
  // A test program does not sit in an installed prefix, so the source tree's data is used.
  InstallFolder(path);
  EXPECT_EQ(Narrow(path), std::string(PW_SOURCE_DATA_DIR) + "/");

  {
    ScopedEnv xd2("XDG_DOCUMENTS_DIR", nullptr);
    ScopedEnv xa2("XDG_DATA_HOME", nullptr);
    DocumentsFolder(path);
    EXPECT_EQ(Narrow(path), dir / "home/Documents/");
    EXPECT_TRUE(IsFolder(dir / "home/Documents"));
    AppDataFolder(path);
    EXPECT_EQ(Narrow(path), dir / "home/.local/share/Pacewright/");
  }
  // A relative override is no location at all.
  ScopedEnv rel("PACEWRIGHT_DOCUMENTS", "relative/docs");
  ScopedEnv xd3("XDG_DOCUMENTS_DIR", nullptr);
  DocumentsFolder(path);
  EXPECT_EQ(Narrow(path), dir / "home/Documents/");
}

}  // namespace
