#pragma once
// The map picture and what goes with it: the view and drawing settings, the
// off-screen image, the blink state and the progress figure.

#include "Redraw.h"
#include "Render.h"

#include <QFont>
#include <QImage>

namespace dm {

struct ViewState {
    RenderContext ctx;        // ctx.view: ViewXMax.., Scale, SymbolFactor, ScaleDenominator
    QImage image;             // the map image (RGB32), the whole view extent
    BlinkState blink;
    // The phase (1..4) of the 100 ms blinking of the stops window and the
    // user form.
    int BlinkPhase = 0;
    // The font of the map picture's canvas: set at start and by
    // "Установить шрифт".
    QFont CanvasFont;
    int ProgressPercent = 0;
    // Drawing by layers: while LayerDisplay is on, a redraw and the object
    // search take only the objects whose code is in LayerFilter.
    bool LayerDisplay = false;
    std::vector<int> LayerFilter;
    const std::vector<int>* activeLayerFilter() const { return LayerDisplay ? &LayerFilter : nullptr; }

    // The extent the open map was first shown over (its record's; a
    // district map's own objects'): what "Вся карта" shows again.
    MapView home;

    MapView& view() { return ctx.view; }
    const MapView& view() const { return ctx.view; }
};

}  // namespace dm
