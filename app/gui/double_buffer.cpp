#include "app/gui/double_buffer.h"

CDoubleBuffer* CDoubleBuffer::NewL() { return PwNewL<CDoubleBuffer>(); }

void CDoubleBuffer::ConstructL() { iLayout = CLayout::NewL(); }

CDoubleBuffer::~CDoubleBuffer() {
  delete iBitmap;
  iBitmap = nullptr;
  delete iLayout;
  iLayout = nullptr;
}

void CDoubleBuffer::ResizeL(int32_t aWidth, int32_t aHeight) {
  // A minimised window reports nothing; the surface keeps at least one pixel.
  if (aWidth < 1) aWidth = 1;
  if (aHeight < 1) aHeight = 1;
  if (iBitmap && aWidth == iWidth && aHeight == iHeight) return;
  if (!iBitmap) iBitmap = CPwBitmap::NewL(aWidth, aHeight);
  else iBitmap->ResizeL(aWidth, aHeight);
  iWidth = aWidth;
  iHeight = aHeight;
  iLayout->SurfaceChanged(aWidth, aHeight);
}

void CDoubleBuffer::BeginDraw(const TPwRect& aDirty) {
  if (iBitmap) iBitmap->SetClipRect(aDirty);
}

void CDoubleBuffer::EndDraw() {
  if (iBitmap) iBitmap->ResetClipRect();
}
