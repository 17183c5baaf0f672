// Reader of Perf.Box logs (.dbn): a text header whose "[HEADER]" section lists the record
// fields as NAME(size) lines, then "[DATA]" and fixed-size binary records, each '$', the fields
// (big-endian) and CR LF. Records are handed to the observer like live NMEA epochs.
#pragma once

#include <cstdint>

#include "acquisition/data_parser.h"
#include "exchange/vbox_parser.h"
#include "foundation/line_assembler.h"

class CPBoxParser : public CDataParser {
 public:
  // Bytes kept between calls; header lines and records are far shorter.
  static constexpr int32_t KBufferSize = 2048;

  static CPBoxParser* NewL();
  ~CPBoxParser() override;

  int32_t Parse(CPwByteArrayC aBytes, MParsedDataObserver* aObserver, CSlowBearing* aSlowBearing,
                CObdChannelList* aObdChannels, CChannelState* aChannelState, TGpsClock* aClock) override;
  void Reset() override;

 private:
  enum TSection : int32_t { EOutside = 0, EHeader = 1, EData = 2 };
  // Fields the parser reads, with their required sizes in bytes.
  enum TField : int32_t { ESats, ETime, ELatitude, ELongitude, EVelocity, EHeight, EHeading, EFieldCount };

  CPBoxParser() = default;
  template <class T, class... A>
  friend T* PwNewL(A&&...);
  void ConstructL();

  // Takes records out of the buffer while complete ones are there.
  void Drain(MParsedDataObserver* aObserver);
  void HandleLine(CPwByteArrayC aLine);
  void HandleOutside(CPwByteArrayC aLine);
  void HandleHeader(CPwByteArrayC aLine);
  // aRecord holds record size + 2 bytes. Returns false when it is not framed as a record.
  bool HandleRecord(const uint8_t* aRecord, MParsedDataObserver* aObserver);
  void ResetFields();

  // Header text; an overlong header line is dropped up to its end.
  CLineAssembler iHeaderLines{KBufferSize, 0, CLineAssembler::ECrLf, CLineAssembler::ESkipToLineEnd};
  // Records.
  uint8_t* iBuffer = nullptr;  // KBufferSize bytes
  int32_t iStart = 0;          // first unread byte
  int32_t iLength = 0;         // end of the buffered bytes

  TSection iSection = EOutside;
  int32_t iRecordSize = 1;     // the leading '$' included, the CR LF not
  int32_t iOffsets[EFieldCount] = {};

  // Time continuity, in 64 bits so that no file can overflow it.
  bool iHavePreviousTime = false;
  int64_t iPreviousTime = 0;
  bool iHaveTimeOffset = false;
  int64_t iTimeOffset = 0;

  TLogAnchor iAnchor;
  bool iDiscontinuity = true;
  bool iAccepted = false;
  bool iProcessed = false;
};
