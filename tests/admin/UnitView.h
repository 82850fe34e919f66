#pragma once
// A view of one pixel per metre over the square 0..100: column = Y,
// row = 100 - X.
#include "display/MapView.h"

namespace dm::test {

inline MapView unitView() {
    MapView v;
    v.ViewXMax = 100;
    v.ViewXMin = 0;
    v.ViewYMin = 0;
    v.ViewYMax = 100;
    v.Scale = 1;
    return v;
}
// The map point of a pixel of that view.
inline TXY mp(double col, double row) { return {100.0 - row, col}; }

}  // namespace dm::test
