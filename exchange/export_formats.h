// What an export asks for (format, scope, separators and the session's parts) and the export
// formats as writers that append a file's header, its rows and its trailer to a byte buffer.
// The exporter decides which samples go out and when the buffer reaches the file; a writer
// only knows how its format spells them.
#pragma once

#include <cstdint>

#include "acquisition/position_plot.h"
#include "foundation/pw_base.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"
#include "foundation/version.h"

class CLap;
class CLapList;
class CPlotList;
class CSessionInfo;
class CSettings;
class CTrackProfile;
class CTrapLine;
class PwTimeConverter;

// The version written into every file.
constexpr char KExportVersion[] = PW_VERSION;

enum TExportFormat : int32_t {
  EExportKml = 0,
  EExportCsv = 1,
  EExportVbo = 3,
  EExportDat = 4,
  EExportGpx = 5,
  // Beyond the five classic formats: a CSV with the columns video-overlay tools import, and
  // VBO with the track's lines in a "[laptiming]" section.
  EExportOverlayCsv = 10,
  EExportVboLapGates = 11,
};

enum TExportScope : int32_t {
  EExportBestLap = 0,
  EExportSelectedLap = 1,
  EExportAllLaps = 2,
  EExportRoute = 3,
};

// Field and decimal separators of a CSV export.
enum TCsvSeparators : int32_t {
  ECsvStandard = 0,         // ',' and '.'
  ECsvSemicolonComma = 1,   // ';' and ','
  ECsvSemicolonDot = 2,     // ';' and '.'
};

// What to export. Nothing is owned: the session's objects must outlive the exporter.
struct TExportRequest {
  // iSelectedLap value that takes the lap list's viewed lap.
  static constexpr int32_t KViewedLap = INT32_MIN;

  int32_t iFormat = EExportKml;
  int32_t iScope = EExportRoute;
  int32_t iCsvSeparators = ECsvStandard;
  // The lap of the "selected lap only" scope: a lap index, -2 for the optimal lap.
  int32_t iSelectedLap = KViewedLap;

  const CSessionInfo* iInfo = nullptr;     // required
  const CPlotList* iPlots = nullptr;       // required
  // May be null (no laps). Not const: the optimal lap and its trace are built on demand.
  CLapList* iLaps = nullptr;
  // The session's track, or null; a track with a trap list counts as "the session has a track".
  const CTrackProfile* iTrack = nullptr;
  // Time decimals and units of the KML lap tables; null gives 1 decimal and metric units.
  const CSettings* iSettings = nullptr;
  // Shows the creation time in local time; null writes the stored (UTC) time.
  const PwTimeConverter* iConverter = nullptr;
  // Storage root that receives "Pacewright/Exports/"; empty takes the session's root. The
  // text is copied when the exporter is created.
  CPwStringC iStorageRoot;
};

// What every writer reads besides the samples it is handed. Owned by the exporter.
struct TExportContext {
  const TExportRequest* iRequest = nullptr;
  uint8_t iFieldSeparator = ',';
  uint8_t iDecimalSeparator = '.';
  CPwByteArrayC iScopeText;            // "Best lap (Lap #3)", "Traveled route" ...
  CPwByteArrayC iDateText;             // creation date DD/MM/YYYY
  CPwByteArrayC iTimeText;             // creation time HH:MM
  int32_t iDateCode = 0;               // creation date as a date code
  const CPwVector<int32_t>* iLaps = nullptr;  // laps selected for the scope
};

class CExportWriter : public CPwBase {
 public:
  // Which samples of a lap the format takes.
  enum TLapSamples : int32_t {
    ELapRange,     // the stored samples from the lap's first to its last index
    ELapCrossings, // the start crossing, the samples between the crossings, the end crossing
    ELapMargins,   // the stored samples with 20 more on each side
  };

  // A writer for a format (0, 1, 3, 4, 5); null for any other value. Leaves KErrNoMemory.
  static CExportWriter* NewL(int32_t aFormat, const TExportContext& aContext);
  ~CExportWriter() override = default;

  virtual TLapSamples LapSamples() const = 0;
  // True when the split crossings of a lap are rows of their own (CSV).
  virtual bool WritesSplitRows() const { return false; }

  virtual void Header(CPwByteArray& aOut) = 0;
  virtual void RouteBegin(CPwByteArray& aOut) { (void)aOut; }
  virtual void RouteEnd(CPwByteArray& aOut) { (void)aOut; }
  // aIndex is the lap index (-2 for the optimal lap); aLap the lap whose times are written.
  virtual void LapBegin(CPwByteArray& aOut, int32_t aIndex, const CLap& aLap) {
    (void)aOut, (void)aIndex, (void)aLap;
  }
  virtual void LapEnd(CPwByteArray& aOut) { (void)aOut; }
  // One sample. aLapNumber is 0 for the route; aTrap names the trap of a crossing row (null
  // for stored samples).
  virtual void Row(CPwByteArray& aOut, const TPositionPlot& aPlot, int32_t aLapNumber,
                   const CTrapLine* aTrap) = 0;
  virtual void Trailer(CPwByteArray& aOut) = 0;

 protected:
  explicit CExportWriter(const TExportContext& aContext) : iContext(aContext) {}
  const TExportContext& iContext;
};

// Text helpers shared by the writers (exposed for tests).
namespace pwexport {
// UTF-8 of a single-line field: line breaks become spaces, so a note cannot start a line of
// its own in a line-based file.
void AppendLine(CPwByteArray& aOut, CPwStringC aText);
// The same with every '"' doubled.
void AppendLineQuoted(CPwByteArray& aOut, CPwStringC aText);
// UTF-8 for the inside of a CDATA section: a "]]>" in the text is split over two sections
// and control characters that XML forbids are dropped, so the file stays well-formed.
void AppendCdata(CPwByteArray& aOut, CPwStringC aText);
}  // namespace pwexport
