// What a gpsd daemon sends a client that watches with "nmea":true: its own reports as JSON
// objects, one a line (VERSION on connection, then DEVICES, WATCH, ERROR ...), between the NMEA
// sentences it relays from the receiver. The filter keeps the NMEA bytes exactly as relayed and
// drops the JSON lines, across any split of the stream into reads.
#pragma once

#include <cstdint>

// The request that makes the daemon relay raw NMEA.
inline constexpr char KGpsdWatchRequest[] = "?WATCH={\"enable\":true,\"nmea\":true}\n";
inline constexpr int32_t KGpsdDefaultPort = 2947;

class TGpsdNmeaFilter {
 public:
  // Copies the bytes of aIn that belong to NMEA lines to aOut (room for aLength bytes) and
  // returns how many were copied.
  int32_t Filter(const uint8_t* aIn, int32_t aLength, uint8_t* aOut);
  // A new connection starts at the beginning of a line.
  void Reset() {
    iAtLineStart = true;
    iInReport = false;
  }

 private:
  bool iAtLineStart = true;
  bool iInReport = false;  // inside a JSON line, dropped up to its line feed
};
