// Dragging a map with the pointer: a press inside the map takes hold of it, every move shifts
// the drawer's view along the pointer's path, the release lets go. The map controls pass their
// pointer events here and repaint when the view moved.
#pragma once

#include <cstdint>

#include "app/draw/pw_bitmap.h"
#include "app/map/map_drawer.h"

class TMapDrag {
 public:
  enum TStep : int32_t {
    ENotTaken,  // not the drag's event: a press outside the map, a move or release without hold
    EHeld,      // pressed or released
    EMoved,     // the view moved with the pointer
  };

  // aKind as the controls get it: 0 press, 1 move, anything else release.
  TStep Pointer(int32_t aKind, int32_t aX, int32_t aY, const TPwRect& aMapRect, CMapDrawer& aDrawer) {
    TStep step = EHeld;
    switch (aKind) {
      case 0:
        if (!aMapRect.Contains(aX, aY)) return ENotTaken;
        iHeld = true;
        break;
      case 1:
        if (!iHeld) return ENotTaken;
        aDrawer.Drag(aX - iX, aY - iY);
        step = EMoved;
        break;
      default:
        if (!iHeld) return ENotTaken;
        iHeld = false;
        break;
    }
    iX = aX;
    iY = aY;
    return step;
  }

 private:
  bool iHeld = false;
  int32_t iX = 0;
  int32_t iY = 0;
};
