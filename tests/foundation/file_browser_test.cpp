#include "foundation/file_browser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

CPwString Wide(std::string_view aUtf8) { return PwStringFromUtf8(aUtf8); }
std::string Narrow(CPwStringC aText) { return PwToUtf8(aText); }

struct TListed {
  std::string iName;
  bool iIsFolder;
  bool operator<(const TListed& o) const { return iName < o.iName; }
  bool operator==(const TListed& o) const { return iName == o.iName && iIsFolder == o.iIsFolder; }
  friend void PrintTo(const TListed& aItem, std::ostream* aOut) {
    *aOut << '"' << aItem.iName << '"' << (aItem.iIsFolder ? "/" : "");
  }
};

std::vector<TListed> ListAll(CPwFileBrowser& aBrowser) {
  std::vector<TListed> out;
  CPwString name;
  bool isFolder = false;
  while (aBrowser.Next(name, isFolder)) out.push_back({Narrow(name), isFolder});
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<TListed> List(CPwStringC aPattern, bool aIncludeFolders) {
  CPwFileBrowser browser;
  browser.SetPattern(aPattern, aIncludeFolders);
  return ListAll(browser);
}

class FileBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iRoot = iDir.Path() + "/";
    std::string sessions = iRoot + "Pacewright/Sessions/";
    ASSERT_EQ(CreateFolders(Wide(sessions)), KErrNone);
    for (const char* f : {"20070101-1200-session.bin", "20070101-1200-plots.bin",
                          "20070102-0900-session.bin", "20070102-0900-SESSION.BIN",
                          "-session.bin", ".hidden-session.bin", "notes.txt",
                          "20070103-1000-session.bin.tmp"})
      ASSERT_TRUE(pwtest::WriteFileBytes(sessions + f, "x"));
    ASSERT_EQ(mkdir((sessions + "folder-session.bin").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((sessions + ".git").c_str(), 0777), 0);
    ASSERT_EQ(symlink("nowhere", (sessions + "dangling-session.bin").c_str()), 0);
    ASSERT_EQ(mkfifo((sessions + "pipe-session.bin").c_str(), 0666), 0);
    iSessions = sessions;
  }

  pwtest::TempDir iDir;
  std::string iRoot;
  std::string iSessions;
};

TEST_F(FileBrowserTest, PrefixAndSuffixAreCutOff) {
  // Case is ignored as on the media the files come from; the empty identifier is listed too.
  std::vector<TListed> expected = {{"", false},
                                   {"20070101-1200", false},
                                   {"20070102-0900", false},
                                   {"20070102-0900", false}};
  EXPECT_EQ(List(Wide(iSessions + "*-session.bin"), false), expected);

  // Folders only when asked for; hidden, dangling and special entries never.
  std::vector<TListed> withFolders = List(Wide(iSessions + "*-session.bin"), true);
  EXPECT_EQ(withFolders.size(), 5u);
  EXPECT_TRUE(std::count(withFolders.begin(), withFolders.end(), TListed{"folder", true}) == 1);

  std::vector<TListed> prefixed = {{"-1200-plots.bin", false}, {"-1200-session.bin", false}};
  EXPECT_EQ(List(Wide(iSessions + "200701*"), false).size(), 5u);  // the .tmp too
  EXPECT_EQ(List(Wide(iSessions + "20070101"), false), prefixed);  // no '*': all a prefix
  EXPECT_EQ(List(Wide(iSessions + "20070101*"), false), prefixed);

  std::vector<TListed> both = {{"-1200", false}};
  EXPECT_EQ(List(Wide(iSessions + "20070101*-plots.bin"), false), both);
}

TEST_F(FileBrowserTest, ListKindAndRestart) {
  CPwFileBrowser browser;
  browser.ListKind(EFileSession, Wide(iRoot));
  EXPECT_EQ(Narrow(browser.Folder()), iSessions);
  std::vector<TListed> first = ListAll(browser);
  EXPECT_EQ(first.size(), 4u);
  // After the end, Next keeps returning 0 until the enumeration is restarted.
  CPwString name;
  bool isFolder = true;
  EXPECT_EQ(browser.Next(name, isFolder), 0);
  browser.Close();
  EXPECT_EQ(ListAll(browser), first);

  browser.ListKind(EFilePlots, Wide(iRoot));
  std::vector<TListed> plots = {{"20070101-1200", false}};
  EXPECT_EQ(ListAll(browser), plots);

  browser.ListKind(EFileTrack, Wide(iRoot));  // no Tracks folder
  EXPECT_TRUE(ListAll(browser).empty());
  browser.ListKind(99, Wide(iRoot));
  EXPECT_TRUE(ListAll(browser).empty());
}

TEST_F(FileBrowserTest, PatternWithoutSeparatorPanics) {
  EXPECT_DEATH(
      {
        CPwFileBrowser browser;
        browser.SetPattern(u"*-session.bin", false);
      },
      "PwCore 9");
}

TEST_F(FileBrowserTest, FolderRecordsAreGroupedAndSorted) {
  std::string dir = iRoot + "pick/";
  ASSERT_EQ(CreateFolders(Wide(dir + "sub/")), KErrNone);
  for (const char* f : {"b.vbo", "A.VBO", "c.txt", ".hidden.vbo"})
    ASSERT_TRUE(pwtest::WriteFileBytes(dir + f, "x"));
  for (const char* d : {"Zeta", "alpha", ".config"}) ASSERT_EQ(mkdir((dir + d).c_str(), 0777), 0);

  CPwStringList extensions;
  extensions.AppendCopy(u".vbo");
  CFileRecordList rows;
  AppendFolderRecords(Wide(dir), extensions, rows);
  std::vector<std::string> shown;
  for (CFileRecord* row : rows) shown.push_back(Narrow(row->DisplayText()));
  EXPECT_EQ(shown, (std::vector<std::string>{"<Parent folder>", "[ alpha ]", "[ sub ]", "[ Zeta ]",
                                             "A.VBO", "b.vbo"}));
  ASSERT_EQ(rows.Count(), 6);
  EXPECT_EQ(Narrow(rows.At(0)->Name()), iRoot);
  EXPECT_TRUE(rows.At(0)->IsFolder());
  EXPECT_EQ(Narrow(rows.At(2)->Name()), dir + "sub/");
  EXPECT_EQ(Narrow(rows.At(5)->Name()), dir + "b.vbo");
  EXPECT_FALSE(rows.At(5)->IsFolder());
  EXPECT_FALSE(rows.At(5)->IsSelected());
  ResetFileRecords(rows);

  // Without extensions every file is listed.
  CPwStringList none;
  AppendFolderRecords(Wide(dir), none, rows);
  EXPECT_EQ(rows.Count(), 7);
  ResetFileRecords(rows);

  CPwString summary;
  FormatFileCount(3, summary);
  EXPECT_EQ(Narrow(summary), "3 files");
}

TEST(Drives, DocumentsFolderIsMediumOneAndRemovableMediaFollow) {
  pwtest::TempDir dir;
  std::string docs = dir / "My Docs";
  setenv("PACEWRIGHT_DOCUMENTS", docs.c_str(), 1);
  std::string table = dir / "mounts";
  ASSERT_TRUE(pwtest::WriteFileBytes(
      table,
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sdb1 /media/pi/TRACKDAY vfat rw 0 0\n"
      "/dev/sdb1 /media/pi/TRACKDAY vfat rw 0 0\n"
      "/dev/sdc1 /run/media/anna/CARD\\040TWO exfat rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"));

  std::unique_ptr<CPwDrives> drives(CPwDrives::NewL(table.c_str()));
  unsetenv("PACEWRIGHT_DOCUMENTS");
  EXPECT_TRUE(pwplat::PathIsFolder(docs.c_str()));  // created when missing
  EXPECT_EQ(Narrow(drives->DocumentsPath()), docs + "/");
  ASSERT_EQ(drives->Count(), 3);

  const CPwDriveInfo& home = drives->At(0);
  EXPECT_EQ(Narrow(home.Name()), "My Documents");
  EXPECT_EQ(Narrow(home.RootPath()), docs + "/");
  EXPECT_EQ(home.MediumId(), 1);
  EXPECT_TRUE(home.IsPresent());
  EXPECT_GT(home.TotalKb(), 0);
  EXPECT_GE(home.TotalKb(), home.FreeKb());

  EXPECT_EQ(Narrow(drives->At(1).Name()), "TRACKDAY");
  EXPECT_EQ(Narrow(drives->At(1).RootPath()), "/media/pi/TRACKDAY/");
  EXPECT_EQ(drives->At(1).MediumId(), 2);
  EXPECT_FALSE(drives->At(1).IsPresent());  // not really mounted here
  EXPECT_EQ(drives->At(1).FreeKb(), 0);
  EXPECT_EQ(Narrow(drives->At(2).RootPath()), "/run/media/anna/CARD TWO/");

  EXPECT_EQ(drives->MediumOfPath(Wide(docs + "/")), 1);
  EXPECT_EQ(drives->MediumOfPath(Wide(docs)), 0);  // exact text only
  EXPECT_EQ(drives->DriveOfPath(u"/media/pi/TRACKDAY/"), &drives->At(1));
  EXPECT_EQ(drives->DriveOfPath(u"/elsewhere/"), nullptr);

  CFileRecordList rows;
  AppendMediaRecords(*drives, rows);
  ASSERT_EQ(rows.Count(), 3);
  EXPECT_EQ(Narrow(rows.At(0)->DisplayText()), "[ My Documents ]");
  EXPECT_EQ(Narrow(rows.At(0)->Name()), docs + "/");
  EXPECT_TRUE(rows.At(0)->IsFolder());
  ResetFileRecords(rows);

  // A refresh builds the same list again (no entries kept twice).
  drives->Refresh();
  EXPECT_EQ(drives->Count(), 3);
}

TEST(Drives, MissingMountTableLeavesTheDocumentsMedium) {
  pwtest::TempDir dir;
  setenv("PACEWRIGHT_DOCUMENTS", (dir / "docs").c_str(), 1);
  std::unique_ptr<CPwDrives> drives(CPwDrives::NewL((dir / "no-table").c_str()));
  unsetenv("PACEWRIGHT_DOCUMENTS");
  ASSERT_EQ(drives->Count(), 1);
  EXPECT_EQ(drives->At(0).MediumId(), 1);
}

}  // namespace
