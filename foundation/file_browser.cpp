#include "foundation/file_browser.h"

#include <cstring>
#include <memory>

#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_string_list.h"
#include "platform/file_io.h"
#include "strings/pw_strings.h"

namespace {

// True if aName starts with aPrefix and ends with aSuffix without the two overlapping.
bool MatchesPattern(CPwStringC aName, CPwStringC aPrefix, CPwStringC aSuffix) {
  if (aName.Length() < aPrefix.Length() + aSuffix.Length()) return false;
  return aName.Left(aPrefix.Length()).CompareNoCase(aPrefix) == 0 &&
         aName.Mid(aName.Length() - aSuffix.Length()).CompareNoCase(aSuffix) == 0;
}

}  // namespace

// ---- CPwFileBrowser ----

CPwFileBrowser::~CPwFileBrowser() { Close(); }

void CPwFileBrowser::Close() {
  pwplat::FolderClose(iHandle);
  iHandle = nullptr;
  iStarted = false;
}

void CPwFileBrowser::SetPattern(CPwStringC aPattern, bool aIncludeFolders) {
  Close();
  int32_t slash = aPattern.FindLast(KPathSeparator);
  if (slash < 0) PanicCore(EPanicBrowserPattern);
  CPwStringC last = aPattern.Mid(slash + 1);
  iFolder.Copy(aPattern.Left(slash + 1));
  iPattern.Copy(aPattern);
  int32_t star = last.Find(u'*');
  if (star < 0) {
    iPattern.AppendChar(u'*');
    iPrefix.Copy(last);
    iSuffix.SetLength(0);
  } else {
    // Anything between a first and a last '*' matches anything.
    int32_t lastStar = last.FindLast(u'*');
    iPrefix.Copy(last.Left(star));
    iSuffix.Copy(last.Mid(lastStar + 1));
  }
  iIncludeFolders = aIncludeFolders;
}

void CPwFileBrowser::ListKind(int32_t aKind, CPwStringC aRoot) {
  Close();
  CPwStringC sub;
  CPwStringC suffix;
  if (!FileKindParts(aKind, sub, suffix)) {
    iFolder.SetLength(0);
    return;
  }
  CPwString pattern;
  pattern.Append(aRoot);
  pattern.Append(KProgramFolder);
  pattern.Append(sub);
  pattern.AppendChar(u'*');
  pattern.Append(suffix);
  SetPattern(pattern, false);
}

int32_t CPwFileBrowser::Next(CPwString& aName, bool& aIsFolder) {
  if (!iStarted) {
    iStarted = true;
    TNativePath folder(iFolder);
    iHandle = folder.IsValid() ? pwplat::FolderOpen(folder.Get()) : nullptr;
  }
  if (!iHandle) return 0;
  CPwString name;
  pwplat::TFolderEntry entry;
  while (pwplat::FolderNext(iHandle, &entry)) {
    if (entry.iIsHidden || entry.iIsSpecial) continue;
    if (entry.iIsFolder && !iIncludeFolders) continue;
    // A name that is not valid UTF-8 could not be opened again through a wide path.
    SetFromNativePath(name, entry.iName);
    TNativePath again(name);
    if (!again.IsValid() || std::strcmp(again.Get(), entry.iName) != 0) continue;
    if (!MatchesPattern(name, iPrefix, iSuffix)) continue;
    aName.Copy(name.Mid(iPrefix.Length(), name.Length() - iPrefix.Length() - iSuffix.Length()));
    aIsFolder = entry.iIsFolder;
    return 1;
  }
  pwplat::FolderClose(iHandle);
  iHandle = nullptr;
  return 0;
}

// ---- CFileRecord ----

CFileRecord::CFileRecord(CPwStringC aName, CPwStringC aDisplayText, bool aIsFolder)
    : iIsFolder(aIsFolder) {
  iName.Copy(aName);
  iDisplayText.Copy(aDisplayText);
}

void ResetFileRecords(CFileRecordList& aRows) {
  for (CFileRecord* row : aRows) delete row;
  aRows.Reset();
}

namespace {

void AppendRecord(CFileRecordList& aRows, CPwStringC aName, CPwStringC aDisplay, bool aIsFolder) {
  std::unique_ptr<CFileRecord> row(new CFileRecord(aName, aDisplay, aIsFolder));
  aRows.Append(row.get());
  row.release();
}

void FolderRowText(CPwStringC aName, CPwString& aText) { aText.FormatU(R_FILE_FOLDER_ROW, aName); }

int CompareByFileName(CFileRecord* const& aFirst, CFileRecord* const& aSecond) {
  CPwStringC a = FileNameOf(aFirst->Name());
  CPwStringC b = FileNameOf(aSecond->Name());
  int c = a.CompareNoCase(b);
  return c != 0 ? c : a.Compare(b);
}

// Folder rows are named with a trailing '/'; sort them by the name before it.
int CompareFolders(CFileRecord* const& aFirst, CFileRecord* const& aSecond) {
  CPwStringC a = aFirst->Name();
  CPwStringC b = aSecond->Name();
  a = FileNameOf(a.Left(a.Length() - 1));
  b = FileNameOf(b.Left(b.Length() - 1));
  int c = a.CompareNoCase(b);
  return c != 0 ? c : a.Compare(b);
}

// Moves every row of aFrom to the end of aTo. A row belongs to exactly one list at any time,
// also when an append leaves halfway.
void MoveRows(CFileRecordList& aFrom, CFileRecordList& aTo) {
  for (int32_t i = 0; i < aFrom.Count(); ++i) {
    aTo.Append(aFrom.At(i));
    aFrom.At(i) = nullptr;
  }
  aFrom.Reset();
}

}  // namespace

void AppendMediaRecords(const CPwDrives& aDrives, CFileRecordList& aRows) {
  CPwString text;
  for (int32_t i = 0; i < aDrives.Count(); ++i) {
    const CPwDriveInfo& drive = aDrives.At(i);
    FolderRowText(drive.Name(), text);
    AppendRecord(aRows, drive.RootPath(), text, true);
  }
}

void AppendFolderRecords(CPwStringC aFolder, const CPwStringList& aExtensions, CFileRecordList& aRows) {
  CPwString text;
  text.LoadFromResource(R_FILE_PARENT_FOLDER);
  AppendRecord(aRows, ParentFolderOf(aFolder), text, true);

  // Rows are collected apart and deleted if a leave interrupts the listing.
  struct TGroup {
    CFileRecordList iRows;
    explicit TGroup(CFileRecordList::TCompare aCompare) : iRows(8, aCompare) {}
    ~TGroup() { ResetFileRecords(iRows); }
  } folders(&CompareFolders), files(&CompareByFileName);

  CPwFileBrowser browser;
  CPwString pattern;
  pattern.Append(aFolder);
  pattern.AppendChar(u'*');
  browser.SetPattern(pattern, true);
  CPwString name;
  CPwString path;
  bool isFolder = false;
  while (browser.Next(name, isFolder)) {
    path.Copy(aFolder);
    path.Append(name);
    if (isFolder) {
      path.AppendChar(KPathSeparator);
      FolderRowText(name, text);
      AppendRecord(folders.iRows, path, text, true);
    } else if (MatchesExtension(name, aExtensions)) {
      AppendRecord(files.iRows, path, name, false);
    }
  }
  folders.iRows.Sort(0);
  files.iRows.Sort(0);
  MoveRows(folders.iRows, aRows);
  MoveRows(files.iRows, aRows);
}

void FormatFileCount(int32_t aCount, CPwString& aText) { aText.FormatN(R_FILE_MULTIPLE_CHOICE, aCount); }
