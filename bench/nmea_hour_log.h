// An hour of a 10 Hz receiver's NMEA output as one text (GGA, GSA and RMC with VTG every tenth
// of a second, the three GSV once a second), made once, and the checksummed framing of one
// sentence: the input of the parser and import benchmarks.
#pragma once

#include <cstdio>
#include <string>

namespace pwbench {

// "$" aBody "*" checksum CR LF.
inline std::string NmeaSentence(const char* aBody) {
  unsigned sum = 0;
  for (const char* p = aBody; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  char out[256];
  std::snprintf(out, sizeof out, "$%s*%02X\r\n", aBody, sum);
  return out;
}

inline const std::string& NmeaHourLog() {
  static const std::string log = [] {
    std::string s;
    s.reserve(20 << 20);
    char body[200];
    for (int i = 0; i < 36000; ++i) {
      const int t = 10 * 3600 * 10 + i;  // tenths of a second from 10:00:00
      const int h = t / 36000, m = (t / 600) % 60, sec = (t / 10) % 60, f = t % 10;
      const double lat = 4807.0 + (i % 6000) * 0.0001;
      const double lon = 1131.0 + (i % 4000) * 0.00015;
      std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%d00,%09.4f,N,%010.4f,E,1,09,0.9,%.1f,M,46.9,M,,", h, m, sec, f,
                    lat, lon, 500.0 + (i % 100) * 0.1);
      s += NmeaSentence(body);
      s += NmeaSentence("GPGSA,A,3,04,05,09,12,14,17,22,24,31,,,,1.8,0.9,1.5");
      if (f == 0) {
        s += NmeaSentence("GPGSV,3,1,11,04,40,083,46,05,17,308,41,09,07,344,39,12,22,228,45");
        s += NmeaSentence("GPGSV,3,2,11,14,40,083,46,17,17,308,41,22,07,344,39,24,22,228,45");
        s += NmeaSentence("GPGSV,3,3,11,31,40,083,46,32,17,308,41,33,07,344,");
      }
      std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.%d00,A,%09.4f,N,%010.4f,E,%.2f,%.2f,230324,,,A", h, m, sec, f,
                    lat, lon, 40.0 + (i % 50) * 0.1, (i % 3600) * 0.1);
      s += NmeaSentence(body);
      std::snprintf(body, sizeof body, "GPVTG,%.2f,T,,M,%.2f,N,%.2f,K,A", (i % 3600) * 0.1, 40.0 + (i % 50) * 0.1,
                    (40.0 + (i % 50) * 0.1) * 1.852);
      s += NmeaSentence(body);
    }
    return s;
  }();
  return log;
}

}  // namespace pwbench
