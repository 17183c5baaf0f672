// The base of the tables (lap lists, sector and split tables, results): a header row and rows
// of cells, columns sized by weights across the width, one selected row kept in sight. A
// subclass says how many rows there are and what each cell holds.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "app/gui/custom_control.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class CGridControl;

class MGridObserver {
 public:
  virtual void RowSelected(CGridControl&, int32_t) {}
  // Enter, or a tap on the row already selected.
  virtual void RowActivated(CGridControl& aGrid, int32_t aRow) = 0;

 protected:
  ~MGridObserver() = default;
};

class CGridControl : public CCustomControl {
 public:
  CGridControl(CCustomControl* aParent, MGridObserver* aObserver);
  ~CGridControl() override;

  // A column: its header, its share of the width and how its cells are aligned.
  void AddColumnL(CPwStringC aHeader, int32_t aWeight, TPwAlign aAlign);
  void SetHeaderL(int32_t aColumn, CPwStringC aHeader);
  int32_t ColumnCount() const { return iColumns.Count(); }
  // Left and right edge of a column on screen.
  void ColumnEdges(int32_t aColumn, int32_t& aLeft, int32_t& aRight) const;

  virtual int32_t RowCount() const = 0;
  virtual void CellText(int32_t aRow, int32_t aColumn, CPwString& aText) const = 0;
  // 0xRRGGBB of a cell's text; white by default.
  virtual TPwColour CellColour(int32_t, int32_t) const { return 0xFFFFFF; }

  int32_t Selected() const { return RowCount() > 0 ? iSelected : -1; }
  void SetSelected(int32_t aRow);
  int32_t TopRow() const { return iTop; }
  int32_t RowHeight();
  int32_t VisibleRows();
  // The row under a point, -1 for the header or none.
  int32_t RowAt(int32_t aX, int32_t aY);
  // The rows changed (count or content): the selection is kept inside and all is redrawn.
  void RowsChanged();

  void SetRect(const TPwRect& aRect) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;
  int32_t HandlePointer(int32_t aKind, int32_t aX, int32_t aY) override;
  void Draw() override;

 private:
  struct TColumn {
    CPwString* iHeader;  // owned
    int32_t iWeight;
    TPwAlign iAlign;
  };
  void EnsureVisible();
  int32_t HeaderHeight();

  MGridObserver* iObserver = nullptr;
  CPwVector<TColumn> iColumns{8};
  int32_t iSelected = 0;
  int32_t iTop = 0;
};
