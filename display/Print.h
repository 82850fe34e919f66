#pragma once
// The printed map: the whole map width across the page, the header
// "Д А Р В Е Н Т", every object on the print path (symbol factor 4) and,
// when asked, the labels.

#include "Render.h"

#include "mapdata/MapDoc.h"

#include <functional>
#include <vector>

class QPainter;

namespace dm {

constexpr double kPrintSymbolFactor = 4;

struct PrintJob {
    // Pixels of the page across (the printer's horizontal resolution).
    int deviceWidth = 0;
    // The codes of the layer display while it is on (each object drawn once
    // per occurrence of its code); null: every object.
    const std::vector<int>* layerFilter = nullptr;
    // Draws the labels with the print factors (rows, columns per map unit).
    std::function<void(QPainter&, double psx, double psy)> drawLabels;
    // Asked now and then; true stops the job (Esc while printing).
    std::function<bool()> aborted;
};

// Draws the page; the context's view gives the map extent, the screen
// state is not touched.  Returns false when the job was stopped.
bool PrintMap(QPainter& p, MapDoc& doc, const RenderContext& screen, const PrintJob& job);

// The part of the painter's coordinates that can show on the sheet (the
// whole paper of a printer, margins included); empty when unknown (a
// transformed painter).
QRect SheetRect(const QPainter& p);

// The print factor: page pixels per map unit across the map width.
double PrintFactor(int deviceWidth, const MapView& view);

}  // namespace dm
