#include "app/views/plot_info_control.h"

#include "acquisition/channel_state.h"
#include "app/draw/pw_font.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "foundation/string_provider.h"
#include "storage/position_plot_list.h"
#include "storage/settings.h"
#include "timing/track_session.h"

namespace {

// A time of day, a speed and an altitude fit the width of a portrait window in this font.
constexpr int32_t KInfoFont = CLayout::EFontNormal;

// A value of a channel in the units of the settings, a space and the unit; an invalid value
// keeps the unit alone.
void AppendQuantity(const CModel& aModel, TChannelId aChannel, double aValue, CPwString& aText) {
  const int32_t quantity = ChannelQuantityClass(aChannel);
  const bool english = aModel.Settings().Units() == CStringProvider::KUnitsEnglish;
  if (IsValidReal(aValue)) aText.AppendReal(aValue * QuantityFactor(quantity, english), QuantityDecimals(quantity));
  aText.Append(u" ");
  aText.Append(aModel.Strings().UnitText(quantity));
}

}  // namespace

CPlotInfoControl::~CPlotInfoControl() = default;

void CPlotInfoControl::Segments(CPwStringList& aSegments) const {
  aSegments.Reset();
  const CTrackSession* session = iModel->TrackSession();
  if (!session) return;
  const CPositionPlotList& list = session->PlotList().PositionList();
  const int32_t cursor = list.Cursor();
  if (cursor < 0 || cursor >= list.Count()) return;
  const TPositionPlot& plot = list.At(cursor);
  CPwString text;
  text.Append(u"#");
  text.AppendNum(cursor + 1);
  aSegments.AppendCopy(text);
  PwTime(plot.iTime).FormatDuration(text, 1, false, true);
  aSegments.AppendCopy(text);
  text.Reset();
  const TSpeed speed = plot.Speed();
  AppendQuantity(*iModel, KChannelGpsSpeed, speed.IsValid() ? speed.MetresPerSecond() : InvalidReal(), text);
  aSegments.AppendCopy(text);
  text.Reset();
  const TDistance altitude = plot.Altitude();
  AppendQuantity(*iModel, KChannelAltitude, altitude.IsValid() ? altitude.Metres() : InvalidReal(), text);
  aSegments.AppendCopy(text);
}

int32_t CPlotInfoControl::LineHeight() {
  CLayout* layout = Layout();
  return layout ? layout->Font(KInfoFont).Height() : 0;
}

void CPlotInfoControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, KBackground);
  CPwStringList segments;
  Segments(segments);
  CPwFont& font = layout->Font(KInfoFont);
  int32_t x = iRect.iLeft;
  for (int32_t i = 0; i < segments.Count() && x < iRect.iRight; ++i) {
    const CPwStringC text = segments.At(i);
    const int32_t width = font.TextWidth(text);
    bitmap->DrawText(text, font, TPwRect{x, iRect.iTop, x + width, iRect.iBottom}, EAlignLeft, KText);
    x += width + KSegmentGap;
  }
}
