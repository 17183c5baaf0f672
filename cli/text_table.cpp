#include "cli/text_table.h"

#include <algorithm>

void CTextTable::AddColumn(const std::string& aHeading, TAlign aAlign) { iColumns.push_back({aHeading, aAlign}); }

void CTextTable::AddRow(std::vector<std::string> aCells) {
  aCells.resize(iColumns.size());
  iRows.push_back(std::move(aCells));
}

size_t CTextTable::DisplayWidth(const std::string& aUtf8) {
  size_t width = 0;
  for (const char c : aUtf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  return width;
}

std::string CTextTable::Render() const {
  std::vector<size_t> widths(iColumns.size());
  for (size_t c = 0; c < iColumns.size(); ++c) {
    widths[c] = DisplayWidth(iColumns[c].iHeading);
    for (const auto& row : iRows) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  }
  std::string out;
  auto line = [&](const std::vector<std::string>& aCells) {
    std::string text;
    for (size_t c = 0; c < aCells.size(); ++c) {
      if (c) text += "  ";
      const std::string pad(widths[c] - DisplayWidth(aCells[c]), ' ');
      text += iColumns[c].iAlign == ERight ? pad + aCells[c] : aCells[c] + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text;
    out.push_back('\n');
  };
  std::vector<std::string> headings;
  for (const TColumn& column : iColumns) headings.push_back(column.iHeading);
  line(headings);
  for (const auto& row : iRows) line(row);
  return out;
}

void CTextTable::Print(FILE* aOut) const {
  const std::string text = Render();
  std::fwrite(text.data(), 1, text.size(), aOut);
}
