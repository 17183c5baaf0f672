// tracks, track create | add-trap | show | lock | unlock | delete.
#include <cmath>

#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/text_table.h"
#include "foundation/paths.h"
#include "strings/pw_strings.h"
#include "timing/track_list.h"
#include "timing/track_profile.h"
#include "timing/trap_line.h"

namespace {

// The words of the trap types, by stored type value.
const char* const KTrapTypeWords[] = {"disabled", "start", "finish", "start-finish", "split", "standing-start"};
// The order the usage offers them in.
const std::vector<std::string> KTrapTypeChoices = {"start-finish", "start", "finish", "split", "standing-start",
                                                   "disabled"};
// Metres, as wide as the traps placed from a trace.
constexpr double KDefaultTrapWidth = 50.0;

constexpr int32_t KTrapTypeOfChoice[] = {ETrapStartFinish, ETrapStart, ETrapFinish, ETrapSplit, ETrapStandingStart,
                                         ETrapDisabled};

std::string TrapTypeWord(int32_t aType) {
  return aType >= 0 && aType <= ETrapStandingStart ? KTrapTypeWords[aType] : KTrapTypeWords[0];
}

bool IsExampleTrack(const CTrackProfile& aTrack) {
  CPwString example;
  CTrackList::ExampleRoot(example);
  return !example.IsEmpty() && aTrack.Folder().Equals(example);
}

// The named track loaded with its traps; a user error when there is none.
void LoadTrack(CTrackList& aTracks, const std::string& aName, CTrackProfile& aProfile) {
  if (!aTracks.LoadByName(PwStringFromUtf8(aName), aProfile))
    throw TUserError(CliText(R_CLI_NO_TRACK, aName));
}

// Loads a track for a change of its file: not the shipped example.
void LoadEditableTrack(CTrackList& aTracks, const std::string& aName, CTrackProfile& aProfile) {
  LoadTrack(aTracks, aName, aProfile);
  if (IsExampleTrack(aProfile)) throw TUserError(CliText(R_CLI_EXAMPLE_TRACK));
}

void SaveTrack(CTrackList& aTracks, CTrackProfile& aProfile) {
  if (aProfile.SaveSafely() != KErrNone)
    ThrowWriteFailure(aProfile.Folder(), CliText(R_CLI_TRACK_NOT_SAVED, Utf8(aProfile.Name())));
  aTracks.UpdateEntry(aProfile);
}

}  // namespace

void RunTracks(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(0, 0);
  CTrackList& tracks = aContext.Model().Tracks();
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginArray();
    for (int32_t i = 0; i < tracks.Count(); ++i) {
      const CTrackProfile& track = tracks.At(i);
      json.BeginObject();
      json.Member("name", track.Name());
      json.Member("traps", track.TrapCount());
      json.Member("locked", track.IsLocked());
      json.Member("folder", track.Folder());
      json.Member("example", IsExampleTrack(track));
      json.Member("damaged", false);
      json.EndObject();
    }
    // A file that cannot be read is still there: the user must see it and where it is.
    for (int32_t i = 0; i < tracks.DamagedCount(); ++i) {
      const CTrackProfile& track = tracks.DamagedAt(i);
      json.BeginObject();
      json.Member("name", track.Name());
      json.MemberNull("traps");
      json.MemberNull("locked");
      json.Member("folder", track.Folder());
      json.Member("example", IsExampleTrack(track));
      json.Member("damaged", true);
      json.EndObject();
    }
    json.EndArray();
    aContext.PrintJson(json);
    return;
  }
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_NAME));
  table.AddColumn(CliText(R_CLI_COL_TRAPS), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_LOCKED));
  table.AddColumn(CliText(R_CLI_COL_FOLDER));
  table.AddColumn(std::string());
  for (int32_t i = 0; i < tracks.Count(); ++i) {
    const CTrackProfile& track = tracks.At(i);
    table.AddRow({Utf8(track.Name()), std::to_string(track.TrapCount()), YesNo(track.IsLocked()),
                  Utf8(track.Folder()), std::string()});
  }
  for (int32_t i = 0; i < tracks.DamagedCount(); ++i) {
    const CTrackProfile& track = tracks.DamagedAt(i);
    table.AddRow({Utf8(track.Name()), CliText(R_CLI_NO_VALUE), CliText(R_CLI_NO_VALUE), Utf8(track.Folder()),
                  CliText(R_CLI_FLAG_DAMAGED)});
  }
  aContext.Print(table.Render());
}

void RunTrackCreate(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  CHeadlessModel& model = aContext.Model();
  const CPwString name(PwStringFromUtf8(aArgs.Positionals()[0]));
  if (const uint16_t problem = model.Tracks().CheckName(name, nullptr)) throw TUserError(CliText(problem));
  if (!EnsureFolders(model.StorageRoot()))
    ThrowWriteFailure(model.StorageRoot(), CliText(R_CLI_NO_STORAGE, Utf8(model.StorageRoot())));
  if (!model.Tracks().Create(name, model.StorageRoot()))
    ThrowWriteFailure(model.StorageRoot(), CliText(R_CLI_TRACK_NOT_CREATED, aArgs.Positionals()[0]));
}

void RunTrackAddTrap(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  (void)aArgs.Required("type");
  const int32_t type = KTrapTypeOfChoice[*aArgs.Choice("type", KTrapTypeChoices)];
  const double lat = aArgs.RequiredReal("lat");
  const double lon = aArgs.RequiredReal("lon");
  const double bearing = aArgs.RequiredReal("bearing");
  const double width = aArgs.Real("width").value_or(KDefaultTrapWidth);
  if (!(lat >= -90.0 && lat <= 90.0)) aArgs.Fail(CliText(R_CLI_LATITUDE_RANGE, aArgs.ValueOr("lat", "")));
  if (!(lon >= -180.0 && lon <= 180.0)) aArgs.Fail(CliText(R_CLI_LONGITUDE_RANGE, aArgs.ValueOr("lon", "")));
  if (!(width > 0.0 && width <= 10000.0)) aArgs.Fail(CliText(R_CLI_WIDTH_RANGE, aArgs.ValueOr("width", "")));

  CTrackList& tracks = aContext.Model().Tracks();
  CTrackProfile profile;
  LoadEditableTrack(tracks, aArgs.Positionals()[0], profile);
  if (profile.IsLocked()) throw TUserError(CliText(R_CLI_TRACK_LOCKED, Utf8(profile.Name())));

  CPwString trapName;
  if (const std::optional<std::string> given = aArgs.Value("trap-name"))
    trapName.Copy(PwStringFromUtf8(*given));
  else
    CTrapLine::TypeName(type, trapName);
  CTrapLine trap;
  trap.Set(type, trapName, TCoordinate::FromDegrees(lat), TCoordinate::FromDegrees(lon),
           TAngle::FromDegrees(std::fmod(std::fmod(bearing, 360.0) + 360.0, 360.0)), TDistance::FromMetres(width),
           aArgs.Has("bidirectional") ? 0 : 1);
  if (!profile.AddTrap(trap)) throw TUserError(CliText(R_CLI_TRAP_NOT_ADDED, Utf8(profile.Name())));
  SaveTrack(tracks, profile);
}

void RunTrackShow(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  CTrackProfile profile;
  LoadTrack(aContext.Model().Tracks(), aArgs.Positionals()[0], profile);
  const CTrapLineList* traps = profile.Traps();
  const int32_t count = traps ? traps->Count() : 0;
  if (aArgs.Has("json")) {
    CJsonWriter json;
    json.BeginObject();
    json.Member("name", profile.Name());
    json.Member("folder", profile.Folder());
    json.Member("locked", profile.IsLocked());
    json.Key("traps");
    json.BeginArray();
    for (int32_t i = 0; i < count; ++i) {
      const CTrapLine& trap = *traps->At(i);
      json.BeginObject();
      json.Member("name", trap.Name());
      json.Member("type", TrapTypeWord(trap.Type()));
      json.Member("lat", trap.Centre().iLatitude.IsValid() ? trap.Centre().iLatitude.ToDegrees() : NAN);
      json.Member("lon", trap.Centre().iLongitude.IsValid() ? trap.Centre().iLongitude.ToDegrees() : NAN);
      json.Member("bearing_deg", trap.Bearing().IsValid() ? trap.Bearing().CompassDegrees() : NAN);
      json.Member("width_m", trap.Width().Metres());
      json.Member("bidirectional", trap.Unidirectional() == 0);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    aContext.PrintJson(json);
    return;
  }
  CTextTable table;
  table.AddColumn(CliText(R_CLI_COL_NAME));
  table.AddColumn(CliText(R_CLI_COL_TYPE));
  table.AddColumn(CliText(R_CLI_COL_LATITUDE), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_LONGITUDE), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_BEARING), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_WIDTH), CTextTable::ERight);
  table.AddColumn(CliText(R_CLI_COL_DIRECTION));
  for (int32_t i = 0; i < count; ++i) {
    const CTrapLine& trap = *traps->At(i);
    CPwString typeName;
    CTrapLine::TypeName(trap.Type(), typeName);
    const TGeoPoint centre = trap.Centre();
    table.AddRow({Utf8(trap.Name()), Utf8(typeName),
                  RealText(centre.iLatitude.IsValid() ? centre.iLatitude.ToDegrees() : NAN, 6),
                  RealText(centre.iLongitude.IsValid() ? centre.iLongitude.ToDegrees() : NAN, 6),
                  RealText(trap.Bearing().IsValid() ? trap.Bearing().CompassDegrees() : NAN, 1),
                  RealText(trap.Width().Metres(), 1),
                  CliText(trap.Unidirectional() ? R_CLI_ONE_WAY : R_CLI_BOTH_WAYS)});
  }
  aContext.Print(CliText(R_CLI_COL_NAME) + ": " + Utf8(profile.Name()) + "\n" + CliText(R_CLI_COL_LOCKED) + ": " +
                 YesNo(profile.IsLocked()) + "\n" + CliText(R_CLI_COL_FOLDER) + ": " + Utf8(profile.Folder()) +
                 "\n\n" + table.Render());
}

namespace {

void SetLock(TCliContext& aContext, const TArgs& aArgs, int32_t aLocked) {
  aArgs.ExpectPositionals(1, 1);
  CTrackList& tracks = aContext.Model().Tracks();
  CTrackProfile profile;
  LoadEditableTrack(tracks, aArgs.Positionals()[0], profile);
  profile.SetLock(aLocked);
  SaveTrack(tracks, profile);
}

}  // namespace

void RunTrackLock(TCliContext& aContext, const TArgs& aArgs) { SetLock(aContext, aArgs, 1); }

void RunTrackUnlock(TCliContext& aContext, const TArgs& aArgs) { SetLock(aContext, aArgs, 0); }

void RunTrackDelete(TCliContext& aContext, const TArgs& aArgs) {
  aArgs.ExpectPositionals(1, 1);
  CTrackList& tracks = aContext.Model().Tracks();
  const CPwString name(PwStringFromUtf8(aArgs.Positionals()[0]));
  const int32_t index = tracks.Find(name);
  if (index < 0) throw TUserError(CliText(R_CLI_NO_TRACK, aArgs.Positionals()[0]));
  if (IsExampleTrack(tracks.At(index))) throw TUserError(CliText(R_CLI_EXAMPLE_TRACK));
  tracks.SetCurrentIndex(index);
  if (!tracks.DeleteCurrent()) throw TUserError(CliText(R_CLI_NO_TRACK, aArgs.Positionals()[0]));
}
