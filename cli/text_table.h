// The readable output: a table with a heading line, columns padded to their widest cell
// (counted in characters, not bytes, so names with accents line up), numbers aligned right.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class CTextTable {
 public:
  enum TAlign { ELeft, ERight };

  void AddColumn(const std::string& aHeading, TAlign aAlign = ELeft);
  // One cell per column; missing cells are empty, extra ones are dropped.
  void AddRow(std::vector<std::string> aCells);
  size_t RowCount() const { return iRows.size(); }

  // The whole table, every line ended by '\n'; trailing blanks are trimmed.
  std::string Render() const;
  void Print(FILE* aOut) const;

  // Characters (code points) of UTF-8 text.
  static size_t DisplayWidth(const std::string& aUtf8);

 private:
  struct TColumn {
    std::string iHeading;
    TAlign iAlign;
  };
  std::vector<TColumn> iColumns;
  std::vector<std::vector<std::string>> iRows;
};
