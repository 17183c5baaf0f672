// Makes a session from log files of other devices: reads the chosen files one after another
// in large blocks, one block per worker step, feeds them to the parser of the chosen format and
// stores whatever the parser reports straight in the new session's samples file, exactly as
// live recording would have stored it. Samples are written file-only, so a long log never
// fills memory; the track session reloads them from the file when the import ends.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/data_parser.h"
#include "foundation/pw_byte_array.h"
#include "foundation/pw_file.h"
#include "foundation/pw_string_list.h"
#include "foundation/worker.h"

class CObdChannelList;
class CPlotList;
class CTrackSession;

class CSessionImporter : public CWorker, public MParsedDataObserver {
 public:
  // Import formats, as the session editor offers them.
  enum TFormat : int32_t { EFormatNmea = 0, EFormatPBox = 1, EFormatVBox = 2, EFormatDL1 = 3, EFormatGpx = 4 };
  enum TState : int32_t { ENotStarted = 0, EReading = 1, EBetweenFiles = 2, EDone = 3 };

  static constexpr int32_t KBlockBytes = 204800;
  // Leave code of a file that cannot be opened or read.
  static constexpr int32_t KErrOpen = 1;
  // Leave code of a file the parser refuses to read (Parser()->Refusal tells why).
  static constexpr int32_t KErrRefused = KErrCorrupt;

  // Fills aSession's samples (neither the session nor the OBD channel list is owned; the OBD
  // list may be null). aFiles is copied and read in its order. An unknown format leaves
  // KErrCorrupt.
  static CSessionImporter* NewL(CTrackSession& aSession, CObdChannelList* aObdChannels,
                                const CPwStringList& aFiles, int32_t aFormat);
  // The same on a bare sample store (a session's CPlotList whose file has been created).
  static CSessionImporter* NewL(CPlotList& aPlots, CObdChannelList* aObdChannels,
                                const CPwStringList& aFiles, int32_t aFormat);
  ~CSessionImporter() override;

  // Creates the importer for aSession and hands it over (StartImport): the session owns it
  // until EndImport, which the owner calls once the worker engine reports the end.
  static CSessionImporter* StartL(CTrackSession& aSession, CObdChannelList* aObdChannels,
                                  const CPwStringList& aFiles, int32_t aFormat);

  // The parser of an import format; KErrCorrupt for an unknown one.
  static CDataParser* NewParserL(int32_t aFormat);

  // --- CWorker.
  // Opens the next file, reads one block, or closes up; 0 when done. Leaves KErrOpen when a
  // file cannot be opened or reading it fails before its end.
  int32_t Step() override;
  // Closes the input file and the session's samples file (so that what was imported so far
  // is on the medium); the importer is then done.
  void Cancel() override;
  // Bytes, on the scale of the current file: every file counts as large as the current one.
  int32_t ProgressTotal() override;
  int32_t ProgressValue() override;

  // --- MParsedDataObserver: everything goes file-only to the sample store.
  int32_t PositionParsed(TCoordinate aLatitude, TCoordinate aLongitude, PwTime aTime,
                         TDistance aAltitude, TSpeed aSpeed, double aBearingDegrees, double aHdop,
                         double aVdop, int32_t aSatellites, int32_t aDifferential,
                         int32_t aDiscontinuity, PwTime aDate, PwTime aDateTime) override;
  void ObdValueParsed(PwTime aTime, int32_t aPid, uint32_t aRawValue) override;
  void ObdSentenceDone() override {}
  void ChannelsParsed(PwTime aTime, const TChannelValueList& aValues) override;
  // Imported NMEA text is not copied to the session's NMEA file.
  void LineReceived(CPwByteArrayC aLine, int32_t aFlag) override {
    (void)aLine;
    (void)aFlag;
  }

  // --- State, for the owner and tests.
  int32_t State() const { return iState; }
  int32_t Format() const { return iFormat; }
  int32_t FileCount() const { return iFiles.Count(); }
  int32_t NextFileIndex() const { return iNextFile; }
  int64_t FileSize() const { return iFileSize; }
  int64_t ReadPosition() const { return iReadPosition; }
  CTrackSession* Session() const { return iSession; }
  // What the sample store accepted so far.
  int32_t StoredPositions() const { return iStoredPositions; }
  int32_t StoredObdValues() const { return iStoredObdValues; }
  int32_t StoredLoggerRecords() const { return iStoredLoggerRecords; }
  // Samples the parser refused for impossible values, over all files so far.
  int32_t DroppedSamples() const { return iParser ? iParser->DroppedCount() : 0; }
  const CDataParser* Parser() const { return iParser.get(); }

 private:
  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);
  CSessionImporter() = default;
  void ConstructL(CTrackSession* aSession, CPlotList& aPlots, CObdChannelList* aObdChannels,
                  const CPwStringList& aFiles, int32_t aFormat);
  void OpenNextFile();
  void ReadBlock();
  // Both progress figures on one scale that fits 32 bits.
  void Progress(int64_t& aValue, int64_t& aTotal) const;

  CTrackSession* iSession = nullptr;
  CPlotList* iPlots = nullptr;
  CObdChannelList* iObdChannels = nullptr;
  int32_t iFormat = EFormatNmea;
  CPwStringList iFiles;
  int32_t iNextFile = 0;
  int64_t iFileSize = 0;
  int64_t iReadPosition = 0;
  int32_t iState = ENotStarted;
  CPwFile iInput;
  CPwByteArray iBuffer;
  std::unique_ptr<CDataParser> iParser;
  int32_t iStoredPositions = 0;
  int32_t iStoredObdValues = 0;
  int32_t iStoredLoggerRecords = 0;
};
