#pragma once
// The full redraw of the map image, the progress bar of status panel 3 and
// the blinking of the current object.

#include "Render.h"

#include "mapdata/MapDoc.h"
#include "mapdata/MapFiles.h"

#include <QRect>

#include <vector>

class QImage;
class QPainter;

namespace dm {

// Clears the image to white and draws the objects in list order with the
// view's symbol factor: those that can reach the picture, found through the
// map's object index (the picture is the one of drawing every object).  With a layer filter, an object is drawn once for
// every entry of the filter equal to its code.  CurObj ends as the last
// object; EditPoints is cleared.  The progress figure is k / max(n - 1, 1).
void RedrawMap(QImage& image, MapDoc& doc, const RenderContext& ctx, const ProgressFn& progress = {},
               const std::vector<int>* layerFilter = nullptr);

// Redraws a rectangle of the picture from the objects that can reach it, in
// list order: afterwards it holds the pixels of a full redraw.  They are
// drawn on `scratch` (made the picture's size when it is not), so that
// every figure is drawn exactly as on the picture.  The state of the map
// (CurObj, EditPoints) is not changed.
void RedrawArea(QImage& image, MapDoc& doc, const RenderContext& ctx, const QRect& area, QImage& scratch,
                const std::vector<int>* layerFilter = nullptr);
// The objects that can reach a rectangle of pixels of the view, in list
// order (all of them when the view has no usable scale).
void VisibleObjects(MapDoc& doc, const RenderContext& ctx, const QRect& pixels, std::vector<TObj*>& out);
// Pixels beyond an object's vertices that its drawing can reach (pens up to
// the index's wide pen; wider ones are always drawn).
double VisibilityMargin(const RenderContext& ctx);

// Status panel 3 during long operations: a blue bar of percent / 100 of the
// inner width (the rectangle less one pixel each side), and "<percent> %" in
// white when above 0.
void PaintProgressBar(QPainter& p, const QRect& panel, int percent);

// Blinking of EditPoints, advanced by the 500 ms timer.
struct BlinkState {
    bool BlinkOn = false;
    int BlinkCounter = 0;       // 1..16 once the timer runs
    bool BlinkAsPoints = false; // vertices as small circles, else a polyline

    // Advances the counter and, when blinking, draws EditPoints in red (odd
    // count) or yellow (even count).  With an open object collection the first
    // vertex also gets its circle.
    void tick(QPainter* p, const std::vector<TGn>& editPoints, bool collectionOpen = false);
    QColor color() const { return BlinkCounter % 2 ? QColor(255, 0, 0) : QColor(255, 255, 0); }
};

}  // namespace dm
