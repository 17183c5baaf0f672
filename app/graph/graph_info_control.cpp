#include "app/graph/graph_info_control.h"

#include "acquisition/channel_state.h"
#include "analysis/graph_generator.h"
#include "app/draw/pw_font.h"
#include "app/graph/graph_control.h"
#include "app/graph/graph_drawer.h"
#include "app/gui/layout.h"
#include "app/model.h"
#include "foundation/string_provider.h"

namespace {

// The info line's font: the GUI's font 3.
constexpr int32_t KInfoFont = CLayout::EFontHuge;

}  // namespace

CGraphInfoControl::CGraphInfoControl(CCustomControl* aParent, CModel& aModel, int32_t aBackground)
    : CCustomControl(aParent), iModel(&aModel), iBackground(aBackground) {}

int32_t CGraphInfoControl::LineHeight() {
  CLayout* layout = Layout();
  return layout ? layout->Font(KInfoFont).Height() : 0;
}

void CGraphInfoControl::Draw() {
  CPwBitmap* bitmap = Bitmap();
  CLayout* layout = Layout();
  if (!bitmap || !layout) return;
  bitmap->FillRect(iRect, iBackground ? KTranslucent : KOpaque);
  iSegments.Reset();
  iUsedWidth = 0;
  CGraphGenerator* generator = CGraphControl::DataOf(*iModel);
  if (!generator) return;
  const TGraphSetup setup = TGraphSetup::FromSettings(iModel->Settings(), generator->Kind());
  generator->SetAxis(setup.iScaled, setup.iAxis);
  generator->SetCursorValues(setup.iAxis);
  generator->CollectVisible();

  CPwFont& font = layout->Font(KInfoFont);
  const CStringProvider& strings = iModel->Strings();
  const bool english = strings.EnglishUnits();
  int32_t x = iRect.iLeft;
  auto segment = [&](TPwColour aColour) {
    iSegments.AppendCopy(iText);
    if (iSegments.Count() > 1) x += KGap;
    const int32_t width = font.TextWidth(iText);
    if (x < iRect.iRight && width > 0)
      bitmap->DrawText(iText, font, TPwRect{x, iRect.iTop, std::min(iRect.iRight, x + width), iRect.iBottom},
                       EAlignLeft, aColour);
    x += width;
  };

  const int32_t axisClass = AxisQuantityClass(setup.iAxis);
  FormatGraphValue(iText, generator->CursorValue(setup.iAxis), QuantityFactor(axisClass, english),
                   QuantityDecimals(axisClass) + 1, strings.UnitText(axisClass));
  segment(KCursorColour);
  for (int32_t l = 0; l < generator->ListCount(); ++l) {
    const CGraphChannelList& list = generator->List(l);
    if (list.IsComparison() && !setup.iShowComparison) continue;
    for (int32_t c = 2; c < list.ChannelCount(); ++c) {
      const CGraphChannel& channel = list.Channel(c);
      const int32_t quantity = channel.QuantityClass();
      FormatGraphValue(iText, channel.CursorValue(), QuantityFactor(quantity, english), QuantityDecimals(quantity) + 1,
                       strings.UnitText(quantity));
      segment(CLayout::Colour(generator->ColourIndex(channel.Id()), list.IsComparison()));
    }
  }
  iUsedWidth = x - iRect.iLeft;
}
