// dmap: the command-line companion of the map program.
#include "SampleCity.h"

#include "admin/AdminLists.h"
#include "admin/Boundaries.h"
#include "admin/MapCut.h"
#include "classifier/Znak.h"
#include "display/Layers.h"
#include "display/PdfCompression.h"
#include "display/Print.h"
#include "display/Redraw.h"
#include "display/RuntimeDir.h"
#include "interop/GisExchange.h"
#include "mapdata/Geometry.h"
#include "mapdata/Cp1251.h"
#include "mapdata/MapDoc.h"
#include "mapdata/Rtf.h"
#include "names/Names.h"
#include "routing/RoadNetwork.h"
#include "streets/AddressIndex.h"
#include "streets/Streets.h"
#include "store/CityStore.h"
#include "store/Schema.h"

#include <QGuiApplication>
#include "display/PngEncoder.h"

#include <QBuffer>
#include <chrono>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace dm;

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

struct UsageError {
    std::string text;
};

// A text field of an output line: "\\", "|" and line breaks are written as
// \\, \|, \n and \r, so that every record stays one line of fields; with
// `controls` every other control character is shown as \xNN too.
std::string field(std::string_view utf8, bool controls = false) {
    std::string out;
    out.reserve(utf8.size());
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '\\') out += "\\\\";
        else if (ch == '|') out += "\\|";
        else if (ch == '\n') out += "\\n";
        else if (ch == '\r') out += "\\r";
        else if (controls && (c < 0x20 || c == 0x7F)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

struct Command {
    const char* name;
    const char* args;
    const char* help;
    std::function<int(const std::vector<std::string>&)> run;
};

bool parseDouble(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(v);
}

bool parseLong(const std::string& s, long long& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s.c_str(), &end, 10);
    return end && *end == '\0' && errno == 0;
}

// The ".or" and ".bin" of a map given by either of them.
void mapPaths(const std::string& arg, fs::path& orPath, fs::path& binPath) {
    fs::path p(arg);
    orPath = resolvePathCase(withExtension(p, ".or"));
    binPath = resolvePathCase(withExtension(p, ".bin"));
}

// Reads a map given by its ".or" or ".bin": the orientation record and the
// objects.  Returns the path of the ".or".
fs::path loadMap(const std::string& arg, MapDoc& doc) {
    fs::path orPath, binPath;
    mapPaths(arg, orPath, binPath);
    if (!fs::exists(orPath)) throw FileError("Нет ориентирного файла " + pathText(orPath));
    doc.Orientation = ReadOrientation(orPath);
    LoadObjects(binPath, doc.ObjList);
    return orPath;
}

int cmdInfo(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"info: нужен один аргумент MAP"};
    MapDoc doc;
    loadMap(a[0], doc);
    const auto& o = doc.Orientation;
    long long vertices = 0, points = 0, lines = 0, areas = 0;
    for (const auto& obj : doc.ObjList) {
        vertices += obj->PointCount();
        points += obj->Kind == KindPoint;
        lines += obj->Kind == KindLine;
        areas += obj->Kind == KindArea;
    }
    std::printf("extent: %.3f %.3f %.3f %.3f\n", o.XMax, o.XMin, o.YMax, o.YMin);
    std::printf("coord-kind: %d\n", o.CoordKind);
    std::printf("axial-meridian: %.9f\n", o.AxialMeridian);
    std::printf("next-node: %d\n", o.NextNode);
    std::printf("objects: %zu\n", doc.ObjList.size());
    std::printf("vertices: %lld\n", vertices);
    std::printf("kinds: points=%lld lines=%lld areas=%lld\n", points, lines, areas);
    return 0;
}

int cmdConvert(const std::vector<std::string>& a) {
    if (a.size() != 2) throw UsageError{"convert: нужны аргументы IN.bin OUT.bin"};
    TObjList list;
    LoadObjects(fs::path(a[0]), list);
    SaveObjects(fs::path(a[1]), list);
    // The output opens as a map only with an orientation file beside it:
    // when it has none, the input's is copied.
    const fs::path inOr = resolvePathCase(withExtension(fs::path(a[0]), ".or"));
    const fs::path outOr = withExtension(fs::path(a[1]), ".or");
    if (!fs::exists(resolvePathCase(outOr)) && fs::exists(inOr)) WriteOrientation(outOr, ReadOrientation(inOr));
    return 0;
}

// The plane coordinate series holds to a centimetre 6 degrees either side
// of the axial meridian (18 cm at 9, a metre at 12).
constexpr double kMaxMeridianOffset = 6;

int cmdCoord(const std::vector<std::string>& a) {
    if (a.size() != 3) throw UsageError{"coord: нужны аргументы LAT LON MERIDIAN"};
    double lat, lon, mer;
    if (!parseDouble(a[0], lat) || !parseDouble(a[1], lon) || !parseDouble(a[2], mer))
        throw UsageError{"coord: LAT, LON и MERIDIAN должны быть числами (градусы)"};
    if (lat < -90 || lat > 90) throw UsageError{"coord: широта LAT должна быть от -90 до 90 градусов"};
    if (std::fabs(lon - mer) > kMaxMeridianOffset)
        throw UsageError{"coord: долгота LON должна отстоять от осевого меридиана MERIDIAN не более чем на " +
                         std::to_string(int(kMaxMeridianOffset)) + " градусов (дальше ряд неточен)"};
    const double k = std::numbers::pi / 180;
    double x, y;
    PlaneFromGeographic(lat * k, lon * k, mer * k, x, y);
    std::printf("x=%.4f y=%.4f\n", x, y);
    return 0;
}

// The most objects a map can number (object numbers are 32-bit).
constexpr long long kMaxObjects = 2147483647LL;
constexpr long long kMaxNetworkNodes = 4000000;  // a 464 MB network file
// Runs from this size on tell their progress on standard error.
constexpr long kProgressFrom = 200000;

// Memory available to this process (bytes), 0 when unknown.
uint64_t availableMemory() {
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    unsigned long long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) break;
    std::fclose(f);
    return uint64_t(kb) * 1024;
}

int cmdSampleCity(const std::vector<std::string>& a) {
    sample::Options opt;
    std::string dir;
    for (size_t i = 0; i < a.size(); ++i) {
        long long v;
        if (a[i] == "--objects") {
            if (i + 1 >= a.size() || !parseLong(a[i + 1], v) || v < 1)
                throw UsageError{"sample-city: --objects требует целое число не меньше 1"};
            if (v > kMaxObjects)
                throw UsageError{"sample-city: --objects не больше " + std::to_string(kMaxObjects)};
            opt.objects = long(v);
            ++i;
        } else if (a[i] == "--network-nodes") {
            if (i + 1 >= a.size() || !parseLong(a[i + 1], v) || v < 2 || v > kMaxNetworkNodes)
                throw UsageError{"sample-city: --network-nodes требует целое число от 2 до " +
                                 std::to_string(kMaxNetworkNodes)};
            opt.networkNodes = long(v);
            ++i;
        } else if (a[i] == "--seed") {
            if (i + 1 >= a.size() || !parseLong(a[i + 1], v) || v < 0)
                throw UsageError{"sample-city: --seed требует неотрицательное целое число"};
            opt.seed = uint64_t(v);
            ++i;
        } else if (!a[i].empty() && a[i][0] == '-') {
            throw UsageError{"sample-city: неизвестный параметр " + a[i]};
        } else if (dir.empty()) {
            dir = a[i];
        } else {
            throw UsageError{"sample-city: лишний аргумент " + a[i]};
        }
    }
    if (dir.empty()) throw UsageError{"sample-city: нужен аргумент DIR"};
    // Refused before anything is written when it cannot fit in memory.
    const uint64_t need = sample::MemoryForObjects(opt.objects);
    const uint64_t avail = availableMemory();
    if (avail > 0 && need > avail)
        throw FileError("для " + std::to_string(opt.objects) + " объектов нужно около " +
                        std::to_string(need >> 20) + " МБ памяти, доступно " + std::to_string(avail >> 20) +
                        " МБ");
    if (opt.objects >= kProgressFrom) {
        opt.progress = [](const std::string& s) {
            std::fprintf(stderr, "sample-city: %s\n", s.c_str());
            std::fflush(stderr);
        };
    }
    sample::writeStartFolder(fs::path(dir), opt);
    return 0;
}

// A GUI application object for drawing (fonts); offscreen unless a
// platform is chosen.
void ensureGuiApp() {
    if (QGuiApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureRuntimeDir();
    static int argc = 1;
    static char name[] = "dmap";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

// The largest picture `render` draws (8000 x 8000): a damaged orientation
// record must not make it take gigabytes.
constexpr double kMaxRenderPixels = 64e6;

int cmdRender(const std::vector<std::string>& a) {
    std::string map, out, start;
    int width = 1920;
    double printFactor = 0;
    bool withNames = false;
    bool smallest = false, timing = false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto value = [&](const char* what) {
            if (i + 1 >= a.size()) throw UsageError{std::string("render: ") + what + " требует значение"};
            return a[++i];
        };
        if (a[i] == "-o") {
            out = value("-o");
        } else if (a[i] == "--screen-width") {
            long long v;
            if (!parseLong(value("--screen-width"), v) || v < 1 || v > 100000)
                throw UsageError{"render: --screen-width должно быть целым от 1 до 100000"};
            width = int(v);
        } else if (a[i] == "--print-factor") {
            double v;
            if (!parseDouble(value("--print-factor"), v) || v <= 1 || v > 16)
                throw UsageError{"render: --print-factor должно быть числом больше 1 и не больше 16"};
            printFactor = v;
        } else if (a[i] == "--names") {
            withNames = true;
        } else if (a[i] == "--smallest") {
            smallest = true;
        } else if (a[i] == "--timing") {
            timing = true;
        } else if (a[i] == "--start") {
            start = value("--start");
        } else if (!a[i].empty() && a[i][0] == '-') {
            throw UsageError{"render: неизвестный параметр " + a[i]};
        } else if (map.empty()) {
            map = a[i];
        } else {
            throw UsageError{"render: лишний аргумент " + a[i]};
        }
    }
    if (map.empty() || out.empty()) throw UsageError{"render: нужны MAP и -o OUT.png"};
    ensureGuiApp();
    const QByteArray format = QFileInfo(QString::fromStdString(out)).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        throw UsageError{"render: неизвестный формат изображения \"" + format.toStdString() + "\" (" + out + ")"};
    fs::path orPath, binPath;
    mapPaths(map, orPath, binPath);
    if (!fs::exists(orPath)) throw FileError("Нет ориентирного файла " + pathText(orPath));

    MapDoc doc;
    doc.Orientation = ReadOrientation(orPath);
    RenderContext ctx;
    ctx.view.setExtent(doc.Orientation);
    if (!ctx.view.FitScaleToScreen(width)) throw FileError("Карта " + pathText(orPath) + " не имеет ширины");
    ctx.view.Scale *= kOpenZoom;
    QSize size = ctx.view.imageSize();
    double factor = 1;
    if (printFactor > 0) {
        factor = printFactor;
        ctx.view.SymbolFactor = factor;
        ctx.PrintScaleX = ctx.PrintScaleY = ctx.view.Scale * factor;
        size = QSize(rnd((ctx.view.ViewYMax - ctx.view.ViewYMin) * ctx.PrintScaleY),
                     rnd((ctx.view.ViewXMax - ctx.view.ViewXMin) * ctx.PrintScaleX));
    }
    if (size.width() < 1 || size.height() < 1 || double(size.width()) * size.height() > kMaxRenderPixels)
        throw FileError("Недопустимый размер изображения " + std::to_string(size.width()) + "x" +
                        std::to_string(size.height()) + " (не больше " + std::to_string(int(kMaxRenderPixels / 1e6)) +
                        " миллионов точек)");
    const fs::path startDir = start.empty() ? orPath.parent_path().parent_path() : fs::path(start);
    ZnakSet znaks;
    try {
        znaks.LoadZnakIndex(startDir / "sem100n.ris");
        ctx.znaks = &znaks;
    } catch (const FileError& e) {
        std::fprintf(stderr, "dmap: %s; знаки не рисуются\n", e.what());
    }
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    LoadObjects(binPath, doc.ObjList);
    const auto t1 = Clock::now();
    QImage image(size, QImage::Format_RGB32);
    RedrawMap(image, doc, ctx);
    if (withNames) {
        // The labels of the map's names file, as "Вывести" shows them.
        NameState names;
        const fs::path nam = resolvePathCase(withExtension(orPath, ".nam"));
        if (fs::exists(nam)) LoadNames(nam, names.MapNames);
        MapView& v = ctx.view;
        v.computeScaleDenominator(rnd((v.ViewXMax - v.ViewXMin) * v.Scale), doc.Orientation.CoordKind == 2,
                                  doc.Orientation.AxialMeridian);
        QPainter p(&image);
        if (printFactor > 0) {
            for (const auto& n : names.MapNames)
                DrawNameScaled(p, *n, v, ctx.PrintScaleX, ctx.PrintScaleY, false);
        } else {
            DrawAllNames(p, names, v, true);
        }
    }
    // PNG: our fast writer by default; with --smallest Qt's, at zlib's
    // strongest level (Qt takes the level from the quality: 0 gives 9) with
    // the best filter chosen for every row.  Other formats as Qt writes them.
    const auto t2 = Clock::now();
    // The picture is encoded in memory and replaces the file only whole.
    std::vector<uint8_t> bytes;
    if (format == "png" && !smallest) {
        bytes = EncodePngFast(image);
    } else {
        QBuffer encoded;
        encoded.open(QIODevice::WriteOnly);
        QImageWriter writer(&encoded, format);
        if (format == "png") writer.setQuality(0);
        if (!writer.write(image))
            throw FileError("Не удалось записать " + out + ": " + writer.errorString().toStdString());
        bytes.assign(encoded.data().begin(), encoded.data().end());
    }
    const auto t3 = Clock::now();
    writeFileAtomically(out, bytes);
    if (timing) {
        auto s = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
        std::fprintf(stderr, "load %.3f s, draw %.3f s, encode %.3f s, write %.3f s; %dx%d, %lld bytes\n",
                     s(t1 - t0), s(t2 - t1), s(t3 - t2), s(Clock::now() - t3), image.width(), image.height(),
                     (long long)bytes.size());
    }
    return 0;
}

int cmdPrint(const std::vector<std::string>& a) {
    std::string map, out, start, layers;
    bool withNames = false;
    int across = -1;  // -1: as the program offers (across for a wide map)
    for (size_t i = 0; i < a.size(); ++i) {
        auto value = [&](const char* what) {
            if (i + 1 >= a.size()) throw UsageError{std::string("print: ") + what + " требует значение"};
            return a[++i];
        };
        if (a[i] == "-o") out = value("-o");
        else if (a[i] == "--names") withNames = true;
        else if (a[i] == "--landscape") across = 1;
        else if (a[i] == "--portrait") across = 0;
        else if (a[i] == "--layers") layers = value("--layers");
        else if (a[i] == "--start") start = value("--start");
        else if (!a[i].empty() && a[i][0] == '-') throw UsageError{"print: неизвестный параметр " + a[i]};
        else if (map.empty()) map = a[i];
        else throw UsageError{"print: лишний аргумент " + a[i]};
    }
    if (map.empty() || out.empty()) throw UsageError{"print: нужны MAP и -o OUT.pdf"};
    fs::path orPath, binPath;
    mapPaths(map, orPath, binPath);
    if (!fs::exists(orPath)) throw FileError("Нет ориентирного файла " + pathText(orPath));
    const fs::path startDir = start.empty() ? orPath.parent_path().parent_path() : fs::path(start);
    // The layers by name, as "Вывод по слоям" shows them.
    std::vector<int> filter;
    bool byLayers = false;
    if (!layers.empty()) {
        const std::vector<std::string> known = LoadLayerList(startDir);
        std::vector<std::string> chosen;
        for (size_t p = 0; p <= layers.size();) {
            const size_t q = std::min(layers.find(',', p), layers.size());
            const std::string name = utf8ToCp1251(layers.substr(p, q - p));
            if (std::find(known.begin(), known.end(), name) == known.end())
                throw FileError("Нет слоя «" + cp1251ToUtf8(name) + "» в " + pathText(startDir / "Sloys.rtf"));
            chosen.push_back(name);
            p = q + 1;
        }
        filter = BuildLayerFilter(startDir, chosen);
        // Layers whose codes files are missing give no code: nothing to print.
        if (filter.empty()) throw FileError("Не указаны слои.");
        byLayers = true;
    }
    // Printed into a file beside OUT, which replaces it only when whole (its
    // folder must be there, and OUT not a folder).
    PdfTarget pdf(out);
    ensureGuiApp();
    MapDoc doc;
    doc.Orientation = ReadOrientation(orPath);
    RenderContext ctx;
    ctx.view.setExtent(doc.Orientation);
    // The screen view the program opens with (for the label sizes).
    if (!ctx.view.FitScaleToScreen(1920)) throw FileError("Карта " + pathText(orPath) + " не имеет ширины");
    ctx.view.Scale *= kOpenZoom;
    MapView& v = ctx.view;
    v.computeScaleDenominator(rnd((v.ViewXMax - v.ViewXMin) * v.Scale), doc.Orientation.CoordKind == 2,
                              doc.Orientation.AxialMeridian);
    LoadObjects(binPath, doc.ObjList);
    NameState names;
    if (withNames) {
        const fs::path nam = resolvePathCase(withExtension(orPath, ".nam"));
        if (fs::exists(nam)) LoadNames(nam, names.MapNames);
    }
    // The point symbols of the start folder's classifier; without them the
    // page is printed all the same, and that is said.
    ZnakSet znaks;
    try {
        znaks.LoadZnakIndex(startDir / "sem100n.ris");
        ctx.znaks = &znaks;
    } catch (const FileError& e) {
        std::fprintf(stderr, "dmap: %s; знаки не печатаются\n", e.what());
    }
    FastPdfCompression fast;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    if (across < 0) across = v.ViewYMax - v.ViewYMin > v.ViewXMax - v.ViewXMin;
    printer.setPageOrientation(across ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setOutputFileName(QString::fromStdString(pdf.temp().string()));
    PrintJob job;
    job.deviceWidth = printer.width();
    job.deviceHeight = printer.height();
    job.layerFilter = byLayers ? &filter : nullptr;
    if (withNames)
        job.drawLabels = [&](QPainter& painter, double psx, double psy) {
            DrawPrintedLabels(painter, names.MapNames, v, psx, psy);
        };
    switch (PrintPage(printer, pdf.temp(), doc, ctx, job)) {
    case PrintResult::Printed: break;
    case PrintResult::NotStarted: throw FileError("Не удалось начать печать в " + pathText(out));
    default: throw FileError("Файл " + pathText(out) + " не записан: печать не завершена");
    }
    pdf.commit();
    return 0;
}

int cmdSemantics(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"semantics: нужен один аргумент FILE.smn"};
    // As the program reads it: RTF, or plain Windows-1251 text; control
    // characters of a damaged file are shown, not sent to the terminal.
    const fs::path path = resolvePathCase(fs::path(a[0]));
    long valid = 0;
    for (const std::string& line : ReadListFile(path)) {
        valid += ParseSemanticLine(line).has_value();
        const std::string u = field(cp1251ToUtf8(line), true) + "\n";
        std::fwrite(u.data(), 1, u.size(), stdout);
    }
    if (valid == 0) throw FileError("В файле " + pathText(path) + " нет ни одной строки семантики");
    return 0;
}

int cmdNames(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"names: нужен один аргумент FILE.nam"};
    std::vector<NameRef> names;
    LoadNames(fs::path(a[0]), names);
    for (const auto& n : names) {
        // The text is every byte of the label, a zero byte included.
        const std::string text = field(cp1251ToUtf8(NameDisplayText(*n)));
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::printf("|%.3f|%.3f|%.3f|%.3f|%d|%d\n", n->X1, n->Y1, n->X2, n->Y2, int(n->Anchor), n->BoundObject);
    }
    return 0;
}

int cmdStreets(const std::vector<std::string>& a) {
    std::string file;
    StreetOrder order = StreetOrder::Old;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--sort") {
            if (i + 1 >= a.size() || (a[i + 1] != "old" && a[i + 1] != "new"))
                throw UsageError{"streets: --sort требует old или new"};
            order = a[i + 1] == "old" ? StreetOrder::Old : StreetOrder::New;
            ++i;
        } else if (!a[i].empty() && a[i][0] == '-') {
            throw UsageError{"streets: неизвестный параметр " + a[i]};
        } else if (file.empty()) {
            file = a[i];
        } else {
            throw UsageError{"streets: лишний аргумент " + a[i]};
        }
    }
    if (file.empty()) throw UsageError{"streets: нужен аргумент FILE.rue"};
    std::vector<StreetRef> streets;
    LoadStreets(fs::path(file), streets);
    for (const StreetRow& r : FillStreetList(streets, order)) {
        const Trues& s = *streets[size_t(r.street)];
        const std::string line = field(cp1251ToUtf8(r.first)) + "|" + field(cp1251ToUtf8(r.second)) + "|" +
                                 std::to_string(s.Axis.size()) + "|" + std::to_string(s.Houses.size()) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

constexpr int kExitNoRoute = 3;

int printRoute(const fs::path& network, const double v[4]) {
    const RoadNetwork net = LoadRoadNetwork(network);
    const RoutePoint p1 = RouteEndPoint(v[0], v[1]), p2 = RouteEndPoint(v[2], v[3]);
    const RouteResult r = RouteTime(net, p1, p2);
    if (r.status != RouteResult::Found) {
        std::fprintf(stderr, "%s\n", NoRouteText(r).c_str());
        return kExitNoRoute;
    }
    const RouteReport rep = ReportRoute(net, p1, p2, r);
    for (const auto& l : rep.lines) std::printf("%s\n", l.c_str());
    std::printf("path:");
    for (int id : r.path) std::printf(" %d", id);
    std::printf("\n");
    return 0;
}

int cmdRoute(const std::vector<std::string>& a) {
    if (a.size() != 5) throw UsageError{"route: нужны аргументы NETWORK.uzl X1 Y1 X2 Y2"};
    double v[4];
    for (int i = 0; i < 4; ++i)
        if (!parseDouble(a[size_t(i) + 1], v[i])) throw UsageError{"route: координаты должны быть числами (метры)"};
    return printRoute(fs::path(a[0]), v);
}

// ---- addresses ------------------------------------------------------------------------

constexpr int kExitNoAddress = 3;

// The street register of a start folder's city, indexed.
AddressIndex addressIndex(const fs::path& start, std::vector<StreetRef>& streets) {
    const fs::path file = resolvePathCase(start / "Darvent" / "darvent.rue");
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) throw FileError("Нет файла улиц " + file.string());
    LoadStreets(file, streets);
    AddressIndex idx;
    idx.build(streets);
    return idx;
}

std::string addressLine(const Trues& s, int house, double x, double y) {
    char xy[96];
    std::snprintf(xy, sizeof xy, "|%.2f|%.2f", x, y);
    return field(cp1251ToUtf8(s.NewName)) + "|" + field(cp1251ToUtf8(s.OldName)) + "|" +
           (house >= 0 ? field(cp1251ToUtf8(s.Houses[size_t(house)].Nomer())) : std::string()) + xy;
}

int noAddress(const char* which = nullptr, const std::string& query = {}) {
    if (which) std::fprintf(stderr, "dmap: Адрес не найден (%s): %s\n", which, query.c_str());
    else std::fprintf(stderr, "dmap: Адрес не найден\n");
    return kExitNoAddress;
}

// The districts of the start folder's city, for telling namesakes apart.
TObjList cityDistricts(const fs::path& start) {
    TObjList bounds;
    const fs::path frontier = resolvePathCase(start / "Darvent" / "frontier.tum");
    std::error_code ec;
    if (fs::is_regular_file(frontier, ec)) {
        try {
            ReadBoundaryFile(frontier, bounds);
        } catch (const std::exception&) {
            // Namesakes are then told apart by their axes.
        }
    }
    return bounds;
}

int cmdFind(const std::vector<std::string>& a) {
    std::vector<std::string> pos;
    long long limit = 20;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--limit") {
            if (i + 1 >= a.size() || !parseLong(a[++i], limit) || limit < 1 || limit > 100000)
                throw UsageError{"find: --limit должно быть целым от 1 до 100000"};
        } else if (a[i].size() > 1 && a[i][0] == '-' && !std::isdigit(static_cast<unsigned char>(a[i][1]))) {
            throw UsageError{"find: неизвестный параметр " + a[i]};
        } else {
            pos.push_back(a[i]);
        }
    }
    if (pos.size() != 2) throw UsageError{"find: нужны аргументы START QUERY"};
    std::vector<StreetRef> streets;
    const AddressIndex idx = addressIndex(fs::path(pos[0]), streets);
    const std::vector<AddressHit> hits = idx.find(pos[1], size_t(limit));
    if (hits.empty()) return noAddress();
    const TObjList bounds = cityDistricts(fs::path(pos[0]));
    const std::vector<std::string> apart = AddressDistinctions(
        hits, [&](double x, double y) { return cp1251ToUtf8(DistrictNameAt(bounds, x, y)); });
    for (size_t i = 0; i < hits.size(); ++i)
        std::printf("%s|%s\n", addressLine(*hits[i].street, hits[i].house, hits[i].X, hits[i].Y).c_str(),
                    field(apart[i]).c_str());
    return 0;
}

int cmdWhere(const std::vector<std::string>& a) {
    if (a.size() != 3) throw UsageError{"where: нужны аргументы START X Y"};
    double x = 0, y = 0;
    if (!parseDouble(a[1], x) || !parseDouble(a[2], y)) throw UsageError{"where: координаты должны быть числами (метры)"};
    std::vector<StreetRef> streets;
    const AddressIndex idx = addressIndex(fs::path(a[0]), streets);
    const std::optional<AddressNear> n = idx.nearest(x, y);
    if (!n) return noAddress();
    std::printf("%s|%.1f\n", addressLine(*n->street, n->house, n->X, n->Y).c_str(), n->distance);
    return 0;
}

int cmdRouteAddress(const std::vector<std::string>& a) {
    if (a.size() != 3) throw UsageError{"route-address: нужны аргументы START FROM TO"};
    std::vector<StreetRef> streets;
    const fs::path start(a[0]);
    const AddressIndex idx = addressIndex(start, streets);
    double v[4];
    for (int k = 0; k < 2; ++k) {
        const std::vector<AddressHit> hits = idx.find(a[size_t(k) + 1], 1);
        if (hits.empty()) return noAddress(k == 0 ? "FROM" : "TO", a[size_t(k) + 1]);
        v[2 * k] = hits[0].X;
        v[2 * k + 1] = hits[0].Y;
    }
    return printRoute(resolvePathCase(start / "njoints.uzl"), v);
}

int cmdCut(const std::vector<std::string>& a) {
    std::vector<std::string> pos;
    int width = sample::kSampleScreenWidth;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--screen-width") {
            long long v;
            if (i + 1 >= a.size() || !parseLong(a[++i], v) || v < 1 || v > 100000)
                throw UsageError{"cut: --screen-width должно быть целым от 1 до 100000"};
            width = int(v);
        } else if (!a[i].empty() && a[i][0] == '-') {
            throw UsageError{"cut: неизвестный параметр " + a[i]};
        } else {
            pos.push_back(a[i]);
        }
    }
    if (pos.size() != 3) throw UsageError{"cut: нужны аргументы MAP BOUNDARY.gtm OUT.bin"};
    fs::path orPath, binPath;
    mapPaths(pos[0], orPath, binPath);
    const OrientationRecord orient = ReadOrientation(orPath);
    TObjList objects;
    LoadObjects(binPath, objects);
    std::vector<NameRef> names;
    const fs::path nam = withExtension(binPath, ".nam");
    if (fileExistsCI(nam)) LoadNames(resolvePathCase(nam), names);
    // Read as "Создать карту" reads it: the drawing reader, pen width 2.
    TObjList bounds;
    ReadBoundaryFile(fs::path(pos[1]), bounds, true);
    if (bounds.empty()) throw FileError("Файл " + pos[1] + " не содержит границы");
    // The view of the map as the program opens it on a screen of this width.
    MapView view;
    view.setExtent(orient);
    if (!view.FitScaleToScreen(width)) throw FileError("Карта " + pathText(orPath) + " не имеет ширины");
    view.Scale *= kOpenZoom;
    const DistrictCut cut = CutRegionToBoundary(objects, *bounds.last(), view, names);
    const fs::path out = withExtension(fs::path(pos[2]), ".bin");
    SaveCutMapFiles(out, cut.objects, orient, cut.labels);
    size_t kept = 0;
    for (const TObj* o : cut.objects) kept += o->Points.empty() ? 0 : 1;
    std::printf("%zu objects, %zu labels -> %s\n", kept, cut.labels.size(), pathText(out).c_str());
    return 0;
}

int cmdDistricts(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"districts: нужен один аргумент DIR (папка области)"};
    fs::path dir(a[0]);
    while (!dir.empty() && !dir.has_filename()) dir = dir.parent_path();
    const std::string region = dir.filename().string();
    const fs::path ray = resolvePathCase(dir / (region + ".ray"));
    std::vector<std::string> refused;
    const std::vector<ListEntry> list = ReadDistrictList(ray, &refused);
    for (const std::string& r : refused) std::fprintf(stderr, "%s\n", r.c_str());
    for (const ListEntry& e : list) {
        long vertices = 0;
        if (!e.file.empty()) {
            const fs::path grn = dir / StemPath(e.file + ".grn");
            if (fileExistsCI(grn)) {
                TObjList b;
                ReadBoundaryFile(grn, b);
                for (const auto& o : b) vertices += o->PointCount();
            }
        }
        // The map is made when its orientation file is there ("Карта не
        // создана." is said of a missing ".or").
        const bool map = !e.file.empty() && fileExistsCI(dir / StemPath(e.file + ".or"));
        const std::string line = field(cp1251ToUtf8(e.name), true) + "|" + field(cp1251ToUtf8(e.file), true) + "|" +
                                 std::to_string(vertices) + "|" + (map ? "yes" : "no") + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return refused.empty() ? 0 : 1;
}

// The positional arguments of a command, and the values of its options
// (each of them takes one value); an unknown option or one without its
// value is a usage error.
std::vector<std::string> splitArguments(const std::string& command, const std::vector<std::string>& a,
                                        const std::vector<std::string>& options,
                                        std::map<std::string, std::string>& values) {
    std::vector<std::string> pos;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::find(options.begin(), options.end(), a[i]) != options.end()) {
            if (i + 1 >= a.size() || a[i + 1].empty()) throw UsageError{command + ": " + a[i] + " требует значение"};
            values[a[i]] = a[i + 1];
            ++i;
        } else if (!a[i].empty() && a[i][0] == '-') {
            throw UsageError{command + ": неизвестный параметр " + a[i]};
        } else {
            pos.push_back(a[i]);
        }
    }
    return pos;
}

int cmdExport(const std::vector<std::string>& a) {
    std::map<std::string, std::string> v;
    const std::vector<std::string> pos = splitArguments("export", a, {"--crs", "--assign-crs", "--start"}, v);
    const std::string start = v["--start"];
    if (v.count("--crs") && v.count("--assign-crs"))
        throw UsageError{"export: нужен один из параметров --crs и --assign-crs"};
    ExportCrs crs;
    crs.definition = v.count("--crs") ? v["--crs"] : v["--assign-crs"];
    crs.transform = !v.count("--assign-crs");
    if (pos.size() != 2) throw UsageError{"export: нужны аргументы MAP OUT.gpkg|OUT.geojson"};
    const fs::path out(pos[1]);
    if (GisDriverFor(out).empty())
        throw UsageError{"export: формат выбирается по расширению OUT: .gpkg или .geojson"};
    MapDoc doc;
    const fs::path orPath = loadMap(pos[0], doc);
    // The classifier of the start folder, the labels and the street
    // register beside the map when they are there.
    const fs::path startDir = start.empty() ? orPath.parent_path().parent_path() : fs::path(start);
    ActiveSemanticList semantics;
    ExportData data;
    data.orientation = &doc.Orientation;
    data.objects = &doc.ObjList;
    const fs::path smn = resolvePathCase(startDir / "sem100n.smn");
    if (fs::exists(smn)) {
        semantics = LoadSemantics(smn);
        data.semantics = &semantics;
    }
    std::vector<NameRef> labels;
    const fs::path nam = resolvePathCase(withExtension(orPath, ".nam"));
    if (fs::exists(nam)) {
        LoadNames(nam, labels);
        data.labels = &labels;
    }
    std::vector<StreetRef> streets;
    const fs::path rue = resolvePathCase(withExtension(orPath, ".rue"));
    if (fs::exists(rue)) {
        LoadStreets(rue, streets);
        data.streets = &streets;
    }
    const ExportReport r = ExportMap(out, data, crs);
    std::printf("%s\n", r.summary().c_str());
    return 0;
}

int cmdImport(const std::vector<std::string>& a) {
    std::map<std::string, std::string> v;
    const std::vector<std::string> pos =
        splitArguments("import", a, {"--code-field", "--name-field", "--code", "--crs", "--start"}, v);
    ImportOptions opt;
    opt.codeField = v["--code-field"];
    opt.nameField = v["--name-field"];
    opt.crs = v["--crs"];
    const std::string start = v["--start"];
    if (v.count("--code")) {
        long long c = 0;
        if (!parseLong(v["--code"], c) || c < INT32_MIN || c > INT32_MAX)
            throw UsageError{"import: --code требует целое число"};
        opt.code = int32_t(c);
    }
    if (pos.size() != 2) throw UsageError{"import: нужны аргументы IN OUT.bin"};
    if (opt.codeField.empty() == !opt.code)
        throw UsageError{"import: нужен ровно один из параметров --code-field NAME и --code N"};
    fs::path orPath, binPath;
    mapPaths(pos[1], orPath, binPath);
    if (!fs::exists(orPath))
        throw FileError("Нет ориентирного файла " + pathText(orPath) +
                        ": объекты добавляются в карту с её системой координат");
    MapDoc doc;
    doc.Orientation = ReadOrientation(orPath);
    if (fs::exists(binPath)) LoadObjects(binPath, doc.ObjList);
    const fs::path startDir = start.empty() ? orPath.parent_path().parent_path() : fs::path(start);
    ActiveSemanticList semantics;
    const fs::path smn = resolvePathCase(startDir / "sem100n.smn");
    if (fs::exists(smn)) semantics = LoadSemantics(smn);
    ImportResult r = ImportFeatures(fs::path(pos[0]), doc.Orientation, opt, &semantics);
    for (auto& o : r.objects) doc.ObjList.append(std::move(o));
    SaveObjects(binPath, doc.ObjList);
    std::printf("%s\n", r.summary().c_str());
    return 0;
}

// ---- the shared city -------------------------------------------------------------------

int cmdDbInit(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"db-init: нужен аргумент URL"};
    PgConnection c(a[0]);
    const int was = InitSchema(c);
    if (was == kSchemaVersion) std::printf("схема версии %d уже на месте: %s\n", kSchemaVersion, c.describe().c_str());
    else std::printf("схема версии %d создана (была %d): %s\n", kSchemaVersion, was, c.describe().c_str());
    return 0;
}

int cmdDbPush(const std::vector<std::string>& a) {
    std::vector<std::string> pos;
    PushOptions o;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--map") {
            if (i + 1 >= a.size()) throw UsageError{"db-push: --map требует имя"};
            o.mapName = a[++i];
        } else if (a[i] == "--replace") {
            o.replace = true;
        } else if (a[i].size() > 1 && a[i][0] == '-') {
            throw UsageError{"db-push: неизвестный параметр " + a[i]};
        } else {
            pos.push_back(a[i]);
        }
    }
    if (pos.size() != 2) throw UsageError{"db-push: нужны аргументы START URL"};
    PgConnection c(pos[1]);
    int shown = -10;
    o.progress = [&](int percent) {
        if (percent >= shown + 10) {
            std::fprintf(stderr, "db-push: %d%%\n", percent);
            shown = percent - percent % 10;
        }
        return true;
    };
    const PushReport r = PushCity(c, fs::path(pos[0]), o);
    std::printf("%s: карт %zu, объектов %zu, записей %zu, домов %zu, файлов %zu\n", r.mapName.c_str(), r.maps, r.objects,
                r.records, r.houses, r.files.size());
    return 0;
}

int cmdDbPull(const std::vector<std::string>& a) {
    if (a.size() != 3) throw UsageError{"db-pull: нужны аргументы URL NAME OUT"};
    PgConnection c(a[0]);
    const std::vector<std::string> files = PullCity(c, a[1], fs::path(a[2]));
    for (const std::string& f : files) std::printf("%s\n", f.c_str());
    return 0;
}

int cmdDbInfo(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"db-info: нужен аргумент URL"};
    PgConnection c(a[0]);
    const StoreSummary s = DescribeStore(c);
    std::printf("схема %d\n", s.schema);
    std::printf("карта|объекты|названия|улицы|дома|остановки|области|изменил|когда\n");
    for (const MapSummary& m : s.maps)
        std::printf("%s|%lld|%lld|%lld|%lld|%lld|%lld|%s|%s\n", m.name.c_str(), m.objects, m.labels, m.streets, m.houses,
                    m.stops, m.areas, m.changedBy.c_str(), m.changedAt.c_str());
    if (!s.lastBy.empty()) std::printf("последнее изменение: %s, %s: %s\n", s.lastBy.c_str(), s.lastAt.c_str(), s.lastWhat.c_str());
    return 0;
}

int cmdDbGrant(const std::vector<std::string>& a) {
    std::vector<std::string> pos, districts;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--districts") {
            if (i + 1 >= a.size()) throw UsageError{"db-grant: --districts требует список районов"};
            const std::string list = a[++i];
            for (size_t p = 0; p <= list.size();) {
                const size_t q = std::min(list.find(',', p), list.size());
                if (q > p) districts.push_back(list.substr(p, q - p));
                p = q + 1;
            }
        } else if (a[i].size() > 1 && a[i][0] == '-') {
            throw UsageError{"db-grant: неизвестный параметр " + a[i]};
        } else {
            pos.push_back(a[i]);
        }
    }
    if (pos.size() != 3) throw UsageError{"db-grant: нужны аргументы URL USER reader|editor|admin"};
    PgConnection c(pos[0]);
    GrantRole(c, pos[1], pos[2], districts);
    std::printf("%s: %s%s\n", pos[1].c_str(), pos[2].c_str(), districts.empty() ? "" : " (районы ограничены)");
    return 0;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> c = {
        {"info", "MAP", "сводка о карте (MAP — её файл .or или .bin)", cmdInfo},
        {"convert", "IN.bin OUT.bin",
         "прочитать файл объектов и записать его снова; если рядом с OUT нет\n"
         "файла .or, туда копируется .or файла IN",
         cmdConvert},
        {"coord", "LAT LON MERIDIAN",
         "плоские x, y географической точки (десятичные градусы; LAT от -90 до 90,\n"
         "LON не дальше 6 градусов от MERIDIAN)",
         cmdCoord},
        {"render", "MAP -o OUT.png [--screen-width W] [--print-factor F] [--start DIR] [--names] [--smallest] [--timing]",
         "нарисовать все объекты карты в рисунок (не больше 64 миллионов точек);\n"
         "PNG с самым быстрым уровнем zlib, --smallest — самый маленький файл;\n"
         "--timing: секунды каждого шага в стандартный поток ошибок", cmdRender},
        {"print", "MAP -o OUT.pdf [--names] [--layers NAME,...] [--start DIR] [--landscape | --portrait]",
         "напечатать карту на страницу PDF, как это делает \"Печать карты\" (слои из\n"
         "файлов слоёв стартовой папки); карта шире высоты печатается поперёк\n"
         "страницы, если не указано иное",
         cmdPrint},
        {"names", "FILE.nam",
         "названия из файла названий, по одному в строке: текст|x1|y1|x2|y2|привязка|объект\n"
         "(в текстах \\, | и переводы строк записаны как \\\\, \\|, \\n и \\r)",
         cmdNames},
        {"semantics", "FILE.smn",
         "строки списка семантик в том виде, в каком их читает программа (RTF или\n"
         "простой текст; управляющие символы записаны как \\xNN; код выхода 1, если\n"
         "ни одна строка не семантика)",
         cmdSemantics},
        {"route", "NETWORK.uzl X1 Y1 X2 Y2", "путь проезда между двумя точками карты (метры)", cmdRoute},
        {"find", "START QUERY [--limit N]",
         "адреса из реестра улиц города, отвечающие запросу QUERY (улица по старому\n"
         "или новому названию, в любом регистре, латиницей, с одной ошибкой в букве,\n"
         "и номер дома), лучшие первыми: новое название|старое название|дом|x|y|отличие\n"
         "(дом или середина оси улицы; отличие — район или начало оси у одноимённых);\n"
         "не больше N, по умолчанию 20; если ничего нет: \"Адрес не найден\", код 3",
         cmdFind},
        {"where", "START X Y",
         "ближайший адрес к точке карты: ближайший дом в пределах 100 м, иначе улица\n"
         "с ближайшей осью: новое название|старое название|дом|x|y|метры; дальше\n"
         "500 м от всех домов и осей: \"Адрес не найден\", код 3",
         cmdWhere},
        {"route-address", "START FROM TO",
         "путь проезда между первыми адресами, найденными для FROM и TO, по сети\n"
         "njoints.uzl стартовой папки, в том же виде, что и route",
         cmdRouteAddress},
        {"streets", "FILE.rue [--sort old|new]",
         "улицы файла улиц в порядке списка улиц:\n"
         "первое название|второе название|точки оси|дома\n"
         "(в названиях \\, | и переводы строк записаны как \\\\, \\|, \\n и \\r)",
         cmdStreets},
        {"cut", "MAP BOUNDARY.gtm OUT.bin [--screen-width W]",
         "вырезать карту по последней границе файла границ, как \"Создать карту\"\n"
         "(вид карты, открытой на экране шириной W точек, по умолчанию 1920) и\n"
         "записать OUT.bin, .or и .nam",
         cmdCut},
        {"districts", "DIR",
         "районы папки области: название|основа имени|точки границы|карта yes/no\n"
         "(карта: её .or на месте; в текстах \\, | и переводы строк записаны как \\\\,\n"
         "\\|, \\n и \\r, прочие управляющие символы \\xNN; строка списка, основа\n"
         "имени которой может указать на файл в другом месте, отвергается в стандартный\n"
         "поток ошибок, код 1)",
         cmdDistricts},
        {"export", "MAP OUT.gpkg|OUT.geojson [--crs DEF | --assign-crs DEF] [--start DIR]",
         "записать объекты, названия и улицы карты (если они есть) в GeoPackage или\n"
         "GeoJSON в системе координат карты; --crs DEF пересчитывает координаты в DEF\n"
         "(любая система, которую принимает GDAL), --assign-crs DEF только объявляет\n"
         "DEF; точечный объект из нескольких точек пишется как мультиточка",
         cmdExport},
        {"import", "IN OUT.bin (--code-field NAME | --code N) [--name-field NAME] [--crs DEF] [--start DIR]",
         "добавить точки, линии и полигоны любого файла, который читает GDAL, в карту\n"
         "OUT (её .or должен быть на месте), пересчитав их в её систему координат;\n"
         "--crs DEF — система слоёв, которые её не объявляют; мультиточка — один\n"
         "точечный объект из нескольких точек",
         cmdImport},
        {"db-init", "URL",
         "создать или обновить схему общей базы (PostgreSQL/PostGIS) и роли darvent_reader,\n"
         "darvent_editor, darvent_admin; URL — строка соединения libpq или postgresql://",
         cmdDbInit},
        {"db-push", "START URL [--map NAME] [--replace]",
         "загрузить город стартовой папки (карту города, карты районов, названия, улицы с\n"
         "домами, остановки, метро, области пользователя, списки и границы районов) в базу\n"
         "одной транзакцией; карта с таким именем заменяется только с --replace",
         cmdDbPush},
        {"db-pull", "URL NAME OUT",
         "записать город NAME из базы в стартовую папку OUT теми же файлами, что были загружены",
         cmdDbPull},
        {"db-info", "URL",
         "карты базы с числом объектов, названий, улиц, домов, остановок и областей,\n"
         "версия схемы и кто что изменил последним",
         cmdDbInfo},
        {"db-grant", "URL USER reader|editor|admin [--districts A,B]",
         "дать пользователю роль; редактор с районами меняет только объекты в их границах",
         cmdDbGrant},
        {"sample-city", "DIR [--objects N] [--seed S] [--network-nodes M]",
         "записать пример стартовой папки с картой города (N >= 1 объектов; для\n"
         "больших N ход работы в стандартный поток ошибок); дорожная сеть\n"
         "примерно из M узлов (2..4000000; по умолчанию сетка улиц города, не\n"
         "больше 32768 узлов)",
         cmdSampleCity},
    };
    return c;
}

// A help text of several lines, each after `indent`.
std::string indented(const char* text, const std::string& indent) {
    std::string out = indent;
    for (const char* p = text; *p; ++p) {
        out += *p;
        if (*p == '\n' && p[1]) out += indent;
    }
    return out;
}

void printHelp(std::FILE* to) {
    std::fprintf(to, "использование: dmap <команда> [аргументы]\n\nкоманды:\n");
    for (const auto& c : commands())
        std::fprintf(to, "  %-12s %s\n%s\n", c.name, c.args, indented(c.help, std::string(17, ' ')).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    IgnoreFileSizeSignal();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printHelp(stderr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(stdout);
        return 0;
    }
    for (const auto& c : commands()) {
        if (args[0] != c.name) continue;
        for (size_t i = 1; i < args.size(); ++i)
            if (args[i] == "-h" || args[i] == "--help") {
                std::printf("использование: dmap %s %s\n%s\n", c.name, c.args, indented(c.help, "  ").c_str());
                return 0;
            }
        try {
            // A command without options takes no "--name".
            if (std::string_view(c.args).find("--") == std::string_view::npos)
                for (size_t i = 1; i < args.size(); ++i)
                    if (args[i].rfind("--", 0) == 0) throw UsageError{std::string(c.name) + ": неизвестный параметр " + args[i]};
            return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const UsageError& e) {
            std::fprintf(stderr, "dmap: %s\nиспользование: dmap %s %s\n", e.text.c_str(), c.name, c.args);
            return kExitUsage;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dmap: %s\n", e.what());
            return kExitError;
        }
    }
    std::fprintf(stderr, "dmap: неизвестная команда %s; список команд: dmap -h\n", args[0].c_str());
    return kExitUsage;
}
