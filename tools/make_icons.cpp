#include "tools/make_icons.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "app/draw/pw_bitmap.h"
#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "tools/demo_drive.h"

namespace pwtools {

namespace {

constexpr double KPi = 3.14159265358979323846;
constexpr int32_t KScale = 4;  // drawn this much larger, then averaged down
constexpr int32_t KCanvas = KIconSize * KScale;

// The palette: light glyphs that read on the dark toolbar and the lists alike.
constexpr TPwColour KWhite = 0xF2F2F2, KGrey = 0x9AA0A6, KDark = 0x3A4048, KRed = 0xE5383B,
                    KGreen = 0x2EA043, KBlue = 0x2F81F7, KOrange = 0xF0883E, KYellow = 0xF2CC0C,
                    KCyan = 0x39C5CF, KBlack = 0x1A1A1A;

struct Pt {
  double iX, iY;
};

// Draws in a 64-unit square onto the large canvas.
class Painter {
 public:
  explicit Painter(CPwBitmap& aBitmap) : iB(aBitmap) {}

  static int32_t P(double aUnits) { return static_cast<int32_t>(std::lround(aUnits * KScale)); }

  void Line(Pt a, Pt b, double aWidth, TPwColour aColour) {
    iB.SetPen(aColour, P(aWidth), EPenSolid);
    iB.DrawLine(P(a.iX), P(a.iY), P(b.iX), P(b.iY));
    // Round caps, so thick strokes end softly and joints close.
    Disc(a, aWidth / 2, aColour);
    Disc(b, aWidth / 2, aColour);
  }
  void Polyline(const std::vector<Pt>& aPoints, double aWidth, TPwColour aColour, bool aClosed = false) {
    for (size_t i = 1; i < aPoints.size(); ++i) Line(aPoints[i - 1], aPoints[i], aWidth, aColour);
    if (aClosed && aPoints.size() > 2) Line(aPoints.back(), aPoints.front(), aWidth, aColour);
  }
  void Polygon(const std::vector<Pt>& aPoints, TPwColour aFill) {
    std::vector<TPwPoint> points;
    for (const Pt& p : aPoints) points.push_back(TPwPoint{P(p.iX), P(p.iY)});
    iB.SetPen(KPwNoColour, 1, EPenNone);
    iB.SetFillColour(aFill);
    iB.DrawPolygon(points.data(), static_cast<int32_t>(points.size()));
  }
  void Disc(Pt c, double r, TPwColour aFill) {
    iB.SetPen(KPwNoColour, 1, EPenNone);
    iB.SetFillColour(aFill);
    iB.DrawEllipse(TPwRect{P(c.iX - r), P(c.iY - r), P(c.iX + r), P(c.iY + r)});
  }
  void Ring(Pt c, double r, double aWidth, TPwColour aColour) { Arc(c, r, 0, 360, aWidth, aColour); }
  // Degrees clockwise from north.
  void Arc(Pt c, double r, double aFrom, double aTo, double aWidth, TPwColour aColour) {
    std::vector<Pt> points;
    const int steps = std::max(8, static_cast<int>(std::fabs(aTo - aFrom) / 4));
    for (int i = 0; i <= steps; ++i) points.push_back(Along(c, r, aFrom + (aTo - aFrom) * i / steps));
    Polyline(points, aWidth, aColour);
  }
  void Box(double x0, double y0, double x1, double y1, TPwColour aFill) {
    iB.FillRect(TPwRect{P(x0), P(y0), P(x1), P(y1)}, aFill);
  }
  void Frame(double x0, double y0, double x1, double y1, double aWidth, TPwColour aColour) {
    Polyline({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, aWidth, aColour, true);
  }
  // Makes a disc of the canvas transparent again (holes in a filled shape).
  void Punch(Pt c, double r) {
    const double cx = c.iX * KScale, cy = c.iY * KScale, rr = r * KScale;
    for (int32_t y = std::max(0, P(c.iY - r) - 1); y < std::min(KCanvas, P(c.iY + r) + 1); ++y)
      for (int32_t x = std::max(0, P(c.iX - r) - 1); x < std::min(KCanvas, P(c.iX + r) + 1); ++x)
        if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= rr * rr)
          iB.Pixels()[static_cast<size_t>(y) * KCanvas + x] = 0;
  }
  static Pt Along(Pt c, double r, double aDegrees) {
    const double a = aDegrees * KPi / 180.0;
    return Pt{c.iX + r * std::sin(a), c.iY - r * std::cos(a)};
  }
  void Arrowhead(Pt aTip, double aDegrees, double aSize, TPwColour aColour) {
    Polygon({aTip, Along(aTip, aSize, aDegrees + 180 - 32), Along(aTip, aSize, aDegrees + 180 + 32)}, aColour);
  }
  void Plus(Pt c, double r, double aWidth, TPwColour aColour) {
    Line({c.iX - r, c.iY}, {c.iX + r, c.iY}, aWidth, aColour);
    Line({c.iX, c.iY - r}, {c.iX, c.iY + r}, aWidth, aColour);
  }

 private:
  CPwBitmap& iB;
};

// --- The pictograms --------------------------------------------------------------------------

void Document(Painter& p, double x0, double y0, double x1, double y1, TPwColour aFill) {
  const double fold = (x1 - x0) * 0.3;
  p.Polygon({{x0, y0}, {x1 - fold, y0}, {x1, y0 + fold}, {x1, y1}, {x0, y1}}, aFill);
  p.Polyline({{x0, y0}, {x1 - fold, y0}, {x1, y0 + fold}, {x1, y1}, {x0, y1}}, 3, KWhite, true);
  p.Polyline({{x1 - fold, y0}, {x1 - fold, y0 + fold}, {x1, y0 + fold}}, 2.5, KWhite);
}

void NewSession(Painter& p) {
  Document(p, 12, 6, 42, 52, KDark);
  for (double y : {24.0, 32.0, 40.0}) p.Line({18, y}, {34, y}, 2.5, KGrey);
  p.Disc({44, 44}, 14, KGreen);
  p.Plus({44, 44}, 7, 4, KWhite);
}

void Sessions(Painter& p) {
  Document(p, 22, 4, 52, 44, KDark);
  Document(p, 12, 18, 42, 58, KDark);
  for (double y : {34.0, 42.0, 50.0}) p.Line({18, y}, {34, y}, 2.5, KGrey);
}

// The demo circuit itself, fitted into a square of aSize units aLeft units from the left and
// centred from top to bottom.
void Circuit(Painter& p, double aSize, double aLeft, double aWidth) {
  const DemoCircuit circuit;
  std::vector<Pt> line;
  double minE = 1e9, maxE = -1e9, minN = 1e9, maxN = -1e9;
  for (double s = 0; s < circuit.Length(); s += circuit.Length() / 120) {
    const CircuitPoint c = circuit.At(s);
    minE = std::min(minE, c.iEast), maxE = std::max(maxE, c.iEast);
    minN = std::min(minN, c.iNorth), maxN = std::max(maxN, c.iNorth);
  }
  const double scale = aSize / std::max(maxE - minE, maxN - minN);
  const double offX = aLeft;
  const double offY = 32 + (maxN - minN) * scale / 2;
  for (double s = 0; s < circuit.Length(); s += circuit.Length() / 120) {
    const CircuitPoint c = circuit.At(s);
    line.push_back(Pt{offX + (c.iEast - minE) * scale, offY - (c.iNorth - minN) * scale});
  }
  p.Polyline(line, aWidth, KWhite, true);
  const CircuitPoint start = circuit.At(0);
  const Pt s{offX + (start.iEast - minE) * scale, offY - (start.iNorth - minN) * scale};
  const double half = aWidth * 1.4;
  p.Line({s.iX, s.iY - half}, {s.iX, s.iY + half}, aWidth * 0.7, KRed);
}

void Tracks(Painter& p) { Circuit(p, 52, 6, 5); }

// The program's own icon, for desktops: the circuit on a disc, so that it reads on light and
// dark backgrounds alike.
void Program(Painter& p) {
  p.Disc({32, 32}, 29, KBlue);
  p.Ring({32, 32}, 28, 2, KWhite);
  Circuit(p, 34, 15, 4);
}

void Tests(Painter& p) {
  p.Box(28, 5, 36, 11, KWhite);
  p.Line({32, 11}, {32, 15}, 3, KWhite);
  p.Line({46, 14}, {50, 18}, 3.5, KWhite);
  p.Disc({32, 37}, 22, KDark);
  p.Ring({32, 37}, 22, 4, KWhite);
  for (int i = 0; i < 12; ++i)
    p.Line(Painter::Along({32, 37}, 17, i * 30), Painter::Along({32, 37}, 14.5, i * 30), 2, KGrey);
  p.Line({32, 37}, Painter::Along({32, 37}, 15, 50), 3.5, KOrange);
  p.Disc({32, 37}, 3, KOrange);
}

void Settings(Painter& p) {
  std::vector<Pt> cog;
  constexpr int KTeeth = 8;
  for (int i = 0; i < KTeeth * 4; ++i) {
    const double a = i * 360.0 / (KTeeth * 4) - 360.0 / (KTeeth * 8);
    cog.push_back(Painter::Along({32, 32}, (i % 4 < 2) ? 27 : 20, a));
  }
  p.Polygon(cog, KWhite);
  p.Disc({32, 32}, 21, KWhite);
  p.Punch({32, 32}, 9);
}

void About(Painter& p) {
  p.Disc({32, 32}, 26, KBlue);
  p.Disc({32, 18}, 4, KWhite);
  p.Line({32, 28}, {32, 47}, 7, KWhite);
}

void Exit(Painter& p) {
  p.Arc({32, 34}, 21, 35, 325, 6, KWhite);
  p.Line({32, 6}, {32, 30}, 6, KRed);
}

void Record(Painter& p) {
  p.Disc({32, 32}, 24, KRed);
  p.Ring({32, 32}, 24, 3, KWhite);
}

void Pause(Painter& p) {
  p.Line({22, 14}, {22, 50}, 11, KWhite);
  p.Line({42, 14}, {42, 50}, 11, KWhite);
}

void Stop(Painter& p) {
  p.Box(13, 13, 51, 51, KWhite);
}

void Play(Painter& p) { p.Polygon({{16, 8}, {54, 32}, {16, 56}}, KGreen); }

void Laps(Painter& p) {
  p.Line({12, 6}, {12, 60}, 4, KWhite);
  constexpr double x0 = 14, y0 = 8, w = 40, h = 28;
  p.Box(x0, y0, x0 + w, y0 + h, KWhite);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c)
      if ((r + c) % 2) p.Box(x0 + c * w / 5, y0 + r * h / 4, x0 + (c + 1) * w / 5, y0 + (r + 1) * h / 4, KBlack);
  p.Frame(x0, y0, x0 + w, y0 + h, 1.5, KWhite);
}

void Map(Painter& p) {
  const std::vector<Pt> folds = {{6, 14}, {22, 8}, {42, 14}, {58, 8}, {58, 50}, {42, 56}, {22, 50}, {6, 56}};
  p.Polygon(folds, KDark);
  p.Polyline(folds, 3, KWhite, true);
  p.Line({22, 8}, {22, 50}, 2.5, KWhite);
  p.Line({42, 14}, {42, 56}, 2.5, KWhite);
  p.Polyline({{10, 44}, {18, 34}, {28, 38}, {36, 26}}, 3, KCyan);
  p.Disc({44, 24}, 8, KRed);
  p.Polygon({{37.5, 27}, {50.5, 27}, {44, 38}}, KRed);
  p.Disc({44, 24}, 3, KWhite);
}

void Graphs(Painter& p) {
  p.Polyline({{8, 6}, {8, 56}, {58, 56}}, 4, KWhite);
  p.Polyline({{12, 44}, {20, 30}, {28, 36}, {38, 16}, {46, 26}, {56, 14}}, 3.5, KCyan);
  p.Polyline({{12, 50}, {22, 46}, {32, 48}, {42, 38}, {56, 42}}, 3.5, KOrange);
}

void Traps(Painter& p) {
  p.Polygon({{20, 60}, {28, 4}, {36, 4}, {44, 60}}, KDark);
  p.Line({20, 60}, {28, 4}, 3, KGrey);
  p.Line({44, 60}, {36, 4}, 3, KGrey);
  p.Line({6, 30}, {58, 30}, 5, KYellow);
  p.Line({32, 54}, {32, 42}, 3.5, KWhite);
  p.Arrowhead({32, 36}, 0, 9, KWhite);
}

void Gps(Painter& p) {
  p.Ring({32, 32}, 20, 4, KGreen);
  p.Line({32, 4}, {32, 18}, 4, KWhite);
  p.Line({32, 46}, {32, 60}, 4, KWhite);
  p.Line({4, 32}, {18, 32}, 4, KWhite);
  p.Line({46, 32}, {60, 32}, 4, KWhite);
  p.Disc({32, 32}, 6, KGreen);
}

void Obd(Painter& p) {
  const Pt c{32, 36};
  p.Arc(c, 24, -120, 120, 5, KWhite);
  for (int i = 0; i <= 8; ++i) p.Line(Painter::Along(c, 18, -120 + i * 30), Painter::Along(c, 14, -120 + i * 30), 2.5, i >= 7 ? KRed : KGrey);
  p.Line(c, Painter::Along(c, 19, 40), 4, KOrange);
  p.Disc(c, 4, KOrange);
  p.Box(24, 50, 40, 56, KWhite);
}

void Logger(Painter& p) {
  p.Box(14, 14, 50, 50, KDark);
  p.Frame(14, 14, 50, 50, 3, KWhite);
  for (int i = 0; i < 4; ++i) {
    const double at = 20 + i * 8;
    p.Line({at, 5}, {at, 13}, 3, KGrey);
    p.Line({at, 51}, {at, 59}, 3, KGrey);
    p.Line({5, at}, {13, at}, 3, KGrey);
    p.Line({51, at}, {59, at}, 3, KGrey);
  }
  p.Polyline({{18, 34}, {23, 34}, {27, 22}, {32, 44}, {37, 28}, {41, 34}, {46, 34}}, 3, KCyan);
}

void Magnifier(Painter& p, bool aIn) {
  p.Disc({26, 26}, 17, KDark);
  p.Ring({26, 26}, 17, 5, KWhite);
  p.Line({39, 39}, {56, 56}, 8, KWhite);
  p.Line({18, 26}, {34, 26}, 4.5, KWhite);
  if (aIn) p.Line({26, 18}, {26, 34}, 4.5, KWhite);
}

void Skip(Painter& p, bool aForward) {
  auto x = [aForward](double v) { return aForward ? v : 64 - v; };
  p.Polygon({{x(12), 12}, {x(44), 32}, {x(12), 52}}, KWhite);
  p.Line({x(50), 12}, {x(50), 52}, 6, KWhite);
}

void Step(Painter& p, bool aForward) {
  auto x = [aForward](double v) { return aForward ? v : 64 - v; };
  p.Polygon({{x(8), 14}, {x(32), 32}, {x(8), 50}}, KWhite);
  p.Polygon({{x(32), 14}, {x(56), 32}, {x(32), 50}}, KWhite);
}

void Back(Painter& p) {
  p.Arc({34, 34}, 16, -90, 180, 6, KWhite);
  p.Arrowhead({12, 34}, 270, 16, KWhite);
}

void More(Painter& p) {
  for (double x : {14.0, 32.0, 50.0}) p.Disc({x, 32}, 6, KWhite);
}

void Comparison(Painter& p) {
  p.Ring({24, 32}, 16, 4.5, KCyan);
  p.Ring({40, 32}, 16, 4.5, KOrange);
}

void Tray(Painter& p) { p.Polyline({{8, 38}, {8, 56}, {56, 56}, {56, 38}}, 5, KWhite); }

void Export(Painter& p) {
  Tray(p);
  p.Line({32, 44}, {32, 16}, 5, KGreen);
  p.Arrowhead({32, 6}, 0, 16, KGreen);
}

void Import(Painter& p) {
  Tray(p);
  p.Line({32, 4}, {32, 32}, 5, KBlue);
  p.Arrowhead({32, 48}, 180, 16, KBlue);
}

void Delete(Painter& p) {
  p.Line({10, 14}, {54, 14}, 4, KWhite);
  p.Box(26, 7, 38, 12, KWhite);
  p.Polygon({{15, 19}, {49, 19}, {45, 58}, {19, 58}}, KDark);
  p.Polyline({{15, 19}, {49, 19}, {45, 58}, {19, 58}}, 3.5, KWhite, true);
  for (double x : {25.0, 32.0, 39.0}) p.Line({x, 27}, {x, 50}, 3, KGrey);
}

void Ok(Painter& p) { p.Polyline({{10, 34}, {25, 49}, {54, 16}}, 8, KGreen); }

void Padlock(Painter& p, bool aLocked) {
  if (aLocked)
    p.Arc({32, 26}, 12, -90, 90, 5, KWhite);
  else
    p.Arc({44, 18}, 10, -90, 90, 5, KWhite);
  if (aLocked) {
    p.Line({20, 26}, {20, 30}, 5, KWhite);
    p.Line({44, 26}, {44, 30}, 5, KWhite);
  } else {
    p.Line({54, 18}, {54, 22}, 5, KWhite);
    p.Line({34, 18}, {34, 30}, 5, KWhite);
  }
  p.Box(14, 30, 50, 58, aLocked ? KOrange : KGrey);
  p.Disc({32, 41}, 4, KBlack);
  p.Line({32, 43}, {32, 51}, 3, KBlack);
}

struct IconEntry {
  const char* iName;
  std::function<void(Painter&)> iPaint;
};

const std::vector<IconEntry>& Icons() {
  static const std::vector<IconEntry> icons = {
      {"new_session", NewSession},
      {"sessions", Sessions},
      {"tracks", Tracks},
      {"tests", Tests},
      {"settings", Settings},
      {"about", About},
      {"exit", Exit},
      {"pacewright", Program},
      {"record", Record},
      {"pause", Pause},
      {"stop", Stop},
      {"play", Play},
      {"laps", Laps},
      {"map", Map},
      {"graphs", Graphs},
      {"traps", Traps},
      {"gps", Gps},
      {"obd", Obd},
      {"logger", Logger},
      {"map_zoom_in", [](Painter& p) { Magnifier(p, true); }},
      {"map_zoom_out", [](Painter& p) { Magnifier(p, false); }},
      {"trap_previous", [](Painter& p) { Skip(p, false); }},
      {"trap_next", [](Painter& p) { Skip(p, true); }},
      {"step_back", [](Painter& p) { Step(p, false); }},
      {"step_forward", [](Painter& p) { Step(p, true); }},
      {"back", Back},
      {"more", More},
      {"comparison", Comparison},
      {"export", Export},
      {"import", Import},
      {"delete", Delete},
      {"ok", Ok},
      {"lock", [](Painter& p) { Padlock(p, true); }},
      {"unlock", [](Painter& p) { Padlock(p, false); }},
  };
  return icons;
}

// A dark rim under the glyph, so light pictograms still read on light backgrounds: the
// glyph's coverage grown by a few pixels (a square max filter, row then column) and laid
// beneath it.
void AddRim(CPwBitmap& aCanvas) {
  constexpr int32_t KReach = 5;
  constexpr uint32_t KRimColour = 0x202020, KRimAlpha = 150;
  uint32_t* px = aCanvas.Pixels();
  std::vector<uint8_t> alpha(static_cast<size_t>(KCanvas) * KCanvas), grown(alpha.size());
  for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<uint8_t>(px[i] >> 24);
  for (int32_t y = 0; y < KCanvas; ++y)
    for (int32_t x = 0; x < KCanvas; ++x) {
      uint8_t m = 0;
      for (int32_t k = std::max(0, x - KReach); k <= std::min(KCanvas - 1, x + KReach); ++k)
        m = std::max(m, alpha[static_cast<size_t>(y) * KCanvas + k]);
      grown[static_cast<size_t>(y) * KCanvas + x] = m;
    }
  for (int32_t x = 0; x < KCanvas; ++x)
    for (int32_t y = 0; y < KCanvas; ++y) {
      uint8_t m = 0;
      for (int32_t k = std::max(0, y - KReach); k <= std::min(KCanvas - 1, y + KReach); ++k)
        m = std::max(m, grown[static_cast<size_t>(k) * KCanvas + x]);
      alpha[static_cast<size_t>(y) * KCanvas + x] = m;
    }
  for (size_t i = 0; i < alpha.size(); ++i) {
    // The glyph over the rim ("over" compositing, straight alpha).
    const uint32_t rim = alpha[i] * KRimAlpha / 255;
    const uint32_t top = px[i] >> 24;
    const uint32_t out = top + rim * (255 - top) / 255;
    if (out == 0) continue;
    auto channel = [&](int shift) {
      const uint32_t c = (px[i] >> shift) & 0xFF, r = (KRimColour >> shift) & 0xFF;
      return (c * top + r * rim * (255 - top) / 255 + out / 2) / out;
    };
    px[i] = (out << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
  }
}

// Averages KScale x KScale blocks with premultiplied alpha, so edges blend instead of
// darkening.
void Reduce(const CPwBitmap& aLarge, CPwBitmap& aSmall) {
  const uint32_t* src = aLarge.Pixels();
  uint32_t* dst = aSmall.Pixels();
  for (int32_t y = 0; y < KIconSize; ++y) {
    for (int32_t x = 0; x < KIconSize; ++x) {
      uint32_t a = 0, r = 0, g = 0, b = 0;
      for (int32_t dy = 0; dy < KScale; ++dy) {
        for (int32_t dx = 0; dx < KScale; ++dx) {
          const uint32_t px = src[static_cast<size_t>(y * KScale + dy) * KCanvas + x * KScale + dx];
          const uint32_t pa = px >> 24;
          a += pa;
          r += ((px >> 16) & 0xFF) * pa;
          g += ((px >> 8) & 0xFF) * pa;
          b += (px & 0xFF) * pa;
        }
      }
      uint32_t out = 0;
      if (a > 0) {
        const uint32_t n = KScale * KScale;
        out = (((a + n / 2) / n) << 24) | (((r + a / 2) / a) << 16) | (((g + a / 2) / a) << 8) | ((b + a / 2) / a);
      }
      dst[static_cast<size_t>(y) * KIconSize + x] = out;
    }
  }
}

}  // namespace

std::vector<std::string> IconNames() {
  std::vector<std::string> names;
  for (const IconEntry& e : Icons()) names.push_back(e.iName);
  return names;
}

CPwBitmap* DrawIconL(const std::string& aName) {
  for (const IconEntry& e : Icons()) {
    if (aName != e.iName) continue;
    std::unique_ptr<CPwBitmap> large(CPwBitmap::NewL(KCanvas, KCanvas));
    std::fill(large->Pixels(), large->Pixels() + KCanvas * KCanvas, 0u);
    Painter painter(*large);
    e.iPaint(painter);
    AddRim(*large);
    std::unique_ptr<CPwBitmap> icon(CPwBitmap::NewL(KIconSize, KIconSize));
    Reduce(*large, *icon);
    return icon.release();
  }
  return nullptr;
}

int32_t MakeIconsL(const std::string& aFolder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(aFolder, error);
  int32_t count = 0;
  for (const std::string& name : IconNames()) {
    std::unique_ptr<CPwBitmap> icon(DrawIconL(name));
    const fs::path target = fs::path(aFolder) / (name + ".png");
    const fs::path scratch = fs::path(aFolder) / ("." + name + ".png." + std::to_string(getpid()));
    if (icon->WritePng(PwStringFromUtf8(scratch.string()), true) != KErrNone) Leave(KErrCannotOpen);
    fs::rename(scratch, target, error);
    if (error) {
      fs::remove(scratch, error);
      Leave(KErrCannotOpen);
    }
    ++count;
  }
  return count;
}

}  // namespace pwtools
