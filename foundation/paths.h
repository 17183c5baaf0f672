// Path helpers, the program's folder layout and the names of every file it writes.
// Paths are wide text with '/' as separator; folder paths end with '/'.
#pragma once

#include <cstdint>

#include "foundation/pw_string.h"

class CPwStringList;

constexpr char16_t KPathSeparator = u'/';

// A wide path in the platform's form (UTF-8, zero-terminated), built without allocating so
// that file calls can neither leave nor throw on the way down. Invalid when the text is
// empty, holds a zero character or an unpaired surrogate, or is longer than the buffer.
class TNativePath {
 public:
  explicit TNativePath(CPwStringC aPath);
  bool IsValid() const { return iValid; }
  const char* Get() const { return iBuf; }

  static constexpr int32_t KMaxBytes = 4096;

 private:
  char iBuf[KMaxBytes];
  bool iValid = false;
};

// Replaces aTarget with the wide form of a platform path (UTF-8).
void SetFromNativePath(CPwString& aTarget, const char* aNative);

// True if something exists at the path.
bool FileExists(CPwStringC aPath);
// One trailing '/' is ignored; true if the path exists and is a folder.
bool FolderExists(CPwStringC aPath);
// False if the text holds any of " * / : < > ? \ | (or a zero character).
bool IsValidFileName(CPwStringC aName);
// Deletes a file (not a folder); true on success.
bool DeleteFile(CPwStringC aPath);
// Moves a file, replacing an existing target; true on success.
bool RenameFile(CPwStringC aFrom, CPwStringC aTo);

// Results of CreateFolders besides KErrNone.
constexpr int32_t KErrFolderExists = -7;
constexpr int32_t KErrFolderCreate = -4;
// Creates every folder named by a prefix of aPath that ends at a '/' after position 0:
// KErrFolderExists if aPath already is a folder, KErrFolderCreate on the first folder that
// cannot be made, KErrNone otherwise. Only components followed by '/' are created.
int32_t CreateFolders(CPwStringC aPath);

// The part after the last '/' (the whole text if none).
CPwStringC FileNameOf(CPwStringC aPath);
// The text up to and including the last '/' before the final character (so a trailing '/'
// is ignored); empty if none.
CPwStringC ParentFolderOf(CPwStringC aPath);

// Free bytes available to the user on the medium holding aPath, in KiB; 0 on failure.
// Saturates at INT32_MAX (2 TiB) so that no caller ever sees a negative amount.
int32_t FreeSpaceKb(CPwStringC aPath);
// Total size of the medium holding aPath in KiB (saturating likewise); 0 on failure.
int32_t TotalSpaceKb(CPwStringC aPath);

// Why writing below aPath may have failed, as far as the medium tells: EMediumReadOnly when
// it is mounted read-only or the nearest existing folder is not writable to this process,
// EMediumFull when less than KMediumFullBytes are available, else EMediumWritable.
enum TMediumProblem : int32_t { EMediumWritable = 0, EMediumFull = 1, EMediumReadOnly = 2 };
constexpr uint64_t KMediumFullBytes = 64 * 1024;
TMediumProblem MediumProblem(CPwStringC aPath);

// The folder of installed data (icons, sounds, examples) with a trailing '/'; aTarget is
// left unchanged if there is none.
void InstallFolder(CPwString& aTarget);
// The per-user application-data folder of the program ("Pacewright/"), created if missing,
// with a trailing '/'; aTarget is left unchanged if it cannot be determined.
void AppDataFolder(CPwString& aTarget);
// The user's documents folder, created if missing, with a trailing '/'; aTarget is left
// unchanged if it cannot be determined.
void DocumentsFolder(CPwString& aTarget);

// True if aExtensions is empty or aPath ends with one of its texts (case ignored).
bool MatchesExtension(CPwStringC aPath, const CPwStringList& aExtensions);

// Kinds of files the program keeps below a storage root.
enum TFileKind : int32_t {
  EFileSession = 0,     // Sessions/<id>-session.bin
  EFilePlots = 1,       // Sessions/<id>-plots.bin
  EFileNmea = 2,        // Sessions/<id>-nmea.txt
  EFileTrack = 3,       // Tracks/<name>-track.bin
  EFileSound = 4,       // Sounds/<name>.wav
  EFileScreenshot = 5,  // Screenshots/screenshot<name>.png
  EFileExportKml = 6,
  EFileExportCsv = 7,
  EFileExportDbn = 8,
  EFileExportVbo = 9,
  EFileExportDat = 10,
  EFileExportGpx = 11,  // Exports/<name>-export.<ext>
  EFileExportOverlayCsv = 20,   // Exports/<name>-overlay.csv
  EFileExportVboLapGates = 21,  // Exports/<name>-laptiming.vbo
};

// The program's folder below every storage root.
constexpr CPwStringC KProgramFolder = u"Pacewright/";

// Sub-folder and suffix of a kind; false (outputs untouched) for an unknown kind.
bool FileKindParts(int32_t aKind, CPwStringC& aSubFolder, CPwStringC& aSuffix);

// aTarget = root + "Pacewright/" + sub-folder + base name + suffix of the kind (the base
// name prefixed with "screenshot" for screenshots). Unknown kinds leave aTarget unchanged.
void MakeFilePath(int32_t aKind, CPwStringC aRoot, CPwStringC aBaseName, CPwString& aTarget);

// Creates root + "Pacewright/" + "Sessions/", "Tracks/" and "Exports/" in that order; false
// as soon as one can neither be found nor created.
bool EnsureFolders(CPwStringC aRoot);
// The same for "Exports/" alone.
bool EnsureExportsFolder(CPwStringC aRoot);
// True if root + "Pacewright/Screenshots/" exists.
bool ScreenshotsFolderExists(CPwStringC aRoot);
