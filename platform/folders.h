// Where the program's folders are on this machine: the user's documents folder, the
// per-user application-data folder, the folder of installed data, and mounted removable
// media. Results are zero-terminated UTF-8 paths without a trailing '/' written into the
// caller's buffer; each returns false when the path cannot be determined or does not fit.
#pragma once

#include <cstddef>

namespace pwplat {

// The documents folder and the application-data folder the user named for this run (the
// command line's --documents and --appdata). Each is used before the environment when it is
// an absolute path; null or "" removes it.
void SetDocumentsFolderOverride(const char* aPath);
void SetAppDataFolderOverride(const char* aPath);

// True when the user chose the documents folder: an override is set or $PACEWRIGHT_DOCUMENTS
// is present.
bool DocumentsFolderChosen();

// The override, else $PACEWRIGHT_DOCUMENTS, else $XDG_DOCUMENTS_DIR, else ~/Documents;
// created if missing.
bool DocumentsFolder(char* aOut, size_t aSize);

// The override, else $PACEWRIGHT_APPDATA, else $XDG_DATA_HOME/Pacewright, else
// ~/.local/share/Pacewright; created (with missing parents) if missing.
bool AppDataFolder(char* aOut, size_t aSize);

// $PACEWRIGHT_INSTALL, else <prefix>/share/pacewright when that folder exists (the prefix
// being the parent of the folder holding the running program), else aSourceDataDir (the
// data folder of the source tree, for runs from a build tree; may be null).
bool InstallFolder(const char* aSourceDataDir, char* aOut, size_t aSize);

// True if a mount point is a removable medium as desktop systems mount them:
// /media/<name>, /media/<user>/<name> or /run/media/<user>/<name>.
bool IsRemovableMountPoint(const char* aMountDir);

// Calls aVisit once per mounted removable medium found in the mount table aMountTable
// (normally "/proc/self/mounts"), in table order, skipping duplicates. Returns the count.
using TMountVisitor = void (*)(void* aContext, const char* aMountDir);
int ForEachRemovableMedium(const char* aMountTable, TMountVisitor aVisit, void* aContext);

}  // namespace pwplat
