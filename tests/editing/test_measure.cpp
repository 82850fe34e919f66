#include "editing/Measure.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace dm;

TEST(Measure, PlanePointsDistancesAndSum) {
    OrientationRecord o;
    o.CoordKind = 1;
    double sum = 0;
    TXY a{0, 0}, b{0, 1000}, c{1000, 1000};
    EXPECT_EQ(MeasuredPointText(a, nullptr, sum, o), QStringLiteral("X=    0.00 Y=     0.00"));
    EXPECT_EQ(MeasuredPointText(b, &a, sum, o),
              QStringLiteral("X=    0.00 Y=  1000.00  L=    1000.0 м. Сумма=    1000.0 м."));
    EXPECT_EQ(MeasuredPointText(c, &b, sum, o),
              QStringLiteral("X= 1000.00 Y=  1000.00  L=    1000.0 м. Сумма=    2000.0 м."));
    EXPECT_DOUBLE_EQ(sum, 2000);
}

TEST(Measure, AreaOfTheClickedPolygon) {
    // The fourth click is replaced by the first point.
    EXPECT_EQ(MeasuredAreaText({{0, 0}, {0, 1000}, {1000, 1000}, {0, 0}}),
              QStringLiteral("Площадь=      0.50 кв.км  =     50.00 га"));
    EXPECT_EQ(MeasuredAreaText({{5, 5}}), QStringLiteral("Площадь=      0.00 кв.км  =      0.00 га"));
}

TEST(Measure, GeographicPointsAreShownInDegreesAndMeasuredInThePlane) {
    OrientationRecord o;
    o.CoordKind = 2;
    o.AxialMeridian = 69 * std::numbers::pi / 180;  // zone 12
    double sum = 0;
    TXY p{DmsToRadians(41, 18, 30.0), DmsToRadians(69, 15, 0)};
    const QString t = MeasuredPointText(p, nullptr, sum, o);
    EXPECT_EQ(t, QStringLiteral("B=41 18 30.0  L=69 15 0.0"));
    EXPECT_GT(p.Y, 12500000.0);
    EXPECT_LT(p.Y, 12530000.0);
    TXY q{DmsToRadians(41, 18, 30.0), DmsToRadians(69, 16, 0)};
    MeasuredPointText(q, &p, sum, o);
    EXPECT_NEAR(sum, 1394, 5);  // one minute of longitude at 41.3 degrees
}

TEST(Measure, ObjectInformation) {
    ActiveSemanticList sem = SemanticsFromLines({utf8ToCp1251("Дороги...;0;0;1;1;8;0;"),
                                                 utf8ToCp1251("...улицы;3060;0;1;1;8;0;"),
                                                 utf8ToCp1251("Здания;10105;0;1;1;1;0;"),
                                                 utf8ToCp1251("Рельеф...;0;0;1;1;8;0;"),
                                                 utf8ToCp1251("...горизонтали;2130;0;1;1;8;0;")});
    OrientationRecord o;
    TObj line;
    line.Kind = KindLine;
    line.Code = 3060;
    line.Points = {{0, 0}, {12.34, 0}};
    ObjectInfo i = ShowObjectInfo(line, sem, o);
    EXPECT_EQ(i.panel4, QStringLiteral("Дороги...улицы 3060"));
    EXPECT_EQ(i.panel5, QStringLiteral("Длина= 12.3 м."));
    EXPECT_EQ(i.panel3, QString());
    line.Name = utf8ToCp1251("Навои");
    EXPECT_EQ(ShowObjectInfo(line, sem, o).panel3, QStringLiteral("Навои"));

    TObj area;
    area.Kind = KindArea;
    area.Code = 1010;  // five-digit code field 10105: the first four digits
    area.Points = {{0, 0}, {0, 100}, {100, 100}, {100, 0}, {0, 0}};
    i = ShowObjectInfo(area, sem, o);
    EXPECT_EQ(i.panel4, QStringLiteral("Здания 1010"));
    EXPECT_EQ(i.panel5, QStringLiteral("Площадь=      1.00 га. Периметр=400.0 м."));

    TObj contour;
    contour.Kind = KindLine;
    contour.Code = 2130;
    contour.Elevation = 422.5;
    contour.Points = {{0, 0}, {3, 4}};
    i = ShowObjectInfo(contour, sem, o);
    EXPECT_EQ(i.panel3, QStringLiteral("422.5"));
    EXPECT_EQ(i.panel5, QStringLiteral("Длина=  5.0 м."));

    TObj unknown;
    unknown.Code = 9;
    unknown.Points = {{0, 0}};
    EXPECT_FALSE(ShowObjectInfo(unknown, sem, o).known);
}
