// The examples shipped in the installation folder's "examples/" root, built through the
// program's own classes from the demo drive: the track "Example track" (a start/finish line
// and two split lines across the demo circuit), the session "20070101-0000-example" recorded
// on it (the demo drive fed through the NMEA parser into a recording track session, so its
// laps, OBD-II and logger samples are what the program itself would have stored), and the
// demo drive as an NMEA file to replay as the "Input file" GPS.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/pw_string.h"
#include "timing/session_resources.h"
#include "tools/demo_drive.h"

class CSlowBearing;
class CTrackProfile;

namespace pwtools {

// Name of the demo drive file in the examples folder.
inline constexpr const char* KDemoDriveFileName = "demo-drive.nmea";
// Traps across the demo circuit: 50 m wide, counted in the direction of travel.
inline constexpr double KExampleTrapWidth = 50.0;

// What a recording track session needs around it, with no devices, no window and no sound
// (the examples are recorded as if from an input file): the resources of the one storage
// root aRoot, whose track list sees no other root.
class ExampleModel : public CSessionResourcesModel {
 public:
  explicit ExampleModel(CPwStringC aRoot);

  CSlowBearing& Bearing() { return *iBearing; }
};

// The example track's traps, unlocked; the caller names, places and locks the profile.
void AddExampleTraps(CTrackProfile& aProfile);

struct ExampleSummary {
  int32_t iLaps = 0;          // laps of the session, the unfinished in lap included
  int32_t iFinishedLaps = 0;
  int32_t iPositions = 0;     // position samples stored
  int32_t iObdSamples = 0;
  int32_t iLoggerSamples = 0;
  DemoDriveResult iDrive;
};

// Writes the example track, the example session and the demo drive below aFolder (the
// examples root: "Pacewright/Tracks/", "Pacewright/Sessions/" and the drive file), replacing
// what is there. The files are made in a scratch folder beside them first and then moved in
// one by one, so a reader never sees half a file. Leaves with a KErr code on failure.
ExampleSummary MakeExamplesL(const std::string& aFolder, const DemoDriveOptions& aDrive = DemoDriveOptions());

}  // namespace pwtools
