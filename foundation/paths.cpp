#include "foundation/paths.h"

#include <climits>

#include "foundation/pw_string_list.h"
#include "platform/file_io.h"
#include "platform/folders.h"

TNativePath::TNativePath(CPwStringC aPath) {
  iBuf[0] = '\0';
  int32_t out = 0;
  const int32_t len = aPath.Length();
  const char16_t* p = aPath.Ptr();
  for (int32_t i = 0; i < len; ++i) {
    uint32_t c = p[i];
    if (c == 0) return;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= len || p[i + 1] < 0xDC00 || p[i + 1] > 0xDFFF) return;
      c = 0x10000 + ((c - 0xD800) << 10) + (p[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return;
    }
    char bytes[4];
    int n;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c);
      n = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      n = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      n = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
      n = 4;
    }
    if (out + n >= KMaxBytes) return;
    for (int k = 0; k < n; ++k) iBuf[out++] = bytes[k];
  }
  iBuf[out] = '\0';
  iValid = out > 0;
}

void SetFromNativePath(CPwString& aTarget, const char* aNative) {
  aTarget.Reset();
  aTarget.AppendFromUtf8(std::string_view(aNative));
}

bool FileExists(CPwStringC aPath) {
  TNativePath native(aPath);
  return native.IsValid() && pwplat::PathExists(native.Get());
}

bool FolderExists(CPwStringC aPath) {
  // The root folder keeps its only '/'.
  if (aPath.Length() > 1 && aPath.CharAt(aPath.Length() - 1) == KPathSeparator)
    aPath = aPath.Left(aPath.Length() - 1);
  TNativePath native(aPath);
  return native.IsValid() && pwplat::PathIsFolder(native.Get());
}

bool IsValidFileName(CPwStringC aName) {
  for (int32_t i = 0; i < aName.Length(); ++i) {
    switch (aName.CharAt(i)) {
      case u'"': case u'*': case u'/': case u':': case u'<':
      case u'>': case u'?': case u'\\': case u'|': case 0:
        return false;
      default:
        break;
    }
  }
  return true;
}

bool DeleteFile(CPwStringC aPath) {
  TNativePath native(aPath);
  return native.IsValid() && pwplat::PathDelete(native.Get());
}

bool RenameFile(CPwStringC aFrom, CPwStringC aTo) {
  TNativePath from(aFrom);
  TNativePath to(aTo);
  return from.IsValid() && to.IsValid() && pwplat::PathRename(from.Get(), to.Get());
}

int32_t CreateFolders(CPwStringC aPath) {
  if (FolderExists(aPath)) return KErrFolderExists;
  for (int32_t i = 1; i < aPath.Length(); ++i) {
    if (aPath.CharAt(i) != KPathSeparator) continue;
    CPwStringC prefix = aPath.Left(i);
    if (FolderExists(prefix)) continue;
    TNativePath native(prefix);
    if (!native.IsValid() || !pwplat::FolderCreate(native.Get())) return KErrFolderCreate;
  }
  return KErrNone;
}

CPwStringC FileNameOf(CPwStringC aPath) {
  int32_t slash = aPath.FindLast(KPathSeparator);
  return slash < 0 ? aPath : aPath.Mid(slash + 1);
}

CPwStringC ParentFolderOf(CPwStringC aPath) {
  if (aPath.IsEmpty()) return CPwStringC();
  int32_t slash = aPath.Left(aPath.Length() - 1).FindLast(KPathSeparator);
  return slash < 0 ? CPwStringC() : aPath.Left(slash + 1);
}

namespace {

int32_t SpaceKb(CPwStringC aPath, bool aTotal) {
  TNativePath native(aPath);
  uint64_t total = 0;
  uint64_t available = 0;
  if (!native.IsValid() || !pwplat::FreeSpace(native.Get(), &total, &available)) return 0;
  uint64_t kb = (aTotal ? total : available) / 1024;
  return kb > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(kb);
}

// Sets aTarget to a platform folder with a trailing '/', leaving it alone on failure.
void SetFolder(CPwString& aTarget, bool aFound, const char* aNative) {
  if (!aFound || !aNative[0]) return;
  SetFromNativePath(aTarget, aNative);
  if (aTarget.IsEmpty() || aTarget.CharAt(aTarget.Length() - 1) != KPathSeparator)
    aTarget.AppendChar(KPathSeparator);
}

}  // namespace

int32_t FreeSpaceKb(CPwStringC aPath) { return SpaceKb(aPath, false); }

TMediumProblem MediumProblem(CPwStringC aPath) {
  TNativePath native(aPath);
  bool readOnly = false;
  uint64_t available = 0;
  if (!native.IsValid() || !pwplat::WriteState(native.Get(), &readOnly, &available)) return EMediumWritable;
  if (readOnly) return EMediumReadOnly;
  return available < KMediumFullBytes ? EMediumFull : EMediumWritable;
}
int32_t TotalSpaceKb(CPwStringC aPath) { return SpaceKb(aPath, true); }

void InstallFolder(CPwString& aTarget) {
  char buf[TNativePath::KMaxBytes];
  SetFolder(aTarget, pwplat::InstallFolder(PW_SOURCE_DATA_DIR, buf, sizeof(buf)), buf);
}

void AppDataFolder(CPwString& aTarget) {
  char buf[TNativePath::KMaxBytes];
  SetFolder(aTarget, pwplat::AppDataFolder(buf, sizeof(buf)), buf);
}

void DocumentsFolder(CPwString& aTarget) {
  char buf[TNativePath::KMaxBytes];
  SetFolder(aTarget, pwplat::DocumentsFolder(buf, sizeof(buf)), buf);
}

bool MatchesExtension(CPwStringC aPath, const CPwStringList& aExtensions) {
  if (aExtensions.Count() == 0) return true;
  for (int32_t i = 0; i < aExtensions.Count(); ++i) {
    CPwStringC ext = aExtensions.At(i);
    if (ext.Length() > aPath.Length()) continue;
    if (aPath.Mid(aPath.Length() - ext.Length()).CompareNoCase(ext) == 0) return true;
  }
  return false;
}

bool FileKindParts(int32_t aKind, CPwStringC& aSubFolder, CPwStringC& aSuffix) {
  struct TKindParts {
    CPwStringC iSubFolder;
    CPwStringC iSuffix;
  };
  static constexpr TKindParts KParts[] = {
      {u"Sessions/", u"-session.bin"}, {u"Sessions/", u"-plots.bin"},
      {u"Sessions/", u"-nmea.txt"},    {u"Tracks/", u"-track.bin"},
      {u"Sounds/", u".wav"},           {u"Screenshots/", u".png"},
      {u"Exports/", u"-export.kml"},   {u"Exports/", u"-export.csv"},
      {u"Exports/", u"-export.dbn"},   {u"Exports/", u"-export.vbo"},
      {u"Exports/", u"-export.dat"},   {u"Exports/", u"-export.gpx"},
  };
  // The later exports, numbered apart from the classic kinds.
  if (aKind == EFileExportOverlayCsv || aKind == EFileExportVboLapGates) {
    aSubFolder = u"Exports/";
    aSuffix = aKind == EFileExportOverlayCsv ? CPwStringC(u"-overlay.csv") : CPwStringC(u"-laptiming.vbo");
    return true;
  }
  if (aKind < 0 || aKind >= static_cast<int32_t>(sizeof(KParts) / sizeof(KParts[0]))) return false;
  aSubFolder = KParts[aKind].iSubFolder;
  aSuffix = KParts[aKind].iSuffix;
  return true;
}

void MakeFilePath(int32_t aKind, CPwStringC aRoot, CPwStringC aBaseName, CPwString& aTarget) {
  CPwStringC sub;
  CPwStringC suffix;
  if (!FileKindParts(aKind, sub, suffix)) return;
  // Built aside so that aTarget is whole or untouched, even when aRoot or aBaseName view it.
  CPwString path;
  path.Append(aRoot);
  path.Append(KProgramFolder);
  path.Append(sub);
  if (aKind == EFileScreenshot) path.Append(u"screenshot");
  path.Append(aBaseName);
  path.Append(suffix);
  aTarget = std::move(path);
}

namespace {

bool EnsureSubFolder(CPwStringC aRoot, CPwStringC aSub) {
  CPwString path;
  path.Append(aRoot);
  path.Append(KProgramFolder);
  path.Append(aSub);
  int32_t err = CreateFolders(path);
  return err == KErrNone || err == KErrFolderExists;
}

}  // namespace

bool EnsureFolders(CPwStringC aRoot) {
  return EnsureSubFolder(aRoot, u"Sessions/") && EnsureSubFolder(aRoot, u"Tracks/") &&
         EnsureSubFolder(aRoot, u"Exports/");
}

bool EnsureExportsFolder(CPwStringC aRoot) { return EnsureSubFolder(aRoot, u"Exports/"); }

bool ScreenshotsFolderExists(CPwStringC aRoot) {
  CPwString path;
  path.Append(aRoot);
  path.Append(KProgramFolder);
  path.Append(u"Screenshots/");
  return FolderExists(path);
}
