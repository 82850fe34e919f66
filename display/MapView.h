#pragma once
// The view of the map image: the extent it shows, the scale and the symbol
// factor, with both transforms between map coordinates and image pixels.

#include "mapdata/Geometry.h"
#include "mapdata/MapFiles.h"
#include "mapdata/MapObjects.h"

#include <QSize>
#include <QString>

namespace dm {

constexpr double kScreenPxPerMm = 3.25;
constexpr double kOpenZoom = 1.447;

struct MapView {
    double ViewXMax = 0;  // map X at the top edge
    double ViewXMin = 0;  // map X at the bottom edge
    double ViewYMax = 0;  // map Y at the right edge
    double ViewYMin = 0;  // map Y at the left edge
    double Scale = 1;     // image pixels per map unit
    double SymbolFactor = 1;
    double ScaleDenominator = 0;

    // Column = rnd((Y - ViewYMin) x Scale), row = rnd((ViewXMax - X) x Scale).
    TGn toPixel(const TXY& p) const {
        return {rnd((p.Y - ViewYMin) * Scale), rnd((ViewXMax - p.X) * Scale)};
    }
    TXY toMap(double column, double row) const { return {ViewXMax - row / Scale, column / Scale + ViewYMin}; }

    void setExtent(const OrientationRecord& o) {
        ViewXMax = o.XMax;
        ViewXMin = o.XMin;
        ViewYMax = o.YMax;
        ViewYMin = o.YMin;
    }
    // Scale = device width / Y extent; kept when the extent is empty.  An
    // extent with no width but some height cannot be shown: false, Scale
    // unchanged.
    bool FitScaleToScreen(int deviceWidth);
    // Height x width of the image for the extent at the current scale.
    QSize imageSize() const;
    // Halves the scale and doubles the extent about its centre.
    void zoomOut();
    // Denominator for an image of `rows` rows; with `geographic` set (kind 2
    // maps) the top and bottom are first converted to plane X with the axial
    // meridian.  Also stored in ScaleDenominator.
    double computeScaleDenominator(int rows, bool geographic, double axialMeridian);
};

// "1:" + the denominator right-aligned in `width` characters, no decimals.
QString ScaleReadout(double denominator, int width = 5);

}  // namespace dm
