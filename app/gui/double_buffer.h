// The off-screen surface the GUI draws into: a bitmap of the window's size and the layout that
// follows that size. The application copies the bitmap's dirty part to the window.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "app/gui/layout.h"
#include "foundation/pw_base.h"

class CDoubleBuffer : public CPwBase {
 public:
  static CDoubleBuffer* NewL();
  ~CDoubleBuffer() override;

  // A new size: the bitmap is remade (black) and the layout adapts; the same size changes
  // nothing. Leaves with KErrNoMemory when the bitmap cannot be made.
  void ResizeL(int32_t aWidth, int32_t aHeight);

  // Drawing is limited to aDirty until EndDraw.
  void BeginDraw(const TPwRect& aDirty);
  void EndDraw();

  CLayout& Layout() const { return *iLayout; }
  // Null before the first size.
  CPwBitmap* Bitmap() const { return iBitmap; }
  int32_t Width() const { return iWidth; }
  int32_t Height() const { return iHeight; }

 private:
  CDoubleBuffer() = default;
  void ConstructL();

  template <class T, class... A>
  friend T* PwNewL(A&&... aArgs);

  CLayout* iLayout = nullptr;
  CPwBitmap* iBitmap = nullptr;
  int32_t iWidth = 0;
  int32_t iHeight = 0;
};
