// Folder listing: CPwFileBrowser walks one folder through a "prefix*suffix" pattern and
// hands out names with the prefix and suffix cut off (session identifiers from
// "*-session.bin"); CFileRecord is a row of a file choice, built from media and folders.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPwDrives;
class CPwStringList;

class CPwFileBrowser : public CPwBase {
 public:
  CPwFileBrowser() = default;
  ~CPwFileBrowser() override;

  // aPattern is a path whose last component may hold one '*' (without one, '*' is appended,
  // so the whole component is a prefix). Names match case-insensitively. A pattern without
  // '/' is a programming error (panic 9). Ends any enumeration in progress.
  void SetPattern(CPwStringC aPattern, bool aIncludeFolders);
  // The pattern root + "Pacewright/" + sub-folder + "*" + suffix of a file kind (files only).
  // An unknown kind lists nothing.
  void ListKind(int32_t aKind, CPwStringC aRoot);

  // The next matching entry, skipping hidden and special entries and (unless included)
  // folders: its name without prefix and suffix. Returns 0 at the end (or without a folder).
  int32_t Next(CPwString& aName, bool& aIsFolder);
  // Ends the enumeration; the next Next starts over.
  void Close();

  // The folder of the pattern, with its trailing '/'.
  CPwStringC Folder() const { return iFolder; }

 private:
  void* iHandle = nullptr;  // platform enumeration, null when idle
  CPwString iFolder;
  CPwString iPattern;
  CPwString iPrefix;
  CPwString iSuffix;
  bool iIncludeFolders = false;
  bool iStarted = false;
};

// A row of a file choice: a medium, the way up, a folder or a file.
class CFileRecord : public CPwBase {
 public:
  CFileRecord(CPwStringC aName, CPwStringC aDisplayText, bool aIsFolder);

  // Full path (folders and media end with '/'; the way up names the parent folder).
  CPwStringC Name() const { return iName; }
  CPwStringC DisplayText() const { return iDisplayText; }
  bool IsFolder() const { return iIsFolder; }
  bool IsSelected() const { return iSelected; }
  void SetSelected(bool aSelected) { iSelected = aSelected; }

 private:
  CPwString iName;
  CPwString iDisplayText;
  bool iIsFolder = false;
  bool iSelected = false;
};

// Rows are owned by the caller's vector; ResetFileRecords deletes them.
using CFileRecordList = CPwVector<CFileRecord*>;
void ResetFileRecords(CFileRecordList& aRows);

// Top level of a file choice: one row per medium, shown as "[ name ]", named by its root.
void AppendMediaRecords(const CPwDrives& aDrives, CFileRecordList& aRows);
// Inside aFolder (ending with '/'): "<Parent folder>" first (named by the parent folder),
// then the folders as "[ name ]", then the files matching aExtensions by name, each group
// sorted A to Z ignoring case. Hidden entries are left out.
void AppendFolderRecords(CPwStringC aFolder, const CPwStringList& aExtensions, CFileRecordList& aRows);
// The summary of a multiple choice: "%N files".
void FormatFileCount(int32_t aCount, CPwString& aText);
