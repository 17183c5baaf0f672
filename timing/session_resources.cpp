#include "timing/session_resources.h"

#include "acquisition/channel_state.h"
#include "acquisition/obd_channels.h"
#include "foundation/drives.h"
#include "storage/settings.h"
#include "timing/performance_test.h"
#include "timing/track_list.h"

namespace {
// A mount table that is never there: the drive list holds the documents folder only.
constexpr const char* KNoMountTable = "/nonexistent-mount-table";
}  // namespace

CSessionResourcesModel::CSessionResourcesModel() = default;

CSessionResourcesModel::CSessionResourcesModel(CPwStringC aRoot) { CreateResourcesL(aRoot); }

CSessionResourcesModel::~CSessionResourcesModel() = default;

void CSessionResourcesModel::CreateResourcesL(CPwStringC aRoot) {
  iTracks.reset();
  iDrives.reset(CPwDrives::NewL(KNoMountTable));
  iSettings.reset(new CSettings(aRoot));
  iSettings->SetCurrentStorageRoot(aRoot);
  iTests.reset(CPerformanceTestList::NewL());
  iTests->AddDefaultTestsL();
  iObd.reset(CObdChannelList::NewL());
  iBearing.reset(CSlowBearing::NewL());
  iTracks.reset(new CTrackList(*iSettings, *iDrives));
}
