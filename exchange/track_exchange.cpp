#include "exchange/track_exchange.h"

#include <string_view>

#include "foundation/file_stream.h"
#include "foundation/paths.h"
#include "foundation/pw_file.h"
#include "platform/environment.h"
#include "storage/settings.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"
#include "timing/track_profile.h"

#ifndef PW_TRACK_SERVER_URL
#define PW_TRACK_SERVER_URL "http://tracks.pacewright.example.org/automatic/tracks/"
#endif

namespace {

// The bytes a request target may carry as they are.
bool IsUrlSafe(uint8_t aByte) {
  if (aByte <= 0x20 || aByte >= 0x7F) return false;
  return std::string_view("\"#<>\\^`{|}").find(static_cast<char>(aByte)) == std::string_view::npos;
}

}  // namespace

void TrackServerBaseUrl(CPwString& aUrl) {
  const char* configured = pwplat::EnvironmentValue("PACEWRIGHT_TRACK_SERVER");
  aUrl.Reset();
  aUrl.AppendFromUtf8(std::string_view(configured ? configured : PW_TRACK_SERVER_URL));
  if (aUrl.IsEmpty() || aUrl.CharAt(aUrl.Length() - 1) != u'/') aUrl.AppendChar(u'/');
}

void AppendUrlPath(CPwString& aUrl, CPwByteArrayC aPath) {
  for (int32_t i = 0; i < aPath.Length(); ++i) {
    const uint8_t c = aPath.ByteAt(i);
    if (IsUrlSafe(c)) {
      aUrl.AppendChar(static_cast<char16_t>(c));
    } else {
      aUrl.AppendChar(u'%');
      aUrl.AppendHex(c, 2);
    }
  }
}

// --- Download --------------------------------------------------------------------------------

CTrackDownload::CTrackDownload(CWebClientEngine& aEngine, CDownloadTrackList& aList, CTrackList& aTracks,
                               const CSettings& aSettings, MTrackExchangeUi& aUi)
    : iEngine(aEngine), iList(aList), iTracks(aTracks), iSettings(aSettings), iUi(aUi) {
  TrackServerBaseUrl(iBaseUrl);
}

CTrackDownload::~CTrackDownload() {
  // The engine must not report to a flow that is gone.
  if (iPending != ENone) iEngine.CloseConnection();
}

int32_t CTrackDownload::Open() {
  if (!iEngine.OpenConnection()) return 0;
  iList.Filter(CPwStringC());
  RequestIndex();
  return 1;
}

void CTrackDownload::RequestIndex() {
  CPwString url{CPwStringC(iBaseUrl)};
  url.Append(u"index.php");
  CPwString text;
  text.LoadFromResource(R_EXCHANGE_INDEX_PROGRESS);
  if (iEngine.Get(url, text, this)) {
    iPending = EIndex;
  } else {
    Failed(EIndex);
  }
}

void CTrackDownload::SelectCurrent() {
  const CDownloadTrack* current = iList.Current();
  if (!current) return;
  if (iList.IsTopLevel()) {
    CPwString group(current->Group());
    iList.Filter(group);
    return;
  }
  CPwString question;
  question.FormatU(R_EXCHANGE_DOWNLOAD_QUESTION, current->Name());
  if (iUi.AskQuestion(question)) DownloadTrack(*current);
}

void CTrackDownload::DownloadTrack(const CDownloadTrack& aTrack) {
  iTrackName.Copy(aTrack.Name());
  CPwString url{CPwStringC(iBaseUrl)};
  AppendUrlPath(url, aTrack.File());
  CPwString text;
  text.FormatU(R_EXCHANGE_TRACK_PROGRESS, iTrackName);
  if (iEngine.Get(url, text, this)) {
    iPending = ETrack;
  } else {
    Failed(ETrack);
  }
}

bool CTrackDownload::Back() {
  if (!iList.IsTopLevel()) {
    iList.Filter(CPwStringC());
    return true;
  }
  iEngine.CloseConnection();
  iPending = ENone;
  iList.Clear();
  return false;
}

void CTrackDownload::RequestCompleted(CPwByteArrayC aBody) {
  const TPending kind = iPending;
  iPending = ENone;
  if (kind == EIndex) {
    iList.ParseIndex(aBody);
    iUi.ExchangeEvent(MTrackExchangeUi::EIndexLoaded);
  } else if (kind == ETrack) {
    const int32_t result = InstallTrack(iTrackName, aBody);
    iUi.ExchangeEvent(result == 1 ? MTrackExchangeUi::ETrackInstalled : MTrackExchangeUi::ETrackNotInstalled);
  }
}

void CTrackDownload::RequestFailed() {
  const TPending kind = iPending;
  iPending = ENone;
  Failed(kind);
}

void CTrackDownload::RequestCancelled() {
  const TPending kind = iPending;
  iPending = ENone;
  if (kind == EIndex) {
    iEngine.CloseConnection();
    iUi.ExchangeEvent(MTrackExchangeUi::EIndexCancelled);
  } else if (kind == ETrack) {
    iUi.ExchangeEvent(MTrackExchangeUi::ETrackCancelled);
  }
}

void CTrackDownload::Failed(TPending aKind) {
  CPwString text;
  if (aKind == EIndex) {
    iEngine.CloseConnection();
    text.LoadFromResource(R_EXCHANGE_INDEX_FAILED);
    iUi.ShowNote(MTrackExchangeUi::EWarningNote, text);
    iUi.ExchangeEvent(MTrackExchangeUi::EIndexFailed);
  } else if (aKind == ETrack) {
    text.FormatU(R_EXCHANGE_TRACK_FAILED, iTrackName);
    iUi.ShowNote(MTrackExchangeUi::EWarningNote, text);
    iUi.ExchangeEvent(MTrackExchangeUi::ETrackFailed);
  }
}

int32_t CTrackDownload::InstallTrack(CPwStringC aName, CPwByteArrayC aBytes) {
  int32_t result = 0;
  const int32_t code = Trap([&] { result = DoInstall(aName, aBytes); });
  if (code != KErrNone) result = code;
  CPwString text;
  if (result == 1) {
    text.FormatU(R_EXCHANGE_TRACK_ADDED, aName);
    iUi.ShowNote(MTrackExchangeUi::EInformationNote, text);
  } else if (result < 0) {
    text.FormatN(R_EXCHANGE_SAVE_FAILED, result);
    iUi.ShowNote(MTrackExchangeUi::EErrorNote, text);
  }
  return result;
}

int32_t CTrackDownload::DoInstall(CPwStringC aNameIn, CPwByteArrayC aBytes) {
  // The name comes from the server: one that is not a plain file name (a "/" in it) would
  // write outside the tracks folder.
  const CPwString name(aNameIn);
  if (name.IsEmpty() || !CTrackList::IsValidName(name) || !IsValidFileName(name)) return KErrCorrupt;
  const CPwString root(iSettings.CurrentStorageRoot());
  if (root.IsEmpty() || !EnsureFolders(root)) return KErrCannotOpen;

  CPwString target;
  MakeFilePath(EFileTrack, root, name, target);
  // Written beside the target under a name the catalogue does not list, then moved over it.
  CPwString partial{CPwStringC(target)};
  partial.Append(u".download");

  {
    PwFileBuffered file;
    file.SetPath(partial);
    file.Replace(KWriteBufferBytes, 0);
    file.Write(aBytes);
    const bool written = file.Flush() && !file.HasFailed();
    file.Close();
    if (!written) {
      DeleteFile(partial);
      return KErrCannotOpen;
    }
  }

  {
    // Only what reads back as a whole track file may replace a user's track.
    PwFileStream stream;
    stream.SetPath(partial);
    int32_t check = KErrCorrupt;
    if (stream.OpenRead()) {
      CTrackProfile probe;
      check = Trap([&] { probe.ReadFrom(stream, true); });
      // Bytes after the last trap are not part of any track (a server padding its answer).
      if (check == KErrNone && stream.Remaining() != 0) check = KErrCorrupt;
    }
    stream.Close();
    if (check != KErrNone) {
      DeleteFile(partial);
      return check;
    }
  }

  if (iTracks.Exists(name)) {
    CPwString question;
    question.FormatU(R_EXCHANGE_OVERWRITE_QUESTION, name);
    if (!iUi.AskQuestion(question)) {
      DeleteFile(partial);
      return 0;
    }
    iTracks.DeleteByName(name);
  }
  if (!RenameFile(partial, target)) {
    DeleteFile(partial);
    return KErrCannotOpen;
  }

  CTrackProfile profile;
  profile.SetName(name);
  profile.SetFolder(root);
  profile.Load(false);
  if (!iTracks.Add(profile)) return KErrCannotOpen;
  return 1;
}

// --- Upload ----------------------------------------------------------------------------------

CTrackUpload::CTrackUpload(CWebClientEngine& aEngine, CTrackList& aTracks, MTrackExchangeUi& aUi)
    : iEngine(aEngine), iTracks(aTracks), iUi(aUi) {
  TrackServerBaseUrl(iBaseUrl);
}

CTrackUpload::~CTrackUpload() {
  if (iPending) iEngine.CloseConnection();
}

int32_t CTrackUpload::Upload(CPwStringC aEmail, CPwStringC aDescription) {
  CPwString text;
  if (aEmail.IsEmpty()) {
    text.LoadFromResource(R_EXCHANGE_NO_EMAIL);
    iUi.ShowNote(MTrackExchangeUi::EErrorNote, text);
    return 0;
  }
  if (aDescription.IsEmpty()) {
    text.LoadFromResource(R_EXCHANGE_NO_DESCRIPTION);
    iUi.ShowNote(MTrackExchangeUi::EErrorNote, text);
    return 0;
  }
  if (!iEngine.OpenConnection()) return 0;
  CTrackProfile* track = iTracks.Current();
  if (!track) return 0;
  CPwByteArray bytes;
  if (!track->FileBytes(bytes) || bytes.IsEmpty()) return 0;

  iEngine.ResetForm();
  iEngine.AddFormField(u"email", aEmail);
  iEngine.AddFormField(u"description", aDescription);
  iEngine.AddFormFile(u"attachment", track->Name(), bytes);
  CPwString url{CPwStringC(iBaseUrl)};
  url.Append(u"send.php");
  text.LoadFromResource(R_EXCHANGE_UPLOAD_PROGRESS);
  if (!iEngine.Post(url, text, this)) return 0;
  iPending = true;
  return 1;
}

void CTrackUpload::Close() {
  iEngine.CloseConnection();
  iPending = false;
}

bool CTrackUpload::IsSuccessReply(CPwByteArrayC aBody) {
  CPwByteArrayC rest = aBody;
  for (;;) {
    int32_t terminator = 0;
    const int32_t end = rest.FindLineEnd(terminator);
    if (end < 0) return false;  // no complete line
    if (end > 0) return rest.Left(end) == CPwByteArrayC("Success.");
    rest = rest.Mid(terminator);
  }
}

void CTrackUpload::RequestCompleted(CPwByteArrayC aBody) {
  iPending = false;
  CPwString text;
  if (IsSuccessReply(aBody)) {
    text.LoadFromResource(R_EXCHANGE_UPLOAD_THANKS);
    iUi.ShowNote(MTrackExchangeUi::EInformationNote, text);
    iEngine.CloseConnection();
    iUi.ExchangeEvent(MTrackExchangeUi::EUploadDone);
  } else {
    text.LoadFromResource(R_EXCHANGE_UPLOAD_FAILED);
    iUi.ShowNote(MTrackExchangeUi::EErrorNote, text);
    iUi.ExchangeEvent(MTrackExchangeUi::EUploadFailed);
  }
}

void CTrackUpload::RequestFailed() {
  iPending = false;
  CPwString text;
  text.LoadFromResource(R_EXCHANGE_UPLOAD_FAILED);
  iUi.ShowNote(MTrackExchangeUi::EErrorNote, text);
  iUi.ExchangeEvent(MTrackExchangeUi::EUploadFailed);
}

void CTrackUpload::RequestCancelled() {
  iPending = false;
  iUi.ExchangeEvent(MTrackExchangeUi::EUploadCancelled);
}
