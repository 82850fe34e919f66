#include "Stops.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace dm {

namespace {
std::string readText(BinReader& in, size_t max, const char* what) {
    const uint64_t at = in.offset();
    if (in.remaining() < 4) in.fail(std::string("запись обрезана: ") + what, at);
    const int32_t n = in.i32();
    if (n < 1 || uint64_t(n) > max + 1) in.fail(std::string("недопустимая длина поля ") + what + " " + std::to_string(n), at);
    if (uint64_t(n) > in.remaining()) in.fail(std::string("запись обрезана: ") + what, at);
    const uint8_t* p = in.take(size_t(n));
    if (p[0] > n - 1) in.fail(std::string("длина ") + what + " больше поля", at + 4);
    return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}
void writeText(BinWriter& w, const std::string& s, size_t max) { w.countedString(std::string_view(s).substr(0, max)); }
}  // namespace

void LoadStops(BinReader& in, std::vector<StopRef>& out) {
    out.clear();
    while (!in.atEnd()) {
        const uint64_t at = in.offset();
        auto s = std::make_shared<TOstnv>();
        if (in.remaining() < 4) in.fail("запись остановки обрезана", at);
        in.i32();  // the stored number: the stops are numbered by position
        s->Name = readText(in, kStopNameMax, "названия");
        s->BusRoutes = readText(in, kStopRoutesMax, "автобусов");
        s->TramRoutes = readText(in, kStopRoutesMax, "трамваев");
        s->TrolleybusRoutes = readText(in, kStopRoutesMax, "троллейбусов");
        s->NearestMetro = readText(in, kStopMetroMax, "станции метро");
        if (in.remaining() < 16) in.fail("запись остановки обрезана", at);
        s->X = in.f64();
        s->Y = in.f64();
        s->Number = int32_t(out.size());
        out.push_back(std::move(s));
    }
}

void LoadStops(const fs::path& path, std::vector<StopRef>& out) {
    BinReader in(resolvePathCase(path));
    LoadStops(in, out);
}

void SaveStops(const fs::path& path, const std::vector<StopRef>& stops) {
    BinWriter w;
    for (const auto& s : stops) {
        w.i32(s->Number);
        writeText(w, s->Name, kStopNameMax);
        writeText(w, s->BusRoutes, kStopRoutesMax);
        writeText(w, s->TramRoutes, kStopRoutesMax);
        writeText(w, s->TrolleybusRoutes, kStopRoutesMax);
        writeText(w, s->NearestMetro, kStopMetroMax);
        w.f64(s->X);
        w.f64(s->Y);
    }
    writeFileAtomically(path, w.data());
}

void LoadMetro(BinReader& in, std::vector<TMetro>& out) {
    out.clear();
    while (!in.atEnd()) {
        const uint64_t at = in.offset();
        TMetro m;
        m.Name = readText(in, kMetroNameMax, "названия станции");
        if (in.remaining() < 16) in.fail("запись станции обрезана", at);
        m.X = in.f64();
        m.Y = in.f64();
        out.push_back(std::move(m));
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
