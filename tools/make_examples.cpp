#include "tools/make_examples.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "acquisition/channel_state.h"
#include "acquisition/nmea_parser.h"
#include "acquisition/obd_channels.h"
#include "foundation/drives.h"
#include "foundation/paths.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string_list.h"
#include "storage/session_list.h"
#include "storage/settings.h"
#include "timing/performance_test.h"
#include "timing/session_model.h"
#include "timing/track_list.h"
#include "timing/track_profile.h"
#include "timing/track_session.h"
#include "timing/trap_line.h"

namespace pwtools {

namespace {

namespace fs = std::filesystem;

void AddTrap(CTrackProfile& aProfile, const DemoCircuit& aCircuit, int32_t aType, CPwStringC aName, double aAt) {
  const CircuitPoint p = aCircuit.At(aAt);
  double lat = 0, lon = 0;
  DemoCircuit::ToDegrees(p.iEast, p.iNorth, lat, lon);
  std::unique_ptr<CTrapLine> trap(CTrapLine::NewL());
  trap->Set(aType, aName, TCoordinate::FromDegrees(lat), TCoordinate::FromDegrees(lon), TAngle(p.iHeading),
            TDistance::FromMetres(KExampleTrapWidth), 1);
  if (!aProfile.AddTrap(*trap)) Leave(KErrCorrupt);
}

CPwString NativeFolder(const fs::path& aPath) {
  CPwString root = PwStringFromUtf8(aPath.string());
  root.AppendChar(u'/');
  return root;
}

// Moves every file below aFrom to the same place below aTo, replacing what is there.
void MoveInto(const fs::path& aFrom, const fs::path& aTo) {
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(aFrom)) {
    if (!entry.is_regular_file()) continue;
    const fs::path target = aTo / fs::relative(entry.path(), aFrom);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    fs::rename(entry.path(), target, error);
    if (error) Leave(KErrCannotOpen);
  }
}

// The scratch folder goes with the object, also when building the examples leaves.
class ScratchFolder {
 public:
  explicit ScratchFolder(const fs::path& aPath) : iPath(aPath) {
    std::error_code error;
    fs::remove_all(iPath, error);
    if (!fs::create_directories(iPath, error)) Leave(KErrCannotOpen);
  }
  ~ScratchFolder() {
    std::error_code error;
    fs::remove_all(iPath, error);
  }
  const fs::path& Path() const { return iPath; }

 private:
  fs::path iPath;
};

}  // namespace

ExampleModel::ExampleModel(CPwStringC aRoot) : CSessionResourcesModel(aRoot) {
  // Only this root: no installed example may stand in for the one being made.
  iTracks->RefreshRoots(aRoot, CPwStringList(), CPwStringC());
}

void AddExampleTraps(CTrackProfile& aProfile) {
  const DemoCircuit circuit;
  AddTrap(aProfile, circuit, ETrapStartFinish, u"Start/Finish", 0.0);
  AddTrap(aProfile, circuit, ETrapSplit, u"Split 1", circuit.SplitDistance(0));
  AddTrap(aProfile, circuit, ETrapSplit, u"Split 2", circuit.SplitDistance(1));
}

ExampleSummary MakeExamplesL(const std::string& aFolder, const DemoDriveOptions& aDrive) {
  ExampleSummary summary;
  const fs::path folder(aFolder);
  const ScratchFolder scratch(folder / (".making-" + std::to_string(getpid())));
  const CPwString root = NativeFolder(scratch.Path());
  if (!EnsureFolders(root)) Leave(KErrCannotOpen);

  // The drive file first: the session is recorded from exactly these bytes.
  const std::string drive = DemoDriveText(aDrive, &summary.iDrive);
  {
    FILE* file = std::fopen((scratch.Path() / KDemoDriveFileName).c_str(), "wb");
    if (!file) Leave(KErrCannotOpen);
    const bool written = std::fwrite(drive.data(), 1, drive.size(), file) == drive.size();
    if (std::fclose(file) != 0 || !written) Leave(KErrCannotOpen);
  }

  {
    CTrackProfile track;
    track.SetName(CTrackList::KExampleTrackName);
    track.SetFolder(root);
    track.CreateEmptyTrapList();
    track.SetLock(0);
    AddExampleTraps(track);
    track.SetLock(1);  // shipped read-only; users copy it to change it
    track.Save();
  }

  ExampleModel model(root);
  std::unique_ptr<CTrackSession> session(CTrackSession::NewL(model));
  CSessionInfo& info = session->Info();
  info.Clear();
  info.SetIdentifier(CSessionList::KExampleIdentifier);
  info.SetStorageRoot(root);
  info.SetTitle(u"Demo laps");
  info.SetDriver(u"Demo driver");
  info.SetTrackName(CTrackList::KExampleTrackName);
  info.SetNotes(u"An out lap, five timed laps and the in lap, with OBD-II and data logger channels.");
  info.SetSessionType(ESessionLapTiming);
  info.SetSaveNmea(0);
  info.SetRecorded(1);
  const PwDateTime start(KDriveYear, KDriveMonth, KDriveDay, 0, 0, 0, 0);
  info.SetCreated(start);
  info.SetSecondTimeStamp(start);
  info.MarkModified();
  info.Save();
  session->PrepareFiles();
  if (!session->StartTiming() || !session->StartRecording()) Leave(KErrCannotOpen);

  // Receiver-sized pieces, as the GPS engine hands them over.
  std::unique_ptr<CNmeaParser> parser(CNmeaParser::NewL(0));
  std::unique_ptr<CChannelState> state(CChannelState::NewL());
  constexpr size_t KChunk = 4096;
  for (size_t at = 0; at < drive.size(); at += KChunk) {
    const size_t n = std::min(KChunk, drive.size() - at);
    parser->Parse(CPwByteArrayC(reinterpret_cast<const uint8_t*>(drive.data() + at), static_cast<int32_t>(n)),
                  session.get(), &model.Bearing(), &model.ObdChannels(), state.get(), nullptr);
  }
  summary.iPositions = session->SampleCount();
  const CObdPlotList& obd = session->PlotList().ObdList();
  for (int32_t i = 0; i < obd.ListCount(); ++i) summary.iObdSamples += obd.ListAt(i).Count();
  summary.iLoggerSamples = session->PlotList().LoggerList().Count();
  summary.iLaps = session->Laps().LapCount();
  for (int32_t i = 0; i < summary.iLaps; ++i)
    if (session->Laps().Lap(i)->IsFinished()) ++summary.iFinishedLaps;
  LeaveIfError(session->CloseSession());
  session.reset();

  MoveInto(scratch.Path(), folder);
  return summary;
}

}  // namespace pwtools
