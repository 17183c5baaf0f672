// download-tracks, download-track, upload-track: the track exchange flows on the loop, with
// their notes on standard error and their questions answered by the options. Everything the
// server wrote goes through Printable before it reaches the terminal.
#include <memory>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/text_table.h"
#include "exchange/download_track_list.h"
#include "exchange/track_exchange.h"
#include "exchange/web_client_engine.h"
#include "platform/interrupt_watch.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"

namespace {

class TExchangeUi final : public MTrackExchangeUi {
 public:
  TExchangeUi(TCliContext& aContext, bool aYes) : iContext(aContext), iYes(aYes) {}

  void ShowNote(TNoteKind aKind, CPwStringC aText) override {
    if (aKind == EInformationNote) {
      if (iContext.Interactive()) iContext.Note(Printable(aText));
      return;
    }
    // Told as the command's error line when the flow fails; a warning that does not end the
    // flow is shown at once.
    iProblem = Printable(aText);
  }
  // The only question is whether to replace a track of the same name.
  bool AskQuestion(CPwStringC) override {
    if (!iYes) iProblem = CliText(R_CLI_TRACK_EXISTS);
    return iYes;
  }
  void ExchangeEvent(TEvent aEvent) override {
    iEvent = aEvent;
    iHappened = true;
    iContext.Model().StopLoop();
  }

  // Runs the loop until the flow reports one of its events (or Ctrl-C).
  TEvent Wait() {
    CInterruptWatch watch([this] {
      CHeadlessModel& model = iContext.Model();
      model.Host().Post([&model] { model.Interrupt(); });
    });
    iHappened = false;
    while (!iHappened) {
      iContext.Model().RunLoop();
      if (iContext.Model().WasInterrupted() || iContext.Model().Scheduler().QuitRequested())
        throw TUserError(CliText(R_CLI_INTERRUPTED));
    }
    return iEvent;
  }

  // The flow's own message, or aFallback.
  [[noreturn]] void Fail(const std::string& aFallback) const {
    throw TUserError(iProblem.empty() ? aFallback : iProblem);
  }

 private:
  TCliContext& iContext;
  bool iYes;
  TEvent iEvent = EIndexFailed;
  bool iHappened = false;
  std::string iProblem;
};

// The engine, the index and the download flow, with the index fetched.
struct TDownload {
  TDownload(TCliContext& aContext, bool aYes)
      : iUi(aContext, aYes),
        iEngine(&aContext.Model().Scheduler(), nullptr),
        iFlow(iEngine, iList, aContext.Model().Tracks(), aContext.Model().Settings(), iUi) {}

  void FetchIndex() {
    if (!iFlow.Open()) iUi.Fail(CliText(R_CLI_NO_CONNECTION));
    if (iUi.Wait() != MTrackExchangeUi::EIndexLoaded) iUi.Fail(CliText(R_CLI_INDEX_FAILED, Utf8(iFlow.BaseUrl())));
  }

  TExchangeUi iUi;
  CWebClientEngine iEngine;
  CDownloadTrackList iList;
  CTrackDownload iFlow;
};

}  // namespace

void RunDownloadTracks(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  TDownload download(aContext, false);
  download.FetchIndex();
  CDownloadTrackList& list = download.iList;
  const std::optional<std::string> group = aArgs.Value("group");
  CJsonWriter json;
  CTextTable table;
  json.BeginArray();
  if (!group) {
    table.AddColumn(CliText(R_CLI_COL_GROUP));
    table.AddColumn(CliText(R_CLI_COL_COUNT), CTextTable::ERight);
    for (int32_t i = 0; i < list.ShownCount(); ++i) {
      const CPwStringC name = list.ShownAt(i).Group();
      const int32_t count = list.CountInGroup(name);
      json.BeginObject();
      json.Member("group", name);
      json.Member("tracks", count);
      json.EndObject();
      table.AddRow({Printable(name), std::to_string(count)});
    }
  } else {
    const CPwString name(PwStringFromUtf8(*group));
    if (list.CountInGroup(name) == 0) throw TUserError(CliText(R_CLI_NO_GROUP, *group));
    list.Filter(name);
    table.AddColumn(CliText(R_CLI_COL_NAME));
    table.AddColumn(CliText(R_CLI_COL_DETAIL));
    table.AddColumn(CliText(R_CLI_COL_FILE));
    for (int32_t i = 0; i < list.ShownCount(); ++i) {
      const CDownloadTrack& track = list.ShownAt(i);
      const std::string file = Printable(track.File().View());
      json.BeginObject();
      json.Member("file", file);
      json.Member("group", track.Group());
      json.Member("name", track.Name());
      json.Member("detail", track.Detail());
      json.EndObject();
      table.AddRow({Printable(track.Name()), Printable(track.Detail()), file});
    }
  }
  json.EndArray();
  if (aArgs.Has("json"))
    aContext.PrintJson(json);
  else
    aContext.Print(table.Render());
}

void RunDownloadTrack(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  const std::string& file = aArgs.Positionals()[0];
  TDownload download(aContext, aArgs.Has("overwrite"));
  download.FetchIndex();
  const CDownloadTrack* wanted = nullptr;
  for (int32_t i = 0; i < download.iList.Count() && !wanted; ++i)
    if (download.iList.At(i).File() == CPwByteArrayC(file)) wanted = &download.iList.At(i);
  if (!wanted) throw TUserError(CliText(R_CLI_NOT_IN_INDEX, file));
  download.iFlow.DownloadTrack(*wanted);
  switch (download.iUi.Wait()) {
    case MTrackExchangeUi::ETrackInstalled:
      aContext.Print(Printable(wanted->Name()) + "\n");
      return;
    case MTrackExchangeUi::ETrackNotInstalled:
      download.iUi.Fail(CliText(R_CLI_NOT_INSTALLED));
    default:
      download.iUi.Fail(CliText(R_CLI_DOWNLOAD_FAILED, file));
  }
}

void RunUploadTrack(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  const std::string email = aArgs.Required("email");
  const std::string description = aArgs.Required("description");
  CHeadlessModel& model = aContext.Model();
  CTrackList& tracks = model.Tracks();
  const int32_t index = tracks.Find(PwStringFromUtf8(aArgs.Positionals()[0]));
  if (index < 0) throw TUserError(CliText(R_CLI_NO_TRACK, aArgs.Positionals()[0]));
  tracks.SetCurrentIndex(index);
  TExchangeUi ui(aContext, false);
  CWebClientEngine engine(&model.Scheduler(), nullptr);
  CTrackUpload upload(engine, tracks, ui);
  if (!upload.Upload(PwStringFromUtf8(email), PwStringFromUtf8(description))) ui.Fail(CliText(R_CLI_UPLOAD_FAILED));
  if (ui.Wait() != MTrackExchangeUi::EUploadDone) ui.Fail(CliText(R_CLI_UPLOAD_FAILED));
}
