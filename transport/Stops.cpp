#include "Stops.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace dm {

namespace {
void writeText(BinWriter& w, const std::string& s, size_t max) { w.countedString(std::string_view(s).substr(0, max)); }
}  // namespace

void LoadStops(BinReader& in, std::vector<StopRef>& out, std::vector<uint64_t>* ends) {
    out.clear();
    while (!in.atEnd()) {
        const uint64_t at = in.offset();
        auto s = std::make_shared<TOstnv>();
        if (in.remaining() < 4) in.fail("запись остановки обрезана", at);
        in.i32();  // the stored number: the stops are numbered by position
        s->Name = in.countedString(kStopNameMax, "названия");
        s->BusRoutes = in.countedString(kStopRoutesMax, "автобусов");
        s->TramRoutes = in.countedString(kStopRoutesMax, "трамваев");
        s->TrolleybusRoutes = in.countedString(kStopRoutesMax, "троллейбусов");
        s->NearestMetro = in.countedString(kStopMetroMax, "станции метро");
        if (in.remaining() < 16) in.fail("запись остановки обрезана", at);
        s->X = in.f64();
        s->Y = in.f64();
        s->Number = int32_t(out.size());
        out.push_back(std::move(s));
        if (ends) ends->push_back(in.offset());
    }
}

void LoadStops(const fs::path& path, std::vector<StopRef>& out) {
    BinReader in(resolvePathCase(path));
    LoadStops(in, out);
}

void EncodeStop(BinWriter& w, const TOstnv& s) {
    w.i32(s.Number);
    writeText(w, s.Name, kStopNameMax);
    writeText(w, s.BusRoutes, kStopRoutesMax);
    writeText(w, s.TramRoutes, kStopRoutesMax);
    writeText(w, s.TrolleybusRoutes, kStopRoutesMax);
    writeText(w, s.NearestMetro, kStopMetroMax);
    w.f64(s.X);
    w.f64(s.Y);
}

void SaveStops(const fs::path& path, const std::vector<StopRef>& stops) {
    BinWriter w;
    for (const auto& s : stops) EncodeStop(w, *s);
    writeFileAtomically(path, w.data());
}

void LoadMetro(BinReader& in, std::vector<TMetro>& out, std::vector<uint64_t>* ends) {
    out.clear();
    while (!in.atEnd()) {
        const uint64_t at = in.offset();
        TMetro m;
        m.Name = in.countedString(kMetroNameMax, "названия станции");
        if (in.remaining() < 16) in.fail("запись станции обрезана", at);
        m.X = in.f64();
        m.Y = in.f64();
        out.push_back(std::move(m));
        if (ends) ends->push_back(in.offset());
    }
}

void LoadMetro(const fs::path& path, std::vector<TMetro>& out) {
    BinReader in(resolvePathCase(path));
    LoadMetro(in, out);
}

void SaveMetro(const fs::path& path, const std::vector<TMetro>& stations) {
    BinWriter w;
    for (const auto& m : stations) {
        writeText(w, m.Name, kMetroNameMax);
        w.f64(m.X);
        w.f64(m.Y);
    }
    writeFileAtomically(path, w.data());
}

std::string StopListLine(const TOstnv& s) {
    return s.Name.substr(0, 60) + "; " + std::to_string(s.Number);
}

int32_t StopLineNumber(const std::string& line) {
    const size_t semi = line.find(';');
    if (semi == std::string::npos) return -1;
    const char* p = line.c_str() + semi + 1;
    while (*p == ' ') ++p;
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p) return -1;
    return int32_t(v);
}

}  // namespace dm
