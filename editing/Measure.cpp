#include "Measure.h"

#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"

#include <cmath>
#include <numbers>

namespace dm {

QString Fixed(double value, int width, int decimals) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, value);
    return QString::fromLatin1(buf);
}

namespace {
QString dms(double radians) {
    double d, m, s;
    RadiansToDms(radians, d, m, s);
    return Fixed(d, 2, 0) + QLatin1Char(' ') + Fixed(m, 2, 0) + QLatin1Char(' ') + Fixed(s, 3, 1);
}
}  // namespace

QString MeasuredPointText(TXY& p, const TXY* previous, double& sum, const OrientationRecord& orient) {
    QString text;
    if (orient.CoordKind == 1) {
        text = QStringLiteral("X=") + Fixed(p.X, 8, 2) + QStringLiteral(" Y=") + Fixed(p.Y, 9, 2);
    } else {
        text = QStringLiteral("B=") + dms(p.X) + QStringLiteral("  L=") + dms(p.Y);
        double x, y;
        PlaneFromGeographic(p.X, p.Y, orient.AxialMeridian, x, y);
        const int zone = int(orient.AxialMeridian * 180 / std::numbers::pi) / 6 + 1;
        p = {x, zone * 1000000.0 + 500000.0 + y};
    }
    if (previous) {
        const double L = Distance(previous->X, previous->Y, p.X, p.Y);
        sum += L;
        text += QStringLiteral("  L=") + Fixed(L, 10, 1) + QStringLiteral(" м.") + QStringLiteral(" Сумма=") +
                Fixed(sum, 10, 1) + QStringLiteral(" м.");
    }
    return text;
}

QString MeasuredAreaText(const std::vector<TXY>& points) {
    std::vector<Pt> v;
    for (const TXY& p : points) v.push_back({p.X, p.Y});
    const double a = PolygonArea(v);
    return QStringLiteral("Площадь=") + Fixed(a / 1000000, 10, 2) + QStringLiteral(" кв.км  =") +
           Fixed(a / 10000, 10, 2) + QStringLiteral(" га");
}

LengthArea ObjectLengthArea(const TObj& o, const OrientationRecord& orient) {
    std::vector<Pt> v;
    v.reserve(o.Points.size());
    for (const TXY& p : o.Points) {
        if (orient.CoordKind == 2) {
            double x, y;
            PlaneFromGeographic(p.X, p.Y, orient.AxialMeridian, x, y);
            v.push_back({x, y + 500000});
        } else {
            v.push_back({p.X, p.Y});
        }
    }
    LengthArea r;
    for (size_t i = 1; i < v.size(); ++i) r.length += Distance(v[i - 1].X, v[i - 1].Y, v[i].X, v[i].Y);
    if (o.Kind == KindArea) r.area = PolygonArea(v);
    return r;
}

ObjectInfo ShowObjectInfo(const TObj& o, const ActiveSemanticList& semantics, const OrientationRecord& orient) {
    ObjectInfo info;
    const auto name = SemanticDisplayName(semantics, o.Code);
    if (!name) return info;
    info.known = true;
    const std::string codeText = SemanticCodeText(semantics, o.Code);
    // A space between the name and the code, so that they read apart.
    info.panel4 = fromCp1251(*name) + QLatin1Char(' ') + fromCp1251(codeText);
    const LengthArea la = ObjectLengthArea(o, orient);
    info.panel5 = QStringLiteral("Длина= ") + Fixed(la.length, 4, 1) + QStringLiteral(" м.");
    if (!o.Name.empty()) info.panel3 = fromCp1251(o.Name.view());
    else if (IsContourCode(o.Code)) info.panel3 = Fixed(o.Elevation, 3, 1);
    if (la.area > 0)
        info.panel5 = QStringLiteral("Площадь=") + Fixed(la.area / 10000, 10, 2) + QStringLiteral(" га. Периметр=") +
                      Fixed(la.length, 4, 1) + QStringLiteral(" м.");
    return info;
}

}  // namespace dm
