#include "cli/gnss_summary.h"

#include <cmath>

#include "cli/cli_format.h"
#include "cli/cli_text.h"
#include "cli/json_writer.h"
#include "strings/pw_strings.h"

namespace {

bool Known(int32_t aValue) { return aValue != TGnssHealth::KUnknown; }

double Hundredths(int32_t aValue) { return Known(aValue) ? aValue / 100.0 : NAN; }

std::string Figure(int32_t aValue) { return Known(aValue) ? std::to_string(aValue) : CliText(R_CLI_NO_VALUE); }

}  // namespace

void WriteGnssJson(CJsonWriter& aJson, const TGnssHealth& aHealth) {
  if (!aHealth.IsKnown()) {
    aJson.MemberNull("gnss");
    return;
  }
  auto count = [](int32_t aValue) { return Known(aValue) ? std::optional<int64_t>(aValue) : std::nullopt; };
  aJson.Key("gnss");
  aJson.BeginObject();
  aJson.Member("samples", aHealth.iSamples);
  aJson.Member("glitches", aHealth.iGlitches);
  aJson.Member("rate_hz", Known(aHealth.iIntervalMs) ? aHealth.RateHz() : NAN);
  aJson.Member("interval_ms", count(aHealth.iIntervalMs));
  aJson.Member("jitter_ms", Known(aHealth.iJitterUs) ? aHealth.iJitterUs / 1000.0 : NAN);
  aJson.Member("fix_3d_share", Known(aHealth.i3dPermille) ? aHealth.i3dPermille / 1000.0 : NAN);
  aJson.Member("hdop_median", Hundredths(aHealth.iHdopMedian));
  aJson.Member("hdop_max", Hundredths(aHealth.iHdopMax));
  aJson.Member("satellites_min", count(aHealth.iSatellitesMin));
  aJson.Member("satellites_median", count(aHealth.iSatellitesMedian));
  aJson.EndObject();
}

std::string GnssText(const TGnssHealth& aHealth) {
  if (!aHealth.IsKnown()) return std::string();
  const std::string none = CliText(R_CLI_NO_VALUE);
  const std::string rate = Known(aHealth.iIntervalMs) ? RealText(aHealth.RateHz(), 1) : none;
  const std::string jitter = Known(aHealth.iJitterUs) ? RealText(aHealth.iJitterUs / 1000.0, 1) : none;
  const std::string share = Known(aHealth.i3dPermille) ? RealText(aHealth.i3dPermille / 10.0, 1) + " %" : none;
  const std::string hdop = Known(aHealth.iHdopMedian) ? RealText(Hundredths(aHealth.iHdopMedian), 2) : none;
  const std::string hdopMax = Known(aHealth.iHdopMax) ? RealText(Hundredths(aHealth.iHdopMax), 2) : none;
  const std::string satellites =
      Known(aHealth.iSatellitesMedian)
          ? CliText(R_CLI_GNSS_SATELLITES, Figure(aHealth.iSatellitesMedian), Figure(aHealth.iSatellitesMin))
          : none;
  std::string text = CliText(R_CLI_GNSS, rate, jitter, share) + "\n" +
                     CliText(R_CLI_GNSS_PRECISION, hdop, hdopMax, satellites) + "\n";
  if (aHealth.iGlitches > 0) text += CliTextN(R_CLI_GNSS_GLITCHES, aHealth.iGlitches) + "\n";
  return text;
}
