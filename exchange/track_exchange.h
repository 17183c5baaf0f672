// The download and upload flows of the track exchange, as the download view, the upload view
// and the command-line front end drive them: fetch and browse the server's index, fetch one
// track and install it as a track profile, upload the current track with the user's address
// and description. The flows show their notes and ask their questions through
// MTrackExchangeUi and tell it when something it shows has changed.
//
// Server protocol (HTTP/1.0, below the base url "http://host[:port]/automatic/tracks/"):
//   GET  index.php   the index (see download_track_list.h)
//   GET  <file>      one track file, stored unchanged
//   POST send.php    multipart form: email, description, attachment (the track file named
//                    after the track); the reply's first non-empty line is "Success."
#pragma once

#include <cstdint>

#include "exchange/download_track_list.h"
#include "exchange/web_client_engine.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"

class CSettings;
class CTrackList;

// The base url of the track server: the environment's PACEWRIGHT_TRACK_SERVER when set, else
// the build's default; always ending with '/'.
void TrackServerBaseUrl(CPwString& aUrl);
// Appends a path from the index to a url, percent-encoding the bytes a request line cannot
// carry (controls, space, non-ASCII, and " # < > \ ^ ` { | }); other bytes, '%' included,
// stay as they are.
void AppendUrlPath(CPwString& aUrl, CPwByteArrayC aPath);

// How the flows reach the user.
class MTrackExchangeUi {
 public:
  enum TNoteKind : int32_t { EInformationNote = 0, EWarningNote = 1, EErrorNote = 2 };
  // What happened, so that a view can refresh or close.
  enum TEvent : int32_t {
    EIndexLoaded,       // the index arrived and the list was rebuilt
    EIndexFailed,       // the index could not be fetched (the connection is closed)
    EIndexCancelled,    // the user cancelled the index (the connection is closed)
    ETrackInstalled,    // a track was added to the track profiles
    ETrackNotInstalled, // a track arrived but was not installed (declined or not saved)
    ETrackFailed,       // a track could not be fetched
    ETrackCancelled,
    EUploadDone,        // the server took the track (the connection is closed)
    EUploadFailed,
    EUploadCancelled,
  };

  virtual void ShowNote(TNoteKind aKind, CPwStringC aText) = 0;
  // A yes/no question; true for "Yes".
  virtual bool AskQuestion(CPwStringC aText) = 0;
  virtual void ExchangeEvent(TEvent aEvent) = 0;

 protected:
  ~MTrackExchangeUi() = default;
};

class CTrackDownload : public CPwBase, public MWebClientObserver {
 public:
  static constexpr int32_t KWriteBufferBytes = 10240;

  // None is owned. The base url starts as TrackServerBaseUrl.
  CTrackDownload(CWebClientEngine& aEngine, CDownloadTrackList& aList, CTrackList& aTracks,
                 const CSettings& aSettings, MTrackExchangeUi& aUi);
  // Forgets a request still running (the connection is closed).
  ~CTrackDownload() override;

  void SetBaseUrl(CPwStringC aUrl) { iBaseUrl.Copy(aUrl); }
  CPwStringC BaseUrl() const { return iBaseUrl; }

  // Opening the view: opens the connection, goes to the top level and requests the index.
  // 0 when the connection could not be opened.
  int32_t Open();
  // Requests the index ("Reload index" too). A refused request counts as failed.
  void RequestIndex();
  // The entry under the cursor: at the top level enters its group; inside a group asks
  // whether to download the track and, on "Yes", requests it.
  void SelectCurrent();
  // Requests one track of the index (no question asked). A refused request counts as failed.
  void DownloadTrack(const CDownloadTrack& aTrack);
  // "Back": inside a group returns to the top level (true); at the top level closes the
  // connection and clears the list (false: the view closes).
  bool Back();

  // Installs received track bytes as the track aName on the storage medium of the settings.
  // Asks before overwriting a track of that name (any letter case). The bytes must read as a
  // track file and nothing more, so that a broken download never replaces a good track. Shows the outcome
  // as a note. Returns 1 when installed, 0 when the user declined, else the error code.
  int32_t InstallTrack(CPwStringC aName, CPwByteArrayC aBytes);

  // Whether a request of this flow is waiting for its outcome.
  bool IsRequestPending() const { return iPending != ENone; }
  // Stops waiting without a word to the engine (which is gone or has closed the connection).
  void Forget() { iPending = ENone; }

  void RequestCompleted(CPwByteArrayC aBody) override;
  void RequestFailed() override;
  void RequestCancelled() override;

 private:
  enum TPending : int32_t { ENone, EIndex, ETrack };

  int32_t DoInstall(CPwStringC aName, CPwByteArrayC aBytes);
  void Failed(TPending aKind);

  CWebClientEngine& iEngine;
  CDownloadTrackList& iList;
  CTrackList& iTracks;
  const CSettings& iSettings;
  MTrackExchangeUi& iUi;
  CPwString iBaseUrl;
  TPending iPending = ENone;
  CPwString iTrackName;  // of the track being fetched
};

class CTrackUpload : public CPwBase, public MWebClientObserver {
 public:
  // None is owned. The base url starts as TrackServerBaseUrl.
  CTrackUpload(CWebClientEngine& aEngine, CTrackList& aTracks, MTrackExchangeUi& aUi);
  // Forgets a request still running (the connection is closed).
  ~CTrackUpload() override;

  void SetBaseUrl(CPwStringC aUrl) { iBaseUrl.Copy(aUrl); }
  CPwStringC BaseUrl() const { return iBaseUrl; }

  // Uploads the track list's current track. An empty address or description is refused with
  // its note; no connection, no current track or an empty track file stops silently, and so
  // does a refused request. 1 when the request was started.
  int32_t Upload(CPwStringC aEmail, CPwStringC aDescription);
  // "Cancel": closes the connection (a running request is forgotten).
  void Close();

  // Whether the server's reply accepts the upload: after any empty lines, a first line ended
  // by CR LF or LF that is exactly "Success.".
  static bool IsSuccessReply(CPwByteArrayC aBody);

  bool IsRequestPending() const { return iPending; }
  // Stops waiting without a word to the engine (which is gone or has closed the connection).
  void Forget() { iPending = false; }

  void RequestCompleted(CPwByteArrayC aBody) override;
  void RequestFailed() override;
  void RequestCancelled() override;

 private:
  CWebClientEngine& iEngine;
  CTrackList& iTracks;
  MTrackExchangeUi& iUi;
  CPwString iBaseUrl;
  bool iPending = false;
};
