#include "transport/Stops.h"

#include "mapdata/Cp1251.h"

#include <gtest/gtest.h>

using namespace dm;

namespace {
// One stop record written out byte by byte.
const std::vector<uint8_t> kStop = {
    0x0C, 0x00, 0x00, 0x00,                    // Number 12 (renumbered on reading)
    0x02, 0x00, 0x00, 0x00, 0x01, 'A',         // Name "A"
    0x03, 0x00, 0x00, 0x00, 0x02, '1', '2',    // BusRoutes "12"
    0x01, 0x00, 0x00, 0x00, 0x00,              // TramRoutes ""
    0x02, 0x00, 0x00, 0x00, 0x01, '7',         // TrolleybusRoutes "7"
    0x02, 0x00, 0x00, 0x00, 0x01, 0xC0,        // NearestMetro "А"
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // X 1.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // Y 2.0
};
const std::vector<uint8_t> kMetro = {
    0x03, 0x00, 0x00, 0x00, 0x02, 0xCC, 0xC8,        // "МИ"
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0xBF,  // X -1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x40,  // Y 4.0
};
}  // namespace

TEST(Stops, LiteralRecordsRenumberedAndWrittenBack) {
    std::vector<uint8_t> two = kStop;
    two.insert(two.end(), kStop.begin(), kStop.end());
    std::vector<StopRef> stops;
    BinReader r(two.data(), two.size(), "ostanov.dat");
    LoadStops(r, stops);
    ASSERT_EQ(stops.size(), 2u);
    const TOstnv& s = *stops[1];
    EXPECT_EQ(stops[0]->Number, 0);
    EXPECT_EQ(s.Number, 1);  // by position, whatever was stored
    EXPECT_EQ(s.Name, "A");
    EXPECT_EQ(s.BusRoutes, "12");
    EXPECT_EQ(s.TramRoutes, "");
    EXPECT_EQ(s.TrolleybusRoutes, "7");
    EXPECT_EQ(s.NearestMetro, "\xC0");
    EXPECT_EQ(s.X, 1.0);
    EXPECT_EQ(s.Y, 2.0);
    const auto d = std::filesystem::temp_directory_path() / ("dm_stops_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    stops[0]->Number = 12;
    stops[1]->Number = 12;
    SaveStops(d / "ostanov.dat", stops);
    EXPECT_EQ(readWholeFile(d / "ostanov.dat"), two);
    std::vector<TMetro> metro;
    BinReader m(kMetro.data(), kMetro.size(), "metro.dat");
    LoadMetro(m, metro);
    ASSERT_EQ(metro.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(metro[0].Name), "МИ");
    EXPECT_EQ(metro[0].X, -1.5);
    EXPECT_EQ(metro[0].Y, 4.0);
    SaveMetro(d / "metro.dat", metro);
    EXPECT_EQ(readWholeFile(d / "metro.dat"), kMetro);
    std::filesystem::remove_all(d);
}

TEST(Stops, DamagedRecordsNameTheOffsetAndKeepTheStopsBefore) {
    std::vector<uint8_t> two = kStop;
    two.insert(two.end(), kStop.begin(), kStop.end());
    for (size_t cut = kStop.size() + 1; cut < two.size(); ++cut) {
        std::vector<StopRef> stops;
        BinReader r(two.data(), cut, "ostanov.dat");
        try {
            LoadStops(r, stops);
            ADD_FAILURE() << cut;
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("смещение"), std::string::npos);
        }
        EXPECT_EQ(stops.size(), 1u);
    }
    // A name field longer than its 60 characters.
    std::vector<uint8_t> b = kStop;
    b[4] = 62;
    std::vector<StopRef> stops;
    BinReader r(b.data(), b.size(), "ostanov.dat");
    EXPECT_THROW(LoadStops(r, stops), FileError);
}

TEST(Stops, ListLinesAndTheirNumbers) {
    TOstnv s;
    s.Name = "A";
    s.Number = 12;
    EXPECT_EQ(StopListLine(s), "A; 12");
    EXPECT_EQ(StopLineNumber("A; 12"), 12);
    EXPECT_EQ(StopLineNumber("A;   7"), 7);
    EXPECT_EQ(StopLineNumber("A; 12; 3"), 12);
    EXPECT_EQ(StopLineNumber("no number"), -1);
    s.Name = std::string(60, 'x');
    EXPECT_EQ(StopListLine(s).size(), 60u + 2 + 2);
}
