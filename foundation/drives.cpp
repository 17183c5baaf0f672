#include "foundation/drives.h"

#include <memory>

#include "foundation/paths.h"
#include "platform/folders.h"
#include "strings/pw_strings.h"

// ---- CPwDriveInfo ----

CPwDriveInfo::CPwDriveInfo(CPwStringC aName, CPwStringC aRootPath, int32_t aMediumId)
    : iMediumId(aMediumId) {
  iName.Copy(aName);
  iRootPath.Copy(aRootPath);
  RefreshSpace();
}

void CPwDriveInfo::RefreshSpace() {
  iPresent = FolderExists(iRootPath);
  iTotalKb = iPresent ? TotalSpaceKb(iRootPath) : 0;
  iFreeKb = iPresent ? FreeSpaceKb(iRootPath) : 0;
}

// ---- CPwDrives ----

CPwDrives* CPwDrives::NewL(const char* aMountTable) {
  std::unique_ptr<CPwDrives> self(new CPwDrives);
  self->ConstructL(aMountTable);
  return self.release();
}

CPwDrives::~CPwDrives() { ResetDrives(); }

void CPwDrives::ConstructL(const char* aMountTable) {
  SetFromNativePath(iMountTable, aMountTable ? aMountTable : "/proc/self/mounts");
  DocumentsFolder(iDocumentsPath);
  Refresh();
}

void CPwDrives::ResetDrives() {
  for (CPwDriveInfo* drive : iDrives) delete drive;
  iDrives.Reset();
}

void CPwDrives::AddDrive(CPwStringC aName, CPwStringC aRootPath) {
  std::unique_ptr<CPwDriveInfo> drive(new CPwDriveInfo(aName, aRootPath, iDrives.Count() + 1));
  iDrives.Append(drive.get());
  drive.release();
}

void CPwDrives::Refresh() {
  ResetDrives();
  CPwString name;
  name.LoadFromResource(R_DRIVE_MY_DOCUMENTS);
  AddDrive(name, iDocumentsPath);

  // Mount points are gathered first: the visitor must not leave through the C callback.
  struct TMedia {
    CPwVector<CPwString*> iRoots{8};
    bool iFailed = false;
    ~TMedia() {
      for (CPwString* root : iRoots) delete root;
    }
  } media;
  TNativePath table(iMountTable);
  if (table.IsValid()) {
    pwplat::ForEachRemovableMedium(
        table.Get(),
        [](void* aContext, const char* aMountDir) {
          TMedia& m = *static_cast<TMedia*>(aContext);
          if (m.iFailed) return;
          m.iFailed = Trap([&] {
                        std::unique_ptr<CPwString> root(new CPwString);
                        SetFromNativePath(*root, aMountDir);
                        root->AppendChar(KPathSeparator);
                        m.iRoots.Append(root.get());
                        root.release();
                      }) != KErrNone;
        },
        &media);
  }
  if (media.iFailed) Leave(KErrNoMemory);
  for (CPwString* root : media.iRoots) {
    if (root->Equals(iDocumentsPath)) continue;
    // The mount folder's own name is the volume label on desktop systems.
    AddDrive(FileNameOf(root->Left(root->Length() - 1)), *root);
  }
}

int32_t CPwDrives::MediumOfPath(CPwStringC aRootPath) const {
  CPwDriveInfo* drive = DriveOfPath(aRootPath);
  return drive ? drive->MediumId() : 0;
}

CPwDriveInfo* CPwDrives::DriveOfPath(CPwStringC aRootPath) const {
  for (CPwDriveInfo* drive : iDrives)
    if (drive->RootPath().Equals(aRootPath)) return drive;
  return nullptr;
}
