#include "MapView.h"

namespace dm {

bool MapView::FitScaleToScreen(int deviceWidth) {
    const double dx = ViewXMax - ViewXMin, dy = ViewYMax - ViewYMin;
    if (dx == 0 && dy == 0) return true;
    if (dy == 0) return false;
    Scale = double(deviceWidth) / dy;
    return true;
}

QSize MapView::imageSize() const {
    return QSize(rnd((ViewYMax - ViewYMin) * Scale), rnd((ViewXMax - ViewXMin) * Scale));
}

void MapView::zoomOut() {
    Scale = Scale / 2;
    const double cX = (ViewXMax + ViewXMin) / 2, dX = ViewXMax - ViewXMin;
    const double cY = (ViewYMax + ViewYMin) / 2, dY = ViewYMax - ViewYMin;
    ViewXMax = cX + dX;
    ViewXMin = cX - dX;
    ViewYMax = cY + dY;
    ViewYMin = cY - dY;
}

double MapView::computeScaleDenominator(int rows, bool geographic, double axialMeridian) {
    double top = ViewXMax, bottom = ViewXMin;
    if (geographic) {
        double y;
        PlaneFromGeographic(ViewXMax, ViewYMin, axialMeridian, top, y);
        PlaneFromGeographic(ViewXMin, ViewYMax, axialMeridian, bottom, y);
    }
    ScaleDenominator = (top - bottom) / (double(rows) / kScreenPxPerMm) * 1000;
    return ScaleDenominator;
}

QString ScaleReadout(double denominator, int width) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "1:%*.0f", width, denominator);
    return QString::fromLatin1(buf);
}

}  // namespace dm
