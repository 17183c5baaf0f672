#include "acquisition/gpsd_stream.h"

int32_t TGpsdNmeaFilter::Filter(const uint8_t* aIn, int32_t aLength, uint8_t* aOut) {
  int32_t kept = 0;
  for (int32_t i = 0; i < aLength; ++i) {
    const uint8_t byte = aIn[i];
    if (iAtLineStart && byte == '{') iInReport = true;
    if (!iInReport) aOut[kept++] = byte;
    iAtLineStart = byte == '\n';
    if (byte == '\n') iInReport = false;
  }
  return kept;
}
