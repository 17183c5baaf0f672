// The storage media the program can record to: the documents folder (always medium 1) and
// any mounted removable media, each with its total and free space.
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CPwDriveInfo : public CPwBase {
 public:
  // aRootPath ends with '/'. Presence and space are read at once.
  CPwDriveInfo(CPwStringC aName, CPwStringC aRootPath, int32_t aMediumId);

  CPwStringC Name() const { return iName; }
  CPwStringC RootPath() const { return iRootPath; }
  int32_t TotalKb() const { return iTotalKb; }
  int32_t FreeKb() const { return iFreeKb; }
  bool IsPresent() const { return iPresent; }
  int32_t MediumId() const { return iMediumId; }

  // Re-reads presence, total and free space (a medium may fill up or be pulled).
  void RefreshSpace();

 private:
  CPwString iName;
  CPwString iRootPath;
  int32_t iTotalKb = 0;
  int32_t iFreeKb = 0;
  bool iPresent = false;
  int32_t iMediumId = 0;
};

class CPwDrives : public CPwBase {
 public:
  // Finds the documents folder (creating it if missing) and builds the list. Removable media
  // come from the mount table aMountTable (null: the system's own).
  static CPwDrives* NewL(const char* aMountTable = nullptr);
  ~CPwDrives() override;

  // Deletes the entries and lists the media anew: the documents folder as "My Documents",
  // medium 1, then one entry per mounted removable medium (named after its mount folder,
  // media 2, 3, ... in mount order).
  void Refresh();

  int32_t Count() const { return iDrives.Count(); }
  // Panic 3 unless 0 <= aIndex < Count.
  CPwDriveInfo& At(int32_t aIndex) const { return *iDrives.At(aIndex); }
  // The medium identifier of the entry whose root path equals aRootPath exactly, 0 if none.
  int32_t MediumOfPath(CPwStringC aRootPath) const;
  // The entry whose root path equals aRootPath exactly, or null.
  CPwDriveInfo* DriveOfPath(CPwStringC aRootPath) const;
  // The documents folder with a trailing '/'.
  CPwStringC DocumentsPath() const { return iDocumentsPath; }

 private:
  CPwDrives() = default;
  void ConstructL(const char* aMountTable);
  void ResetDrives();
  void AddDrive(CPwStringC aName, CPwStringC aRootPath);

  CPwVector<CPwDriveInfo*> iDrives{8};
  CPwString iDocumentsPath;
  CPwString iMountTable;
};
