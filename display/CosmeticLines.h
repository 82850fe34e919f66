#pragma once
// One-pixel solid lines written straight into a 32-bit image with the
// painter's own pixels: the same first and last pixel of every segment, the
// same steps, and the same pixel left out or put in where one segment turns
// into the next.  The painter spends most of a city map's redraw on the
// bookkeeping around these few pixels, not on the pixels themselves.

#include <QPoint>
#include <QRgb>

class QImage;
class QPainter;

namespace dm {

// Draws the polyline through the n points with the painter's pen, closed
// back to its first point when asked (the outline of a polygon), exactly as
// drawPolyline (drawPolygon's outline when closed) would, when the painter
// writes straight into its image (see directImageTarget), its pen is solid,
// opaque and one pixel wide, and these lines were found to match the
// painter's on this system.  Returns false, nothing drawn, otherwise.
bool DirectPolyline(QPainter& p, const QPoint* pts, int n, bool closed = false);

// The same for one segment, as drawLine draws it (both ends included).
bool DirectLine(QPainter& p, QPoint a, QPoint b);

// The same straight into the image, in the colour, with square caps or
// flat ones.  The caller has made sure the painter would write into this
// image with a solid, opaque one-pixel pen.  False, nothing drawn, when
// these lines do not match the painter's on this system or the image is
// more than 16384 pixels wide or high.
bool PolylineInto(QImage& img, QRgb color, bool squareCaps, const QPoint* pts, int n, bool closed);
bool LineInto(QImage& img, QRgb color, bool squareCaps, QPoint a, QPoint b);

// Whether these lines match the painter's on this system: a set of probe
// lines is drawn both ways once, on first use.  When they differ (another
// version of the painter), every call above returns false.
bool DirectLinesMatchPainter();

}  // namespace dm
