// Benchmarks of whole operations on a large generated map.  Each figure is
// the median of several runs, next to a baseline measured in the same run.
#include "admin/Boundaries.h"
#include "admin/MapCut.h"
#include "Operators.h"
#include "app/MainWindow.h"
#include "interop/GisExchange.h"
#include "app/StreetListDialog.h"
#include "display/DialogPort.h"
#include "classifier/Znak.h"
#include "cli/SampleCity.h"
#include "display/PdfCompression.h"
#include "display/Print.h"
#include "display/Redraw.h"
#include "display/RuntimeDir.h"
#include "editing/HitTest.h"
#include "routing/RoadNetwork.h"
#include "store/CityStore.h"
#include "store/Pg.h"
#include "streets/AddressIndex.h"
#include "mapdata/Cp1251.h"
#include "mapdata/MapDoc.h"

#include <QApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QLineEdit>
#include <QPrinter>
#include <QTableView>
#include <QImage>
#include <QLine>
#include <QPainter>

#include <fcntl.h>
#include <libpq-fe.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <queue>
#include <random>
#include <string>
#include <map>
#include <vector>

namespace fs = std::filesystem;
using namespace dm;
using Clock = std::chrono::steady_clock;

namespace {

// Answers every question of the program without a window: no, cancel.
class ScriptedAnswers : public DialogPort {
public:
    void message(const QString& t) override { std::fprintf(stderr, "message: %s\n", t.toUtf8().constData()); }
    Answer question(const QString&, bool) override { return Answer::No; }
    std::optional<QString> inputText(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName(const QString&, const QString&, const QStringList&) override { return std::nullopt; }
    std::optional<QString> saveFileName(const QString&, const QString&, const QStringList&) override { return std::nullopt; }
    std::optional<QColor> chooseColor(const QColor&) override { return std::nullopt; }
    std::optional<std::pair<QFont, QColor>> chooseFont(const QFont&, const QColor&) override { return std::nullopt; }
    bool setUpPrinter(QPrinter&) override { return false; }
    std::optional<std::pair<QString, QString>> namesDialog(const QString&, const QString&) override { return std::nullopt; }
    std::optional<int> chooseOption(const QString&, const QString&, const QStringList&, int) override { return std::nullopt; }
    int exec(QDialog&) override { return 0; }
};

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// "lowest-highest" of the runs.
std::string spread(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    char buf[64];
    std::snprintf(buf, sizeof buf, v.front() < 0.1 ? "%.4f-%.4f" : "%.2f-%.2f", v.front(), v.back());
    return buf;
}

// A figure of this process's status in kB ("VmRSS:" resident now, "VmHWM:"
// the peak), -1 when it is not there.
long statusKb(const std::string& key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return -1;
}
long rssKb() { return statusKb("VmRSS:"); }
long peakRssKb() { return statusKb("VmHWM:"); }

// The two fastest simple ways to go through the file's bytes: reading it
// through one reused buffer of the loader's chunk size (1 MiB), and mapping
// it and touching every page.  Both sum a byte per 4 KiB so that nothing is
// optimised away; both return the sum, so that they can be compared.
uint64_t readReused(const fs::path& p, std::vector<uint8_t>& buf) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) throw FileError("cannot open " + p.string());
    buf.resize(1 << 20);
    uint64_t sum = 0, at = 0;
    size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        for (size_t i = size_t((4096 - at % 4096) % 4096); i < got; i += 4096) sum += buf[i];
        at += got;
    }
    std::fclose(f);
    return sum;
}

uint64_t readMapped(const fs::path& p) {
    const int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0) throw FileError("cannot open " + p.string());
    const size_t size = fs::file_size(p);
    void* m = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    ::close(fd);
    if (m == MAP_FAILED) throw FileError("cannot map " + p.string());
    const auto* b = static_cast<const uint8_t*>(m);
    uint64_t sum = 0;
    for (size_t i = 0; i < size; i += 4096) sum += b[i];
    if (m) ::munmap(m, size);
    return sum;
}

// One load in this process, which has loaded nothing before: prints the
// seconds, the resident memory it added, the peak resident memory and the
// number of objects.
int benchLoadOnce(const fs::path& bin) {
    malloc_trim(0);
    const long before = rssKb();
    TObjList list;
    const double t = seconds([&] { LoadObjects(bin, list); });
    std::printf("%.6f %ld %ld %zu\n", t, rssKb() - before, peakRssKb(), list.size());
    return 0;
}

// The file read whole into memory this process had not used before (one
// buffer of the file's size): the least a load must do.  Prints the seconds.
int benchReadOnce(const fs::path& bin) {
    malloc_trim(0);
    uint64_t sum = 0;
    const double t = seconds([&] {
        std::FILE* f = std::fopen(bin.c_str(), "rb");
        if (!f) throw FileError("cannot open " + bin.string());
        const size_t size = fs::file_size(bin);
        std::unique_ptr<uint8_t[]> buf(new uint8_t[size]);
        size_t at = 0, got;
        while (at < size && (got = std::fread(buf.get() + at, 1, std::min<size_t>(size - at, 1 << 20), f)) > 0) at += got;
        std::fclose(f);
        for (size_t i = 0; i < at; i += 4096) sum += buf[i];
    });
    std::printf("%.6f %llu\n", t, static_cast<unsigned long long>(sum));
    return 0;
}

// The objects decoded on one thread straight from the mapped file into
// flat arrays (a fixed record per object, every name in one array of
// bytes, every vertex in one array of points), reserved once from the
// file's size: the simplest fast reader.  Prints the seconds and the
// number of objects.
int benchFlatOnce(const fs::path& bin) {
    malloc_trim(0);
    struct Head {
        int32_t number, start, end, code, pen, penStyle, penWidth, brushStyle, brush, extra;
        uint8_t kind, shape;
        uint32_t name, nameLength, first, count;
        double extraReal, elevation;
    };
    struct Pt {
        double x, y;
    };
    std::vector<Head> heads;
    std::vector<char> names;
    std::vector<Pt> points;
    const double t = seconds([&] {
        const int fd = ::open(bin.c_str(), O_RDONLY);
        if (fd < 0) throw FileError("cannot open " + bin.string());
        const size_t size = fs::file_size(bin);
        void* m = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0) : nullptr;
        ::close(fd);
        if (m == MAP_FAILED) throw FileError("cannot map " + bin.string());
        const auto* b = static_cast<const uint8_t*>(m);
        // The most a file of this size can hold (only what is written is touched).
        heads.reserve(size / 74 + 1);
        names.reserve(size);
        points.reserve(size / 16 + 1);
        auto i32 = [&](size_t at) {
            int32_t v;
            std::memcpy(&v, b + at, 4);
            return v;
        };
        auto f64 = [&](size_t at) {
            double v;
            std::memcpy(&v, b + at, 8);
            return v;
        };
        size_t at = 0;
        while (at + 22 <= size) {
            Head h;
            h.number = i32(at);
            h.start = i32(at + 4);
            h.end = i32(at + 8);
            h.kind = b[at + 12];
            h.code = i32(at + 13);
            h.shape = b[at + 17];
            const int32_t field = i32(at + 18);
            at += 22;
            if (field < 1 || at + size_t(field) + 52 > size) throw FileError("damaged at " + std::to_string(at));
            h.nameLength = std::min<uint32_t>(b[at], uint32_t(field - 1));
            h.name = uint32_t(names.size());
            names.insert(names.end(), b + at + 1, b + at + 1 + h.nameLength);
            at += size_t(field);
            h.pen = i32(at);
            h.penStyle = i32(at + 4);
            h.penWidth = i32(at + 8);
            h.brushStyle = i32(at + 12);
            h.brush = i32(at + 16);
            h.extra = i32(at + 20);
            h.extraReal = f64(at + 24);
            h.elevation = f64(at + 32);
            const int32_t n = i32(at + 40);
            at += 44;
            if (n < 0 || at + size_t(n) * 16 > size) throw FileError("damaged at " + std::to_string(at));
            h.first = uint32_t(points.size());
            h.count = uint32_t(n);
            const size_t had = points.size();
            points.resize(had + size_t(n));
            std::memcpy(points.data() + had, b + at, size_t(n) * 16);
            at += size_t(n) * 16;
            heads.push_back(h);
        }
        if (m) ::munmap(m, size);
    });
    std::printf("%.6f %zu\n", t, heads.size());
    return 0;
}

double readInFreshProcess(const fs::path& bin, const char* how = "read-once", size_t* count = nullptr) {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(how), QString::fromStdString(bin.string())});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) throw FileError(std::string(how) + " failed");
    double t = 0;
    size_t n = 0;
    if (std::sscanf(p.readAllStandardOutput().constData(), "%lf %zu", &t, &n) < 1) throw FileError(std::string(how) + " printed nothing");
    if (count) *count = n;
    return t;
}

struct OnceResult {
    double seconds = 0;
    long addedKb = 0, peakKb = 0;
    size_t objects = 0;
};

// Runs this program again for one load in a fresh process.
OnceResult loadInFreshProcess(const fs::path& bin) {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("load-once"), QString::fromStdString(bin.string())});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        throw FileError("load-once failed: " + p.readAllStandardError().toStdString());
    OnceResult r;
    if (std::sscanf(p.readAllStandardOutput().constData(), "%lf %ld %ld %zu", &r.seconds, &r.addedKb, &r.peakKb,
                    &r.objects) != 4)
        throw FileError("load-once printed nothing");
    return r;
}

int benchLoad(const fs::path& bin, int runs) {
    const double mb = double(fs::file_size(bin)) / 1e6;
    std::printf("file: %s (%.1f MB)\n", bin.c_str(), mb);
    std::vector<uint8_t> buf;
    const uint64_t sum = readReused(bin, buf);  // warms the page cache
    if (readMapped(bin) != sum) throw FileError("the two reads disagree");
    std::vector<double> reused, mapped, first, save, ratioReused, ratioMapped, fresh, ratioFresh, flat, ratioFlat;
    std::vector<long> added, peak;
    size_t objects = 0;
    const fs::path out = bin.parent_path() / "bench-save.bin";
    for (int i = 0; i < runs; ++i) {
        const double r = seconds([&] { readReused(bin, buf); });
        const double m = seconds([&] { readMapped(bin); });
        const OnceResult o = loadInFreshProcess(bin);
        const double fr = readInFreshProcess(bin);
        size_t flatObjects = 0;
        const double fl = readInFreshProcess(bin, "flat-once", &flatObjects);
        if (flatObjects != o.objects) throw FileError("the flat reader and the load count different objects");
        fresh.push_back(fr);
        ratioFresh.push_back(o.seconds / fr);
        flat.push_back(fl);
        ratioFlat.push_back(o.seconds / fl);
        reused.push_back(r);
        mapped.push_back(m);
        first.push_back(o.seconds);
        added.push_back(o.addedKb);
        peak.push_back(o.peakKb);
        objects = o.objects;
        ratioReused.push_back(r / o.seconds);
        ratioMapped.push_back(m / o.seconds);
    }
    {
        TObjList l;
        LoadObjects(bin, l);
        for (int i = 0; i < runs; ++i) save.push_back(seconds([&] { SaveObjects(out, l); }));
        if (readWholeFile(out) != readWholeFile(bin)) throw FileError("the saved file differs from the loaded one");
    }
    fs::remove(out);
    std::sort(added.begin(), added.end());
    std::sort(peak.begin(), peak.end());
    const double r = median(reused), m = median(mapped), f = median(first), s = median(save);
    std::printf("objects: %zu, runs: %d (medians, spread)\n", objects, runs);
    std::printf("read through a reused 1 MiB buffer: %7.3f s  %8.1f MB/s (%s)\n", r, mb / r, spread(reused).c_str());
    std::printf("mmap and touch every page:          %7.3f s  %8.1f MB/s (%s)\n", m, mb / m, spread(mapped).c_str());
    std::printf("first load in a fresh process:      %7.3f s  %8.1f MB/s (%s)\n", f, mb / f, spread(first).c_str());
    std::printf("file read into fresh memory, fresh process: %7.3f s (%s)\n", median(fresh), spread(fresh).c_str());
    std::printf("load / read into fresh memory = %.2f (%s; the read includes faulting in the fresh pages)\n",
                median(ratioFresh), spread(ratioFresh).c_str());
    std::printf("flat reader (mapped file decoded into flat arrays, one thread), fresh process: %7.3f s (%s)\n",
                median(flat), spread(flat).c_str());
    std::printf("load / flat reader = %.2f (%s; target <= 1.0)\n", median(ratioFlat), spread(ratioFlat).c_str());
    std::printf("load speed = %.2f of the reused-buffer read (%s; aim >= 0.5), %.2f of mmap (%s)\n",
                median(ratioReused), spread(ratioReused).c_str(), median(ratioMapped), spread(ratioMapped).c_str());
    const double resident = double(added[added.size() / 2]) * 1024 / 1e6;
    std::printf("resident memory added by the load: %.1f MB = %.2f x file size (aim <= 1.3); peak of the process "
                "%.1f MB\n",
                resident, resident / mb, double(peak[peak.size() / 2]) * 1024 / 1e6);
    std::printf("save: %7.3f s  %8.1f MB/s (%s), the file written back byte for byte\n", s, mb / s,
                spread(save).c_str());
    return 0;
}

// The same objects' pixels written straight into the image's memory, as
// simply as it can be done: each segment by Bresenham (pixels off the
// image skipped), each closed area with a solid brush filled by scanlines
// (even-odd, pixel centres) before its outline.
struct DirectPixels {
    QImage& img;
    std::vector<QPoint> pts;
    std::vector<double> xs;
    // The image's memory and row length, taken once; a row's pointer is
    // taken when a line enters the row.
    uchar* bits = nullptr;
    qsizetype stride = 0;
    int w = 0, h = 0;
    void begin() {
        bits = img.bits();
        stride = img.bytesPerLine();
        w = img.width();
        h = img.height();
    }
    QRgb* row(int y) const { return reinterpret_cast<QRgb*>(bits + y * stride); }
    void plot(int x, int y, QRgb c) {
        if (unsigned(x) < unsigned(w) && unsigned(y) < unsigned(h)) row(y)[x] = c;
    }
    void line(QPoint a, QPoint b, QRgb c) {
        int x = a.x(), y = a.y();
        const int dx = std::abs(b.x() - x), dy = -std::abs(b.y() - y), sx = x < b.x() ? 1 : -1,
                  sy = y < b.y() ? 1 : -1;
        int err = dx + dy;
        const bool rowInside = unsigned(y) < unsigned(h);
        QRgb* r = rowInside ? row(y) : nullptr;
        for (;;) {
            if (r && unsigned(x) < unsigned(w)) r[x] = c;
            if (x == b.x() && y == b.y()) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
                r = unsigned(y) < unsigned(h) ? row(y) : nullptr;
            }
        }
    }
    void fill(QRgb c) {
        int y0 = INT_MAX, y1 = INT_MIN;
        for (const QPoint& q : pts) {
            y0 = std::min(y0, q.y());
            y1 = std::max(y1, q.y());
        }
        y0 = std::max(y0, 0);
        y1 = std::min(y1, h - 1);
        const size_t n = pts.size();
        for (int y = y0; y <= y1; ++y) {
            xs.clear();
            for (size_t i = 0; i < n; ++i) {
                const QPoint a = pts[i], b = pts[(i + 1) % n];
                if ((a.y() <= y) == (b.y() <= y)) continue;
                xs.push_back(a.x() + double(y - a.y()) * (b.x() - a.x()) / (b.y() - a.y()));
            }
            std::sort(xs.begin(), xs.end());
            QRgb* r = row(y);
            for (size_t k = 0; k + 1 < xs.size(); k += 2) {
                const int from = std::max(0, int(std::ceil(xs[k]))), to = std::min(w - 1, int(std::floor(xs[k + 1])));
                for (int x = from; x <= to; ++x) r[x] = c;
            }
        }
    }
    void draw(const TObj& o, const MapView& v) {
        pts.resize(o.Points.size());
        for (size_t j = 0; j < pts.size(); ++j) {
            const TGn g = v.toPixel(o.Points[j]);
            pts[j] = QPoint(g.PX, g.PY);
        }
        auto rgb = [](int32_t c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
        if (o.Kind == KindArea && o.BrushStyle == 0 && pts.size() >= 3 && pts.front() == pts.back()) fill(rgb(o.BrushColor));
        const QRgb pen = rgb(o.PenColor);
        for (size_t j = 1; j < pts.size(); ++j) line(pts[j - 1], pts[j], pen);
        if (pts.size() == 1) plot(pts[0].x(), pts[0].y(), pen);
    }
};

// The redraw of the map as the program opens it (1920-pixel screen) and of
// three views zoomed into its middle showing 1/10, 1/100 and 1/1000 of that
// area in a picture of the same size.  Each picture is checked against the
// reference drawing (every object of the list drawn in turn); the baseline
// is a bare painter loop that goes through every object's box, turns the
// vertices of those in the view into pixels and draws them with drawLines.
int benchRedraw(const fs::path& bin, int runs) {
    MapDoc doc;
    doc.Orientation = ReadOrientation(withExtension(bin, ".or"));
    LoadObjects(bin, doc.ObjList);
    RenderContext ctx;
    ctx.view.setExtent(doc.Orientation);
    ctx.view.FitScaleToScreen(1920);
    ctx.view.Scale *= kOpenZoom;
    ZnakSet znaks;
    try {
        znaks.LoadZnakIndex(bin.parent_path().parent_path() / "sem100n.ris");
        ctx.znaks = &znaks;
    } catch (const FileError&) {
    }
    const MapView opening = ctx.view;
    const QSize size = opening.imageSize();
    QImage image(size, QImage::Format_RGB32), ref(size, QImage::Format_RGB32), bare(size, QImage::Format_RGB32),
        direct(size, QImage::Format_RGB32);
    DirectPixels pixels{direct, {}, {}};
    struct Box {
        double x0, x1, y0, y1;
    };
    std::vector<Box> boxes;
    boxes.reserve(doc.ObjList.size());
    for (const auto& o : doc.ObjList) {
        Box b{1e300, -1e300, 1e300, -1e300};
        for (const TXY& p : o->Points) {
            b.x0 = std::min(b.x0, p.X);
            b.x1 = std::max(b.x1, p.X);
            b.y0 = std::min(b.y0, p.Y);
            b.y1 = std::max(b.y1, p.Y);
        }
        boxes.push_back(b);
    }
    std::printf("image: %dx%d, objects: %zu, runs: %d (medians, spread)\n", size.width(), size.height(),
                doc.ObjList.size(), runs);
    const double cx = (opening.ViewXMax + opening.ViewXMin) / 2, cy = (opening.ViewYMax + opening.ViewYMin) / 2;
    int status = 0;
    for (const double share : {1.0, 0.1, 0.01, 0.001}) {
        MapView& v = ctx.view;
        v = opening;
        if (share < 1) {
            v.Scale = opening.Scale / std::sqrt(share);
            v.ViewXMax = cx + size.height() / 2.0 / v.Scale;
            v.ViewXMin = cx - size.height() / 2.0 / v.Scale;
            v.ViewYMin = cy - size.width() / 2.0 / v.Scale;
            v.ViewYMax = cy + size.width() / 2.0 / v.Scale;
        }
        std::vector<double> redraw, loop, whole, ratio, pixelLoop, pixelRatio, listLoop, listRatio, polyLoop, polyRatio;
        size_t drawnObjects = 0, segments = 0;
        std::vector<QLine> lines;
        // The objects in the view, found before the clock starts.
        std::vector<const TObj*> inView;
        for (size_t k = 0; k < boxes.size(); ++k) {
            const Box& bx = boxes[k];
            if (!(bx.x1 < v.ViewXMin || bx.x0 > v.ViewXMax || bx.y1 < v.ViewYMin || bx.y0 > v.ViewYMax))
                inView.push_back(doc.ObjList[k]);
        }
        for (int i = 0; i < runs; ++i) {
            const double r = seconds([&] { RedrawMap(image, doc, ctx); });
            const double b = seconds([&] {
                bare.fill(Qt::white);
                QPainter p(&bare);
                p.setPen(QPen(Qt::black, 0));
                drawnObjects = segments = 0;
                for (size_t k = 0; k < boxes.size(); ++k) {
                    const Box& bx = boxes[k];
                    if (bx.x1 < v.ViewXMin || bx.x0 > v.ViewXMax || bx.y1 < v.ViewYMin || bx.y0 > v.ViewYMax) continue;
                    const TObj& o = *doc.ObjList[k];
                    lines.clear();
                    for (size_t j = 1; j < o.Points.size(); ++j) {
                        const TGn a = v.toPixel(o.Points[j - 1]), c = v.toPixel(o.Points[j]);
                        lines.emplace_back(a.PX, a.PY, c.PX, c.PY);
                    }
                    ++drawnObjects;
                    segments += lines.size();
                    if (!lines.empty()) p.drawLines(lines.data(), int(lines.size()));
                }
            });
            const double l = seconds([&] {
                bare.fill(Qt::white);
                QPainter p(&bare);
                p.setPen(QPen(Qt::black, 0));
                for (const TObj* o : inView) {
                    lines.clear();
                    for (size_t j = 1; j < o->Points.size(); ++j) {
                        const TGn a = v.toPixel(o->Points[j - 1]), c = v.toPixel(o->Points[j]);
                        lines.emplace_back(a.PX, a.PY, c.PX, c.PY);
                    }
                    if (!lines.empty()) p.drawLines(lines.data(), int(lines.size()));
                }
            });
            listLoop.push_back(l);
            listRatio.push_back(r / l);
            // A drawPolyline per object in the view (its box tested as above).
            std::vector<QPoint> poly;
            const double pl = seconds([&] {
                bare.fill(Qt::white);
                QPainter p(&bare);
                p.setPen(QPen(Qt::black, 0));
                for (size_t k = 0; k < boxes.size(); ++k) {
                    const Box& bx = boxes[k];
                    if (bx.x1 < v.ViewXMin || bx.x0 > v.ViewXMax || bx.y1 < v.ViewYMin || bx.y0 > v.ViewYMax) continue;
                    const TObj& o = *doc.ObjList[k];
                    poly.resize(o.Points.size());
                    for (size_t j = 0; j < poly.size(); ++j) {
                        const TGn g = v.toPixel(o.Points[j]);
                        poly[j] = QPoint(g.PX, g.PY);
                    }
                    if (poly.size() >= 2) p.drawPolyline(poly.data(), int(poly.size()));
                }
            });
            polyLoop.push_back(pl);
            polyRatio.push_back(r / pl);
            const double d = seconds([&] {
                direct.fill(Qt::white);
                pixels.begin();
                for (size_t k = 0; k < boxes.size(); ++k) {
                    const Box& bx = boxes[k];
                    if (bx.x1 < v.ViewXMin || bx.x0 > v.ViewXMax || bx.y1 < v.ViewYMin || bx.y0 > v.ViewYMax) continue;
                    pixels.draw(*doc.ObjList[k], v);
                }
            });
            pixelLoop.push_back(d);
            pixelRatio.push_back(r / d);
            const double w = seconds([&] {
                ref.fill(Qt::white);
                QPainter p(&ref);
                for (const auto& o : doc.ObjList) DrawObject(p, *o, v.SymbolFactor, ctx);
            });
            redraw.push_back(r);
            loop.push_back(b);
            whole.push_back(w);
            ratio.push_back(r / b);
        }
        const bool same = image == ref;
        if (!same) status = 1;
        std::printf("view of 1/%.0f of the opening area: %zu objects in it, %zu segments; picture %s the reference\n",
                    1 / share, drawnObjects, segments, same ? "identical to" : "DIFFERS FROM");
        std::printf("  redraw %8.4f s (%s)  bare drawLines loop %8.4f s (%s)  reference (every object) %8.3f s\n",
                    median(redraw), spread(redraw).c_str(), median(loop), spread(loop).c_str(), median(whole));
        std::printf("  direct pixel loop %8.4f s (%s)  drawLines over just the objects in the view %8.4f s (%s)\n",
                    median(pixelLoop), spread(pixelLoop).c_str(), median(listLoop), spread(listLoop).c_str());
        std::printf("  redraw / bare loop = %.2f (%s; drawLines over every box in the view); "
                    "redraw / direct pixel loop = %.2f (%s; target <= 2)\n",
                    median(ratio), spread(ratio).c_str(), median(pixelRatio), spread(pixelRatio).c_str());
        std::printf("  redraw / drawLines over just the objects in the view = %.2f (%s)\n", median(listRatio),
                    spread(listRatio).c_str());
        std::printf("  drawPolyline per object in the view %8.4f s (%s); redraw / it = %.2f (%s)\n", median(polyLoop),
                    spread(polyLoop).c_str(), median(polyRatio), spread(polyRatio).c_str());
        // The same objects drawn by the painter alone (clipped to the whole
        // picture, so that it draws every figure itself).
        {
            QImage alone(size, QImage::Format_RGB32);
            alone.fill(Qt::white);
            QPainter p(&alone);
            p.setClipRect(alone.rect());
            for (const auto& o : doc.ObjList) DrawObject(p, *o, v.SymbolFactor, ctx);
            p.end();
            long differ = 0;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) differ += alone.pixel(x, y) != image.pixel(x, y);
            std::printf("  pixels differing from the painter alone: %ld\n", differ);
        }
    }
    return status;
}

// 1,000 clicks on the map as the program opens it: the grid-indexed object
// search against the scan of the whole list, with identical results.
int benchHitTest(const fs::path& bin, int clicks) {
    MapDoc doc;
    doc.Orientation = ReadOrientation(withExtension(bin, ".or"));
    LoadObjects(bin, doc.ObjList);
    MapView view;
    view.setExtent(doc.Orientation);
    view.FitScaleToScreen(1920);
    view.Scale *= kOpenZoom;
    const QSize size = view.imageSize();
    std::mt19937_64 rng(12345);
    std::vector<QPoint> pts;
    for (int i = 0; i < clicks; ++i) {
        if (i % 2 == 0) {
            pts.emplace_back(int(rng() % uint64_t(size.width())), int(rng() % uint64_t(size.height())));
        } else {
            // Near a vertex of a random object, so that many clicks hit.
            const TObj* o = doc.ObjList[rng() % doc.ObjList.size()];
            const TGn g = view.toPixel(o->Points[rng() % o->Points.size()]);
            pts.emplace_back(g.PX + int(rng() % 9) - 4, g.PY + int(rng() % 9) - 4);
        }
    }
    HitTester tester;
    const double build = seconds([&] { tester.FindObject(doc, view, QPoint(-100, -100), nullptr); });
    struct Result {
        int number, index;
        const TObj* cur;
        std::vector<TGn> ep;
    };
    std::vector<Result> indexed, scanned;
    // The indexed clicks 7 times over (the machine is noisy): the median.
    std::vector<double> passes;
    for (int r = 0; r < 7; ++r) {
        indexed.clear();
        passes.push_back(seconds([&] {
            for (QPoint p : pts) {
                const ObjectHit h = tester.FindObject(doc, view, p, nullptr);
                indexed.push_back({h.Number, h.Index, doc.CurObj, doc.EditPoints});
            }
        }));
    }
    const double ti = median(passes);
    for (double& t : passes) t = t / clicks * 1e6;
    const double ts = seconds([&] {
        for (QPoint p : pts) {
            const ObjectHit h = HitTester::FindObjectByScan(doc, view, p, nullptr);
            scanned.push_back({h.Number, h.Index, doc.CurObj, doc.EditPoints});
        }
    });
    // The baseline: every object's box kept together in one array (in list
    // order, made before the clock starts as the grid is), scanned for the
    // boxes within ten pixels of the click (no rule takes a click farther
    // out); the objects of those boxes are tested in list order, with the
    // click rules written out here, until one takes the click.
    struct Box {
        float x0, x1, y0, y1;
    };
    std::vector<Box> boxes;
    boxes.reserve(doc.ObjList.size());
    for (const auto& o : doc.ObjList) {
        double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
        for (const TXY& q : o->Points) {
            x0 = std::min(x0, q.X);
            x1 = std::max(x1, q.X);
            y0 = std::min(y0, q.Y);
            y1 = std::max(y1, q.Y);
        }
        // Rounded outwards to floats.
        boxes.push_back({std::nextafter(float(x0), -INFINITY), std::nextafter(float(x1), INFINITY),
                         std::nextafter(float(y0), -INFINITY), std::nextafter(float(y1), INFINITY)});
    }
    std::vector<Result> boxed;
    std::vector<TGn> ep;
    auto takes = [&](const TObj& o, QPoint p, int& index) {
        if (!AllFinite(o.Points)) return false;
        FillEditPoints(o, view, ep);
        for (size_t j = 0; j < ep.size(); ++j) {
            if (VertexUnderClick(ep[j], p)) {
                index = int(j);
                return true;
            }
            if (j + 1 < ep.size() && SegmentMayHold({ep[j].PX, ep[j].PY}, {ep[j + 1].PX, ep[j + 1].PY}, {p.x(), p.y()}) &&
                PointOnSegment({ep[j].PX, ep[j].PY}, {ep[j + 1].PX, ep[j + 1].PY}, {p.x(), p.y()})) {
                index = int(j);
                return true;
            }
        }
        return false;
    };
    // Interleaved with passes of the indexed search, for the ratio.
    std::vector<double> boxPasses, ratioBox;
    for (int r = 0; r < 5; ++r) {
        const double idx = seconds([&] {
            for (QPoint p : pts) tester.FindObject(doc, view, p, nullptr);
        });
        boxed.clear();
        boxPasses.push_back(seconds([&] {
            for (QPoint p : pts) {
                const TXY c = view.toMap(p.x(), p.y());
                const double m = 10 / view.Scale;
                const float x0 = float(c.X - m), x1 = float(c.X + m), y0 = float(c.Y - m), y1 = float(c.Y + m);
                Result res{-1, -1, nullptr, {}};
                for (size_t k = 0; k < boxes.size(); ++k) {
                    const Box& b = boxes[k];
                    if (b.x1 < x0 || b.x0 > x1 || b.y1 < y0 || b.y0 > y1) continue;
                    const TObj& o = *doc.ObjList[k];
                    if (takes(o, p, res.index)) {
                        res.number = o.Number;
                        res.cur = &o;
                        res.ep = ep;
                        break;
                    }
                }
                boxed.push_back(std::move(res));
            }
        }));
        ratioBox.push_back(idx / boxPasses.back());
    }
    const double tb = median(boxPasses);
    for (double& t : boxPasses) t = t / clicks * 1e6;
    int same = 0, hits = 0, sameBoxed = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const Result &a = indexed[i], &b = scanned[i], &c = boxed[i];
        same += a.number == b.number && a.index == b.index && a.cur == b.cur && a.ep == b.ep;
        sameBoxed += a.number == c.number && a.index == c.index && (a.number < 0 || (a.cur == c.cur && a.ep == c.ep));
        hits += a.number >= 0;
    }
    std::printf("objects: %zu, clicks: %d (%d hit an object), image %dx%d\n", doc.ObjList.size(), clicks, hits,
                size.width(), size.height());
    std::printf("grid build:     %8.3f s (once per change of the list)\n", build);
    std::printf("indexed search: %8.3f s  %10.1f us/click (%s; 7 passes)\n", ti, ti / clicks * 1e6,
                spread(passes).c_str());
    std::printf("scan of the boxes kept together: %8.3f s  %10.1f us/click (%s; 5 passes)\n", tb, tb / clicks * 1e6,
                spread(boxPasses).c_str());
    std::printf("list scan (the program's rule for an unusable view): %8.3f s  %10.1f us/click\n", ts, ts / clicks * 1e6);
    std::printf("indexed / box scan = %.3f (%s); same object and vertex: %d of %d\n", median(ratioBox),
                spread(ratioBox).c_str(), sameBoxed, clicks);
    std::printf("indexed / list scan = 1/%.0f; identical results (current object and its points too): %d of %d\n", ts / ti,
                same, clicks);
    return same == clicks && sameBoxed == clicks ? 0 : 1;
}

// Routes between random node pairs of a large network: the program's search
// on the network prepared once (as the program holds it), against an
// array-based (CSR) Dijkstra over the whole network with integer link times
// computed once, reusing its arrays between queries (only the nodes it
// touched are reset).  Every query's time and path are compared; a route
// the window search finds can be longer than the whole network's shortest
// (the window is a square about the two ends), never shorter.  Repeated
// RUNS times; medians and spread.
namespace {
struct Csr {
    std::vector<int32_t> start, to, time;
    explicit Csr(const RoadNetwork& net) {
        const size_t n = net.size();
        start.assign(n + 1, 0);
        for (size_t a = 0; a < n; ++a) {
            const TRoadNode& na = net.RoadNodes[a];
            for (int k = 0; k < kLinkSlots && na.Link[size_t(k)] != -1; ++k) {
                const int lt = LinkTime(na, net.RoadNodes[size_t(na.Link[size_t(k)])]);
                if (lt >= kNoRoute) continue;
                to.push_back(na.Link[size_t(k)]);
                time.push_back(lt);
            }
            start[a + 1] = int32_t(to.size());
        }
    }
};

struct Dijkstra {
    const Csr& g;
    std::vector<int32_t> dist, prev;
    std::vector<int32_t> touched;
    std::vector<std::pair<int32_t, int32_t>> heap;
    explicit Dijkstra(const Csr& c) : g(c), dist(c.start.size() - 1, INT32_MAX), prev(c.start.size() - 1, -1) {}
    // The time from s to t (-2 when unreachable) and the path.
    int run(int s, int t, std::vector<int>& path) {
        for (int32_t v : touched) {
            dist[size_t(v)] = INT32_MAX;
            prev[size_t(v)] = -1;
        }
        touched.clear();
        heap.clear();
        const auto later = std::greater<std::pair<int32_t, int32_t>>();
        dist[size_t(s)] = 0;
        touched.push_back(s);
        heap.push_back({0, s});
        while (!heap.empty()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            const auto [d, u] = heap.back();
            heap.pop_back();
            if (d != dist[size_t(u)]) continue;
            if (u == t) break;
            for (int32_t e = g.start[size_t(u)]; e < g.start[size_t(u) + 1]; ++e) {
                const int32_t v = g.to[size_t(e)], nd = d + g.time[size_t(e)];
                if (nd < dist[size_t(v)]) {
                    if (dist[size_t(v)] == INT32_MAX) touched.push_back(v);
                    dist[size_t(v)] = nd;
                    prev[size_t(v)] = u;
                    heap.push_back({nd, v});
                    std::push_heap(heap.begin(), heap.end(), later);
                }
            }
        }
        path.clear();
        if (dist[size_t(t)] == INT32_MAX) return -2;
        for (int v = t; v != -1; v = prev[size_t(v)]) path.push_back(v);
        std::reverse(path.begin(), path.end());
        return dist[size_t(t)];
    }
};

// The same search with a four-way heap of (time << 32 | node) keys.
struct Dijkstra4 {
    const Csr& g;
    std::vector<int32_t> dist, prev;
    std::vector<int32_t> touched;
    std::vector<uint64_t> heap;
    explicit Dijkstra4(const Csr& c) : g(c), dist(c.start.size() - 1, INT32_MAX), prev(c.start.size() - 1, -1) {}
    void push(uint64_t k) {
        size_t i = heap.size();
        heap.push_back(k);
        while (i > 0 && heap[(i - 1) / 4] > k) {
            heap[i] = heap[(i - 1) / 4];
            i = (i - 1) / 4;
        }
        heap[i] = k;
    }
    uint64_t pop() {
        const uint64_t top = heap[0], last = heap.back();
        heap.pop_back();
        const size_t n = heap.size();
        if (n == 0) return top;
        size_t i = 0;
        for (size_t c; (c = 4 * i + 1) < n;) {
            size_t best = c;
            for (size_t k = c + 1; k < std::min(c + 4, n); ++k)
                if (heap[k] < heap[best]) best = k;
            if (heap[best] >= last) break;
            heap[i] = heap[best];
            i = best;
        }
        heap[i] = last;
        return top;
    }
    int run(int s, int t, std::vector<int>& path) {
        for (int32_t v : touched) {
            dist[size_t(v)] = INT32_MAX;
            prev[size_t(v)] = -1;
        }
        touched.clear();
        heap.clear();
        dist[size_t(s)] = 0;
        touched.push_back(s);
        push(uint64_t(uint32_t(s)));
        while (!heap.empty()) {
            const uint64_t k = pop();
            const int32_t d = int32_t(k >> 32), u = int32_t(uint32_t(k));
            if (d != dist[size_t(u)]) continue;
            if (u == t) break;
            for (int32_t e = g.start[size_t(u)]; e < g.start[size_t(u) + 1]; ++e) {
                const int32_t v = g.to[size_t(e)], nd = d + g.time[size_t(e)];
                if (nd < dist[size_t(v)]) {
                    if (dist[size_t(v)] == INT32_MAX) touched.push_back(v);
                    dist[size_t(v)] = nd;
                    prev[size_t(v)] = u;
                    push(uint64_t(uint32_t(nd)) << 32 | uint32_t(v));
                }
            }
        }
        path.clear();
        if (dist[size_t(t)] == INT32_MAX) return -2;
        for (int v = t; v != -1; v = prev[size_t(v)]) path.push_back(v);
        std::reverse(path.begin(), path.end());
        return dist[size_t(t)];
    }
};

// The same search with a queue of buckets, one for each whole time value
// (Dial's): links add whole times of at most the longest link's, so the
// times waiting lie within that many buckets of the last one taken, kept in
// a ring.  The simplest fast search for whole times.
struct DijkstraBuckets {
    const Csr& g;
    std::vector<int32_t> dist, prev;
    std::vector<int32_t> touched;
    std::vector<std::vector<int32_t>> ring;
    explicit DijkstraBuckets(const Csr& c) : g(c), dist(c.start.size() - 1, INT32_MAX), prev(c.start.size() - 1, -1) {
        int32_t longest = 0;
        for (int32_t t : c.time) longest = std::max(longest, t);
        ring.resize(size_t(longest) + 1);
    }
    int run(int s, int t, std::vector<int>& path) {
        for (int32_t v : touched) {
            dist[size_t(v)] = INT32_MAX;
            prev[size_t(v)] = -1;
        }
        touched.clear();
        for (auto& b : ring) b.clear();
        const size_t span = ring.size();
        dist[size_t(s)] = 0;
        touched.push_back(s);
        ring[0].push_back(s);
        size_t waiting = 1;
        for (int32_t d = 0; waiting > 0; ++d) {
            std::vector<int32_t>& b = ring[size_t(d) % span];
            while (!b.empty()) {
                const int32_t u = b.back();
                b.pop_back();
                --waiting;
                if (dist[size_t(u)] != d) continue;
                if (u == t) {
                    waiting = 0;
                    break;
                }
                for (int32_t e = g.start[size_t(u)]; e < g.start[size_t(u) + 1]; ++e) {
                    const int32_t v = g.to[size_t(e)], nd = d + g.time[size_t(e)];
                    if (nd < dist[size_t(v)]) {
                        if (dist[size_t(v)] == INT32_MAX) touched.push_back(v);
                        dist[size_t(v)] = nd;
                        prev[size_t(v)] = u;
                        ring[size_t(nd) % span].push_back(v);
                        ++waiting;
                    }
                }
            }
        }
        path.clear();
        if (dist[size_t(t)] == INT32_MAX) return -2;
        for (int v = t; v != -1; v = prev[size_t(v)]) path.push_back(v);
        std::reverse(path.begin(), path.end());
        return dist[size_t(t)];
    }
};

// The sum of the link times along a path, as the program counts them.
int64_t pathTime(const RoadNetwork& net, const std::vector<int>& path) {
    int64_t sum = 0;
    for (size_t i = 1; i < path.size(); ++i) {
        const int lt = LinkTime(net.RoadNodes[size_t(path[i - 1])], net.RoadNodes[size_t(path[i])]);
        if (lt >= kNoRoute) return -1;
        sum += lt;
    }
    return sum;
}

}  // namespace

int benchRoute(const fs::path& uzl, int queries, int runs) {
    const RoadNetwork net = LoadRoadNetwork(uzl);
    const int n = int(net.size());
    std::mt19937_64 rng(777);
    std::vector<std::pair<int, int>> q;
    for (int i = 0; i < queries; ++i) q.emplace_back(int(rng() % uint64_t(n)), int(rng() % uint64_t(n)));
    std::optional<RouteGraph> graph;
    const double prepare = seconds([&] { graph.emplace(net); });
    std::optional<Csr> csr;
    const double csrBuild = seconds([&] { csr.emplace(net); });
    Dijkstra dij(*csr);
    Dijkstra4 dij4(*csr);
    DijkstraBuckets dial(*csr);
    std::vector<std::vector<int>> programPaths(q.size()), dijkstraPaths(q.size()), quadPaths(q.size()),
        dialPaths(q.size());
    std::vector<int> programTimes(q.size()), dijkstraTimes(q.size()), quadTimes(q.size()), dialTimes(q.size());
    std::vector<double> tp, td, t4, tb, ratio, ratio4, ratioB;
    for (int r = 0; r < runs; ++r) {
        const double a = seconds([&] {
            for (size_t i = 0; i < q.size(); ++i)
                programTimes[i] = SearchRoute(*graph, q[i].first, q[i].second, programPaths[i]);
        });
        const double b = seconds([&] {
            for (size_t i = 0; i < q.size(); ++i)
                dijkstraTimes[i] = dij.run(q[i].first, q[i].second, dijkstraPaths[i]);
        });
        const double c = seconds([&] {
            for (size_t i = 0; i < q.size(); ++i) quadTimes[i] = dij4.run(q[i].first, q[i].second, quadPaths[i]);
        });
        const double d = seconds([&] {
            for (size_t i = 0; i < q.size(); ++i) dialTimes[i] = dial.run(q[i].first, q[i].second, dialPaths[i]);
        });
        tp.push_back(a / queries * 1e3);
        td.push_back(b / queries * 1e3);
        t4.push_back(c / queries * 1e3);
        tb.push_back(d / queries * 1e3);
        ratio.push_back(a / b);
        ratio4.push_back(a / c);
        ratioB.push_back(a / d);
    }
    if (quadTimes != dijkstraTimes || dialTimes != dijkstraTimes) {
        std::printf("the two Dijkstra searches disagree\n");
        return 1;
    }
    int sameTime = 0, samePath = 0, longer = 0, bad = 0;
    for (size_t i = 0; i < q.size(); ++i) {
        const int a = programTimes[i], b = dijkstraTimes[i];
        sameTime += a == b;
        samePath += programPaths[i] == dijkstraPaths[i];
        longer += a > b && b >= 0;
        // Never shorter than the shortest, never a route where there is none,
        // and the path adds up to the time.
        if ((b >= 0 && a >= 0 && a < b) || (b < 0 && a >= 0) ||
            (a >= 0 && (pathTime(net, programPaths[i]) != a || programPaths[i].front() != q[i].first ||
                        programPaths[i].back() != q[i].second)))
            ++bad;
    }
    // The window searches of today and of the previous release give the
    // same answers: checked on the first queries against the sweeps.
    // (The sweeps take long on large networks: fewer of them there.)
    const int sweepQueries = std::min<int>(queries, n > 100000 ? 3 : 20);
    int sameAsSweep = 0;
    for (int i = 0; i < sweepQueries; ++i) {
        std::vector<int> p2;
        const int t = SearchRouteSweep(net, q[size_t(i)].first, q[size_t(i)].second, p2);
        sameAsSweep += t == programTimes[size_t(i)] && p2 == programPaths[size_t(i)];
    }
    std::printf("network: %d nodes, %zu links, %d queries, %d runs (medians, spread)\n", n, csr->to.size(), queries,
                runs);
    std::printf("prepare the network (once, at loading): %.3f s; CSR arrays: %.3f s\n", prepare, csrBuild);
    std::printf("program search:  %9.3f ms/query  (%s)\n", median(tp), spread(tp).c_str());
    std::printf("CSR Dijkstra, binary heap:  %9.3f ms/query  (%s)\n", median(td), spread(td).c_str());
    std::printf("CSR Dijkstra, 4-ary heap:   %9.3f ms/query  (%s)\n", median(t4), spread(t4).c_str());
    std::printf("CSR Dijkstra, bucket queue: %9.3f ms/query  (%s)\n", median(tb), spread(tb).c_str());
    std::printf("program / binary-heap Dijkstra = %.2f (%s)\n", median(ratio), spread(ratio).c_str());
    std::printf("program / 4-ary-heap Dijkstra = %.2f (%s)\n", median(ratio4), spread(ratio4).c_str());
    std::printf("program / bucket-queue Dijkstra = %.2f (%s; target <= 0.8)\n", median(ratioB), spread(ratioB).c_str());
    std::printf("same time as the whole network's shortest: %d of %d (longer within the window: %d); same path: %d\n",
                sameTime, queries, longer, samePath);
    std::printf("identical to the sweeps: %d of %d; wrong answers: %d\n", sameAsSweep, sweepQueries, bad);
    return bad == 0 && sameAsSweep == sweepQueries ? 0 : 1;
}

// Printing the map to a PDF page against the screen redraw of the same map
// in the same run: as the program prints (the map objects written by the
// program, Qt's own streams at zlib's fastest level), all of it through
// Qt's engine at the fastest level, and with Qt's own level; the pages are
// compared rasterised at 150 dpi by pdftoppm.
int benchPrint(const fs::path& bin, int runs) {
    MapDoc doc;
    doc.Orientation = ReadOrientation(withExtension(bin, ".or"));
    LoadObjects(bin, doc.ObjList);
    RenderContext ctx;
    ctx.view.setExtent(doc.Orientation);
    ctx.view.FitScaleToScreen(1920);
    ctx.view.Scale *= kOpenZoom;
    // The point symbols, as the program and the redraw benchmark load them
    // (for the print and the screen redraw alike).
    ZnakSet znaks;
    try {
        znaks.LoadZnakIndex(bin.parent_path().parent_path() / "sem100n.ris");
        ctx.znaks = &znaks;
    } catch (const FileError&) {
    }
    std::printf("point symbols: %s\n", ctx.znaks ? "loaded" : "none (no sem100n.ris beside the city)");
    QImage image(ctx.view.imageSize(), QImage::Format_RGB32);
    const std::string stem = (fs::temp_directory_path() / ("darvent-bench-print-" + std::to_string(::getpid()))).string();
    const fs::path pdf = stem + ".pdf", qtFastPdf = stem + "-qt1.pdf", qtPdf = stem + "-qt.pdf";
    enum Way { Program, QtFast, QtOwn };
    auto printTo = [&](const fs::path& file, Way way) {
        std::optional<FastPdfCompression> level;
        if (way != QtOwn) level.emplace();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(QString::fromStdString(file.string()));
        PrintJob job;
        job.deviceWidth = printer.width();
        job.deviceHeight = printer.height();
        if (PrintPage(printer, way == Program ? file : fs::path(), doc, ctx, job) != PrintResult::Printed)
            throw FileError("печать в " + file.string() + " не удалась");
    };
    std::vector<double> redraw, print, qtFast, qtPrint, ratio, qtFastRatio, qtRatio;
    for (int i = 0; i < runs; ++i) {
        const double r = seconds([&] { RedrawMap(image, doc, ctx); });
        const double f = seconds([&] { printTo(pdf, Program); });
        const double q1 = seconds([&] { printTo(qtFastPdf, QtFast); });
        const double q = seconds([&] { printTo(qtPdf, QtOwn); });
        redraw.push_back(r);
        print.push_back(f);
        qtFast.push_back(q1);
        qtPrint.push_back(q);
        ratio.push_back(f / r);
        qtFastRatio.push_back(q1 / r);
        qtRatio.push_back(q / r);
    }
    const uintmax_t size = fs::file_size(pdf), qtFastSize = fs::file_size(qtFastPdf), qtSize = fs::file_size(qtPdf);
    // The pages at 150 dpi.
    auto raster = [](const fs::path& file) {
        QProcess p;
        p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("150"), QString::fromStdString(file.string())});
        if (!p.waitForFinished(-1) || p.exitCode() != 0) return QByteArray();
        return p.readAllStandardOutput();
    };
    const QByteArray a = raster(pdf), b = raster(qtFastPdf), c = raster(qtPdf);
    const bool same = !a.isEmpty() && a == c && b == c;
    fs::remove(pdf);
    fs::remove(qtFastPdf);
    fs::remove(qtPdf);
    std::printf("objects: %zu, runs: %d (medians, spread)\n", doc.ObjList.size(), runs);
    std::printf("screen redraw:                          %7.3f s (%s)\n", median(redraw), spread(redraw).c_str());
    std::printf("print to PDF as the program prints:     %7.3f s (%s), %.1f MB\n", median(print),
                spread(print).c_str(), size / 1e6);
    std::printf("all through Qt's engine, fastest level: %7.3f s (%s), %.1f MB\n", median(qtFast),
                spread(qtFast).c_str(), qtFastSize / 1e6);
    std::printf("all through Qt's engine, Qt's level:    %7.3f s (%s), %.1f MB\n", median(qtPrint),
                spread(qtPrint).c_str(), qtSize / 1e6);
    std::printf("print / redraw = %.2f (%s; target <= 5); through Qt's engine %.2f (%s), with Qt's level %.2f (%s)\n",
                median(ratio), spread(ratio).c_str(), median(qtFastRatio), spread(qtFastRatio).c_str(), median(qtRatio),
                spread(qtRatio).c_str());
    std::printf("pages at 150 dpi (pdftoppm): %s\n", a.isEmpty() || b.isEmpty() || c.isEmpty() ? "NOT RASTERISED"
                                                      : same ? "identical"
                                                             : "DIFFER");
    return same && FastPdfCompression::active() ? 0 : 1;
}

// Street names and kinds of the generated registers.
const char* const kNames[] = {"Навои", "Бобура", "Пушкина", "Гагарина", "Лермонтова", "Садовая",
                              "Мирзо Улугбека", "Беруни", "Ибн Сины", "Фурката", "Мукими", "Чехова",
                              "Шота Руставели", "Абая", "Амира Темура", "Фитрата", "Ёлочная", "Юнусабадская"};
const char* const kTypes[] = {", улица", ", проезд", ", переулок", ", тупик", ", проспект"};

// A street of a generated register: a numbered name of a kind, renamed
// one time in three.
StreetRef generatedStreet(std::mt19937& rng) {
    auto s = std::make_shared<Trues>();
    const std::string base = std::string(kNames[rng() % 18]) + " " + std::to_string(rng() % 900 + 1) + "-я";
    s->OldName = utf8ToCp1251(base + kTypes[rng() % 5]);
    if (rng() % 3 == 0) s->NewName = utf8ToCp1251(std::string(kNames[rng() % 18]) + kTypes[rng() % 5]);
    return s;
}

// The search field of the street list on a register of `n` streets: each
// keystroke of a few queries refilters the grid.  The baseline is a bare
// loop over the same folded names.
int benchStreets(int n, int runs) {
    std::mt19937 rng(5);
    std::vector<StreetRef> streets;
    for (int i = 0; i < n; ++i) {
        StreetRef s = generatedStreet(rng);
        streets.push_back(s);
    }
    StreetListDialog d;
    double fill = seconds([&] { d.fill(FillStreetList(streets, StreetOrder::Old), StreetOrder::Old); });
    d.resize(640, 520);
    d.show();
    QApplication::processEvents();
    const std::vector<QString> queries = {QStringLiteral("навои 1"), QStringLiteral("ЁЛОЧН"), QStringLiteral("улица"),
                                          QStringLiteral("12-я"), QStringLiteral("пр")};
    const auto rows = FillStreetList(streets, StreetOrder::Old);
    std::vector<std::string> keys;
    for (const auto& r : rows) keys.push_back(FoldForSearch(r.first) + '\n' + FoldForSearch(r.second));
    std::vector<double> perKey, perKeyBase, worst;
    bool same = true;
    int keystrokes = 0;
    for (int run = 0; run < runs; ++run) {
        double total = 0, totalBase = 0, maxKey = 0;
        int keys1 = 0;
        for (const QString& q : queries) {
            for (int len = 1; len <= q.size(); ++len) {
                const QString typed = q.left(len);
                const double t = seconds([&] {
                    d.searchField()->setText(typed);
                    d.grid()->viewport()->repaint();
                });
                const int shown = d.model()->rowCount();
                size_t found = 0;
                const double tb = seconds([&] {
                    const std::string f = FoldForSearch(toCp1251(typed));
                    for (const auto& k : keys) found += k.find(f) != std::string::npos;
                });
                same = same && size_t(shown) == found;
                total += t;
                totalBase += tb;
                maxKey = std::max(maxKey, t);
                ++keys1;
            }
            d.searchField()->clear();
        }
        keystrokes = keys1;
        perKey.push_back(total / keys1);
        perKeyBase.push_back(totalBase / keys1);
        worst.push_back(maxKey);
    }
    auto mm = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return std::make_pair(v.front(), v.back());
    };
    const auto [lo, hi] = mm(perKey);
    std::printf("streets: %d, street list filled in %.1f ms\n", n, fill * 1000);
    std::printf("keystroke: median %.2f ms (min %.2f, max %.2f) over %d keystrokes x %d runs; slowest %.2f ms "
                "(target < 20)\n",
                median(perKey) * 1000, lo * 1000, hi * 1000, keystrokes, runs, median(worst) * 1000);
    std::printf("bare filter loop: median %.2f ms; program / bare = %.2f; same rows: %s\n", median(perKeyBase) * 1000,
                median(perKey) / median(perKeyBase), same ? "yes" : "NO");
    return same ? 0 : 1;
}

// The address search on a register of `n` streets of 10 houses each: the
// index built, each keystroke's candidates, "Что здесь?" and 10,000 changes
// applied street by street.  The baselines do the same the simplest way in
// the same run: the names made keys and ranked anew at each keystroke, every
// house and axis segment measured for a point, and the index built anew.
struct PlainHit {
    const Trues* street;
    bool fuzzy;
    int cls;
    bool old;
    size_t order;
};

std::vector<const Trues*> plainFind(const std::vector<StreetRef>& streets, const std::string& query, size_t limit) {
    const std::string key = AddressKey(query);
    if (key.empty()) return {};
    auto words = [](const std::string& k) {
        std::vector<std::string> w;
        std::string cur;
        for (char c : k) {
            if (c == ' ') {
                if (!cur.empty()) w.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!cur.empty()) w.push_back(cur);
        return w;
    };
    // Edit distance by the textbook table.
    auto distance = [](const std::string& a, const std::string& b) {
        std::vector<size_t> row(b.size() + 1);
        for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
        for (size_t i = 1; i <= a.size(); ++i) {
            size_t diag = row[0];
            row[0] = i;
            for (size_t j = 1; j <= b.size(); ++j) {
                const size_t up = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diag = up;
            }
        }
        return row[b.size()];
    };
    const std::vector<std::string> qw = words(key);
    std::vector<PlainHit> hits;
    for (size_t i = 0; i < streets.size(); ++i) {
        const Trues& s = *streets[i];
        std::optional<PlainHit> best;
        for (const bool old : {false, true}) {
            const std::string raw = old ? (s.NewName.empty() ? std::string() : s.OldName) : (s.NewName.empty() ? s.OldName : s.NewName);
            std::string name = AddressKey(cp1251ToUtf8(raw));
            if (old && name == AddressKey(cp1251ToUtf8(s.NewName.empty() ? s.OldName : s.NewName))) name.clear();
            if (name.empty()) continue;
            std::optional<PlainHit> h;
            if (name == key) h = PlainHit{&s, false, 0, old, i};
            else if (name.rfind(key, 0) == 0) h = PlainHit{&s, false, 1, old, i};
            else if (name.find(key) != std::string::npos) h = PlainHit{&s, false, 2, old, i};
            else {
                const std::vector<std::string> nw = words(name);
                bool all = true, inOrder = qw.size() == nw.size();
                for (size_t a = 0; a < qw.size() && all; ++a) {
                    bool found = false;
                    for (size_t b = 0; b < nw.size() && !found; ++b)
                        if (nw[b] == qw[a] || (qw[a].size() >= 5 && distance(qw[a], nw[b]) <= 1) ||
                            (a + 1 == qw.size() && nw[b].rfind(qw[a], 0) == 0)) {
                            found = true;
                            inOrder = inOrder && a == b;
                        }
                    all = found;
                }
                if (all) h = PlainHit{&s, true, inOrder ? 0 : 2, old, i};
            }
            auto key4 = [](const PlainHit& x) { return std::make_tuple(x.fuzzy, x.cls, x.old, x.order); };
            if (h && (!best || key4(*h) < key4(*best))) best = h;
        }
        if (best) hits.push_back(*best);
    }
    std::sort(hits.begin(), hits.end(), [](const PlainHit& a, const PlainHit& b) {
        return std::make_tuple(a.fuzzy, a.cls, a.old, a.order) < std::make_tuple(b.fuzzy, b.cls, b.old, b.order);
    });
    std::vector<const Trues*> out;
    for (size_t i = 0; i < hits.size() && out.size() < limit; ++i) out.push_back(hits[i].street);
    return out;
}

int benchAddress(int n, int runs) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> across(0, 20000);
    std::vector<StreetRef> streets;
    for (int i = 0; i < n; ++i) {
        StreetRef s = generatedStreet(rng);
        const double x = 4560000 + across(rng), y = 13490000 + across(rng);
        s->Axis = {{x, y}, {x + 150, y + 100}, {x + 300, y + 120}};
        for (int k = 0; k < 10; ++k) {
            TDom h;
            h.setNomer(std::to_string(k * 2 + 1) + (k % 3 == 0 ? "\xE0" : ""));
            h.X = x + 30 * k;
            h.Y = y + 20 * k + 15;
            s->Houses.push_back(h);
        }
        streets.push_back(s);
    }
    const std::vector<std::string> queries = {"навои 12", "Бобура 7", "ibn sini 3", "Ёлочная", "шота руставели 5",
                                              "Lermontova 1a", "юнусабадская 450-я", "Гагарин"};
    std::vector<double> build, perKey, perKeyBase, slowest, here, hereBase, changes, rebuild;
    bool same = true;
    int keystrokes = 0, points = 2000;
    for (int run = 0; run < runs; ++run) {
        AddressIndex idx;
        build.push_back(seconds([&] { idx.build(streets); }));
        // Keystrokes: each query as typed, letter by letter (UTF-8 letters).
        double total = 0, totalBase = 0, worst = 0;
        int keys = 0;
        for (const std::string& q : queries) {
            const QString full = QString::fromStdString(q);
            for (int len = 1; len <= full.size(); ++len) {
                const std::string typed = full.left(len).toStdString();
                std::vector<AddressHit> hits;
                const double t = seconds([&] { hits = idx.find(typed, 20); });
                total += t;
                worst = std::max(worst, t);
                ++keys;
                // The baseline ranks streets only: compare the streets of
                // the candidates for the text without its house number.
                // (the first reading: the number, if any, taken off)
                const std::string street = ReadAddressQuery(typed).front().street;
                std::vector<const Trues*> plain;
                totalBase += seconds([&] { plain = plainFind(streets, street, 20); });
                if (run == 0) {
                    const std::vector<AddressHit> byStreet = idx.find(street, 20);
                    std::vector<const Trues*> mine;
                    for (const AddressHit& h : byStreet)
                        if (mine.empty() || mine.back() != h.street.get()) mine.push_back(h.street.get());
                    if (mine.size() > plain.size()) mine.resize(plain.size());
                    const bool equal = mine == std::vector<const Trues*>(plain.begin(), plain.begin() + long(mine.size()));
                    if (!equal) std::fprintf(stderr, "different candidates for \"%s\"\n", street.c_str());
                    same = same && equal;
                }
            }
        }
        keystrokes = keys;
        perKey.push_back(total / keys);
        perKeyBase.push_back(totalBase / keys);
        slowest.push_back(worst);
        // "Что здесь?" at random points; the baseline measures everything.
        std::mt19937 prng(3);
        double th = 0, thb = 0;
        idx.nearest(0, 0);  // the cells are made on the first question
        for (int i = 0; i < points; ++i) {
            const double x = 4560000 + across(prng), y = 13490000 + across(prng);
            std::optional<AddressNear> a;
            th += seconds([&] { a = idx.nearest(x, y); });
            const Trues* bestStreet = nullptr;
            int bestHouse = -1;
            double bestD = 1e300;
            thb += seconds([&] {
                for (const StreetRef& s : streets)
                    for (size_t k = 0; k < s->Houses.size(); ++k) {
                        const double d = std::hypot(s->Houses[k].X - x, s->Houses[k].Y - y);
                        if (d <= 100 && d < bestD) bestD = d, bestStreet = s.get(), bestHouse = int(k);
                    }
                if (!bestStreet)
                    for (const StreetRef& s : streets)
                        for (size_t k = 0; k + 1 < s->Axis.size(); ++k) {
                            const TXY& p = s->Axis[k];
                            const TXY& q = s->Axis[k + 1];
                            const double dx = q.X - p.X, dy = q.Y - p.Y;
                            const double t = std::clamp(((x - p.X) * dx + (y - p.Y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
                            const double d = std::hypot(p.X + t * dx - x, p.Y + t * dy - y);
                            if (d < bestD) bestD = d, bestStreet = s.get();
                        }
            });
            if (!a || std::fabs(a->distance - bestD) >= 1e-6) {
                std::fprintf(stderr, "different nearest address at %.1f %.1f\n", x, y);
                same = false;
            }
        }
        here.push_back(th / points);
        hereBase.push_back(thb / points);
        // 10,000 changes, each told to the index; a rebuild after each
        // hundred would be the simple way.
        std::vector<StreetRef> reg = streets;
        std::mt19937 crng(17);
        double tc = 0;
        for (int i = 0; i < 10000; ++i) {
            const StreetRef& s = reg[crng() % reg.size()];
            if (i % 3 == 0) {
                TDom h;
                h.setNomer(std::to_string(crng() % 200));
                h.X = s->Axis[0].X;
                h.Y = s->Axis[0].Y;
                s->Houses.push_back(h);
            } else if (i % 3 == 1) {
                if (!s->Houses.empty()) s->Houses.pop_back();
            } else {
                s->NewName = utf8ToCp1251(std::string(kNames[crng() % 18]) + kTypes[crng() % 5]);
            }
            tc += seconds([&] { idx.changed(s); });
        }
        changes.push_back(tc);
        AddressIndex fresh;
        rebuild.push_back(seconds([&] { fresh.build(reg); }));
        for (const std::string& q : queries) {
            const auto a = idx.find(q, 20), b = fresh.find(q, 20);
            same = same && a.size() == b.size();
            for (size_t i = 0; same && i < a.size(); ++i) same = a[i].street == b[i].street && a[i].house == b[i].house;
            if (!same) std::fprintf(stderr, "the changed index differs from a rebuild for \"%s\"\n", q.c_str());
        }
    }
    auto mm = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return std::make_pair(v.front() * 1000, v.back() * 1000);
    };
    const auto [blo, bhi] = mm(build);
    const auto [klo, khi] = mm(perKey);
    const auto [hlo, hhi] = mm(here);
    const auto [clo, chi] = mm(changes);
    std::printf("streets: %d with 10 houses each, %d runs\n", n, runs);
    std::printf("index built: median %.1f ms (min %.1f, max %.1f) (target < 100)\n", median(build) * 1000, blo, bhi);
    std::printf("keystroke: median %.3f ms (min %.3f, max %.3f) over %d keystrokes; slowest %.3f ms (target < 5)\n",
                median(perKey) * 1000, klo, khi, keystrokes, median(slowest) * 1000);
    std::printf("plain scan per keystroke: median %.2f ms; index / plain = %.3f\n", median(perKeyBase) * 1000,
                median(perKey) / median(perKeyBase));
    std::printf("what is here: median %.4f ms (min %.4f, max %.4f) over %d points (target < 1)\n", median(here) * 1000,
                hlo, hhi, points);
    std::printf("every house and segment measured: median %.3f ms; index / plain = %.4f\n", median(hereBase) * 1000,
                median(here) / median(hereBase));
    std::printf("10,000 changes: median %.1f ms (min %.1f, max %.1f) in all (target < 50); one rebuild %.1f ms\n",
                median(changes) * 1000, clo, chi, median(rebuild) * 1000);
    std::printf("same answers: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}

}  // namespace

// "Создать карту" on the large city: the cut of every object to a
// district's outline (and the writing of the cut map), next to loading the
// same map.  The cut's kept vertices are checked against a plain count of
// the vertices inside the outline.
int benchCut(const fs::path& bin, const fs::path& gtm, int runs) {
    const OrientationRecord orient = ReadOrientation(withExtension(bin, ".or"));
    MapView view;
    view.setExtent(orient);
    view.FitScaleToScreen(1920);
    view.Scale *= kOpenZoom;
    TObjList bounds;
    ReadBoundaryFile(gtm, bounds);
    if (bounds.empty()) throw FileError("no boundary in " + gtm.string());
    const std::vector<QPoint> poly = ScreenPolygon(*bounds.last(), view);
    {
        std::vector<uint8_t> warm;
        readReused(bin, warm);  // the page cache
    }
    std::vector<double> load, cut, save;
    size_t kept = 0, keptObjects = 0, insideVertices = 0;
    const fs::path out = bin.parent_path() / "bench-cut.bin";
    for (int i = 0; i < runs; ++i) {
        TObjList l;
        load.push_back(seconds([&] { LoadObjects(bin, l); }));
        if (i == 0) {
            // The plain count: vertices inside, of the objects the cut does not pass over.
            for (const auto& o : l) {
                if (o->Code == 3110 || o->Code == 3130 || o->Code == 3160) continue;
                for (const TXY& p : o->Points) {
                    const TGn g = view.toPixel(p);
                    insideVertices += PointInBoundary(poly, g.PX, g.PY);
                }
            }
        }
        DistrictCut c;
        cut.push_back(seconds([&] { c = CutRegionToBoundary(l, *bounds.last(), view, {}); }));
        save.push_back(seconds([&] { SaveCutMapFiles(out, c.objects, orient, c.labels); }));
        if (i == 0) {
            keptObjects = c.objects.size() - 1;
            // Every inside vertex is kept once; the cut adds crossings and closing vertices.
            for (size_t k = 1; k < c.objects.size(); ++k) kept += c.objects[k]->Points.size();
        }
    }
    for (const char* ext : {".bin", ".or", ".nam"}) fs::remove(withExtension(out, ext));
    const double l = median(load), c = median(cut), s = median(save);
    std::printf("map: %s, boundary: %s, runs: %d (medians)\n", bin.c_str(), gtm.c_str(), runs);
    std::printf("objects kept: %zu, vertices kept: %zu, vertices inside (plain count): %zu\n", keptObjects, kept,
                insideVertices);
    if (kept < insideVertices) {
        std::printf("MISMATCH: the cut kept fewer vertices than lie inside\n");
        return 1;
    }
    std::printf("load:        %8.3f s\n", l);
    std::printf("cut:         %8.3f s = %.2f x load\n", c, c / l);
    std::printf("cut + write: %8.3f s = %.2f x load (target <= 2)\n", c + s, (c + s) / l);
    return 0;
}

// Working at any map size, in the program's window on the large city: the
// redraw of a view of about 1/100 of the city, a wheel step in and out at a
// street-level view, an object move with its picture update, and the memory
// after 1,000 edits; each next to drawing the whole object list into the
// same picture in the same run (checked to give the same pixels).
int benchInteractive(const fs::path& startDir, int runs) {
    AppOptions opt;
    opt.startDir = startDir;
    opt.screenWidth = 1920;
    opt.allTools = true;
    ScriptedAnswers answers;
    opt.dialogs = &answers;
    MainWindow w(opt);
    w.resize(1600, 1000);
    Workspace& ws = w.workspace();
    if (ws.map.ObjList.empty()) throw FileError("no city in " + startDir.string());
    MapView& v = ws.view.view();
    const MapView opening = v;
    const QSize size = ws.view.image.size();
    const double area = (opening.ViewXMax - opening.ViewXMin) * (opening.ViewYMax - opening.ViewYMin);
    // The full-list picture of a view, as the redraw used to draw it.
    auto fullList = [&](QImage& img) {
        img.fill(Qt::white);
        QPainter p(&img);
        for (const auto& o : ws.map.ObjList) DrawObject(p, *o, v.SymbolFactor, ws.view.ctx);
    };
    // A view of 1/100 of the city's area in the middle, the picture as large.
    const double cx = (opening.ViewXMax + opening.ViewXMin) / 2, cy = (opening.ViewYMax + opening.ViewYMin) / 2;
    v.Scale = opening.Scale * 10;
    v.ViewXMax = cx + size.height() / 2.0 / v.Scale;
    v.ViewXMin = cx - size.height() / 2.0 / v.Scale;
    v.ViewYMin = cy - size.width() / 2.0 / v.Scale;
    v.ViewYMax = cy + size.width() / 2.0 / v.Scale;
    const double share = (v.ViewXMax - v.ViewXMin) * (v.ViewYMax - v.ViewYMin) / area;
    QImage ref(size, QImage::Format_RGB32);
    std::vector<double> part, full;
    for (int i = 0; i < runs; ++i) {
        part.push_back(seconds([&] { RedrawMap(ws.view.image, ws.map, ws.view.ctx); }));
        full.push_back(seconds([&] { fullList(ref); }));
    }
    if (ref != ws.view.image) {
        std::printf("MISMATCH: the redraw of what shows differs from the whole list\n");
        return 1;
    }
    const double pm = median(part), fm = median(full);
    std::printf("picture %dx%d, objects: %zu, runs: %d (medians)\n", size.width(), size.height(), ws.map.ObjList.size(),
                runs);
    std::printf("view of %.4f of the city: redraw %.4f s, whole list %.3f s = 1/%.0f (target under 1/20)\n", share, pm,
                fm, fm / pm);
    // A wheel step in and out at a street-level view (20 times the opening
    // scale: a few blocks in the window).
    v.Scale = opening.Scale * 20;
    v.ViewXMax = cx + size.height() / 2.0 / v.Scale;
    v.ViewXMin = cx - size.height() / 2.0 / v.Scale;
    v.ViewYMin = cy - size.width() / 2.0 / v.Scale;
    v.ViewYMax = cy + size.width() / 2.0 / v.Scale;
    RedrawMap(ws.view.image, ws.map, ws.view.ctx);
    std::vector<double> wheel;
    for (int i = 0; i < runs; ++i) {
        wheel.push_back(seconds([&] {
            w.zoomAt(QPoint(400, 300), 2.0);
            QCoreApplication::processEvents();
        }));
        wheel.push_back(seconds([&] {
            w.zoomAt(QPoint(400, 300), 0.5);
            QCoreApplication::processEvents();
        }));
    }
    const double wm = median(wheel);
    std::printf("wheel step at street level: %.4f s = %.1f ms (target under 30 ms) = 1/%.0f of the whole list\n", wm,
                wm * 1000, fm / wm);
    // Object moves: select a vertex, move the object by 7 pixels, picture updated.
    std::vector<TObj*> visible;
    VisibleObjects(ws.map, ws.view.ctx, QRect(200, 200, 400, 300), visible);
    std::vector<TObj*> movable;
    for (TObj* o : visible)
        if (o->Kind == KindArea && o->Points.size() >= 4) movable.push_back(o);
    if (movable.empty()) throw FileError("no area to move in the view");
    MapEditor& ed = w.editor();
    std::vector<double> moves;
    long rssBefore = 0, rssMiddle = 0;
    size_t heapBefore = 0, heapMiddle = 0, heldBefore = 0, heldMiddle = 0;
    for (int i = 0; i < 2010; ++i) {
        if (i == 10) {
            // After the first edits made the second picture of the partial redraw.
            malloc_trim(0);
            rssBefore = rssKb();
            heapBefore = mallinfo2().uordblks;
            heldBefore = w.history().heldBytes();
            moves.clear();
        }
        if (i == 1010) {
            malloc_trim(0);
            rssMiddle = rssKb();
            heapMiddle = mallinfo2().uordblks;
            heldMiddle = w.history().heldBytes();
        }
        TObj* o = movable[size_t(i) % movable.size()];
        const TGn g = v.toPixel(o->Points[0]);
        w.edits().ChangeButtonClick();
        ed.ImageMouseDown(Qt::LeftButton, QPoint(g.PX, g.PY));
        if (ws.map.CurObj != o && ws.map.CurObj == nullptr) continue;
        const QPoint to(g.PX + (i % 2 ? -7 : 7), g.PY + 3);
        moves.push_back(seconds([&] {
            ed.ImageMouseDown(Qt::LeftButton, to);
            QCoreApplication::processEvents();
        }));
    }
    malloc_trim(0);
    const long rssAfter = rssKb();
    const size_t heapAfter = mallinfo2().uordblks, heldAfter = w.history().heldBytes();
    const double mm = median(moves);
    std::printf("object move with its picture update: %.4f s = %.2f ms (target under 16 ms), %zu moves\n", mm,
                mm * 1000, moves.size());
    std::printf("memory over the first and the second 1,000 edits: resident %+.1f MB, %+.1f MB (the second picture of\n"
                "  the partial redraw, %.1f MB, was made before); heap in use %+.2f MB, %+.2f MB, of which the undo\n"
                "  history holds %+.2f MB, %+.2f MB (a copy of each moved object before and after the move)\n",
                double(rssMiddle - rssBefore) / 1024, double(rssAfter - rssMiddle) / 1024,
                double(size.width()) * size.height() * 4 / 1e6, (double(heapMiddle) - double(heapBefore)) / 1e6,
                (double(heapAfter) - double(heapMiddle)) / 1e6, (double(heldMiddle) - double(heldBefore)) / 1e6,
                (double(heldAfter) - double(heldMiddle)) / 1e6);
    std::printf("index builds: %llu (the edits did not rebuild it)\n", (unsigned long long)ws.map.Index.builds());
    ws.map.MapModified = false;
    return 0;
}

// Exporting the city to a GeoPackage, next to GDAL's own ogr2ogr copying
// the exported file to a second GeoPackage (the same layers, features and
// fields); both files must hold the same feature counts.
int benchExport(const fs::path& bin, int runs) {
    const fs::path orPath = withExtension(bin, ".or");
    MapDoc doc;
    doc.Orientation = ReadOrientation(orPath);
    LoadObjects(bin, doc.ObjList);
    std::vector<NameRef> labels;
    LoadNames(resolvePathCase(withExtension(orPath, ".nam")), labels);
    std::vector<StreetRef> streets;
    LoadStreets(resolvePathCase(withExtension(orPath, ".rue")), streets);
    const ActiveSemanticList semantics = LoadSemantics(orPath.parent_path().parent_path() / "sem100n.smn");
    ExportData d;
    d.orientation = &doc.Orientation;
    d.objects = &doc.ObjList;
    d.semantics = &semantics;
    d.labels = &labels;
    d.streets = &streets;
    const fs::path out = bin.parent_path() / "bench-export.gpkg", copy = bin.parent_path() / "bench-copy.gpkg";
    std::vector<double> mine, theirs;
    ExportReport r;
    for (int i = 0; i < runs; ++i) {
        fs::remove(out);
        mine.push_back(seconds([&] { r = ExportMap(out, d); }));
        fs::remove(copy);
        const std::string cmd = "ogr2ogr -f GPKG '" + copy.string() + "' '" + out.string() + "'";
        int rc = 0;
        theirs.push_back(seconds([&] { rc = std::system(cmd.c_str()); }));
        if (rc != 0) throw FileError("ogr2ogr failed: " + cmd);
    }
    // The same layers and feature counts in both files.
    auto counts = [](const fs::path& p) {
        std::string out;
        if (FILE* f = ::popen(("ogrinfo -so -al '" + p.string() + "' | grep -E 'Layer name|Feature Count'").c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
            ::pclose(f);
        }
        return out;
    };
    const std::string a = counts(out), b = counts(copy);
    if (a != b || a.empty()) {
        std::printf("MISMATCH: the copy differs from the export\n%s\n%s\n", a.c_str(), b.c_str());
        return 1;
    }
    const double m = median(mine), t = median(theirs);
    std::printf("%s\n", r.summary().c_str());
    std::vector<double> ratios;
    for (size_t i = 0; i < mine.size(); ++i) ratios.push_back(mine[i] / theirs[i]);
    std::printf("export to GeoPackage: %.2f s (median of %d, %.2f-%.2f), ogr2ogr copying that file: %.2f s "
                "(%.2f-%.2f); ratio %.2f, per run %.2f-%.2f (aim at most 1), file %.0f MB\n",
                m, runs, *std::min_element(mine.begin(), mine.end()), *std::max_element(mine.begin(), mine.end()), t,
                *std::min_element(theirs.begin(), theirs.end()), *std::max_element(theirs.begin(), theirs.end()),
                m / t, *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                double(fs::file_size(out)) / 1e6);
    fs::remove(out);
    fs::remove(copy);
    return 0;
}

// A program run in a process of its own (standard output into `out`,
// standard error into `err`): its seconds, the peak resident memory (kB)
// of it and of what it started, and its exit status.
struct Measured {
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};
Measured runMeasured(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    Measured m;
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o >= 0) ::dup2(o, 1);
        if (e >= 0) ::dup2(e, 2);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int st = 0;
    struct rusage ru {};
    if (pid > 0 && ::wait4(pid, &st, 0, &ru) == pid) {
        m.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        m.peakKb = ru.ru_maxrss;
        m.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return m;
}

std::string fileText(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The columns of the objects as the pull reads them, in the list's order.
std::string objectsCopy(PgConnection& c, const std::string& map) {
    const PgResult id = c.exec("select id from maps where name = $1 and city_id is null", {map});
    if (!id.rows()) throw StoreError("no map " + map + " in the database");
    return "copy (select number, start_node, end_node, kind, code, shape, name, pen_color, pen_style, pen_width, "
           "brush_style, brush_color, extra_int, extra_real, elevation, xy from objects where map_id = " +
           id.text(0, 0) + " order by pos) to stdout (format binary)";
}

// A pull of the map `map` into the start folder `out` and the opening of
// its city map (orientation and objects), as the program opens it: prints
// the seconds and the objects.
int benchDbPullOnce(const std::string& url, const std::string& map, const fs::path& out) {
    fs::remove_all(out);
    MapDoc doc;
    const double t = seconds([&] {
        PgConnection c(url);
        PullCity(c, map, out);
        doc.Orientation = ReadOrientation(out / "Darvent" / "Darvent.or");
        LoadObjects(out / "Darvent" / "Darvent.bin", doc.ObjList);
    });
    std::printf("%.6f %zu\n", t, doc.ObjList.size());
    return 0;
}

// The baseline: the same rows through a plain binary COPY TO STDOUT with
// libpq, each row's bytes counted and dropped.  Prints the seconds and the rows.
int benchDbCopyOnce(const std::string& url, const std::string& map) {
    size_t rows = 0, bytes = 0;
    const double t = seconds([&] {
        PgConnection c(url);
        const std::string sql = objectsCopy(c, map);
        PGresult* r = PQexec(c.raw(), sql.c_str());
        const bool ok = PQresultStatus(r) == PGRES_COPY_OUT;
        PQclear(r);
        if (!ok) throw StoreError(PQerrorMessage(c.raw()));
        char* buf = nullptr;
        for (int n; (n = PQgetCopyData(c.raw(), &buf, 0)) > 0;) {
            bytes += size_t(n);
            ++rows;
            PQfreemem(buf);
        }
        while ((r = PQgetResult(c.raw()))) PQclear(r);
    });
    // The first message holds the binary header with the first row and the
    // last one the trailer alone: the rows are the messages less one.
    std::printf("%.6f %zu %zu\n", t, rows - 1, bytes);
    return 0;
}

std::string ranges(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.2f (%.2f-%.2f)", v[v.size() / 2], v.front(), v.back());
    return buf;
}

// Pushing the city of `start` (its city map alone) into the database `url`
// next to ogr2ogr loading the same objects from the program's GeoPackage
// export `gpkg` into the database `ogrDb` through COPY; then pulling and
// opening it next to a plain binary COPY of the same rows.  Each command
// in a process of its own, in turns; counts compared.
int benchDb(const fs::path& self, const fs::path& dmap, const fs::path& start, const fs::path& gpkg,
            const std::string& url, const std::string& ogrUrl, int runs) {
    const fs::path tmp = fs::temp_directory_path() / ("darvent-bench-db-" + std::to_string(::getpid()));
    fs::create_directories(tmp);
    const fs::path out = tmp / "out", err = tmp / "err", pulled = tmp / "pulled";
    auto must = [&](const Measured& m, const std::string& what) {
        if (m.status != 0) throw FileError(what + " failed: " + fileText(err) + fileText(out));
        return m;
    };
    std::vector<double> push, ogr, pushRatio, pull, copy, pullRatio;
    long pushPeak = 0, ogrPeak = 0, pullPeak = 0, copyPeak = 0;
    size_t pulledObjects = 0, copiedRows = 0;
    for (int i = 0; i < runs; ++i) {
        // In turns, so that neither always finds the server warmed by the other.
        Measured a, b;
        auto ours = [&] {
            a = must(runMeasured({dmap.string(), "db-push", start.string(), url, "--map", "bench", "--replace"}, out, err),
                     "dmap db-push");
        };
        auto theirs = [&] {
            b = must(runMeasured({"ogr2ogr", "--config", "PG_USE_COPY", "YES", "-f", "PostgreSQL", "PG:" + ogrUrl,
                                  gpkg.string(), "points", "lines", "areas", "-overwrite"},
                                 out, err),
                     "ogr2ogr");
        };
        if (i % 2) { theirs(); ours(); } else { ours(); theirs(); }
        push.push_back(a.seconds);
        ogr.push_back(b.seconds);
        pushRatio.push_back(a.seconds / b.seconds);
        pushPeak = std::max(pushPeak, a.peakKb);
        ogrPeak = std::max(ogrPeak, b.peakKb);
    }
    PgConnection c(url), o(ogrUrl);
    const long long pushed = c.exec("select count(*) from objects o join maps m on m.id = o.map_id "
                                    "where m.name = 'bench'").integer(0, 0);
    const long long loaded = o.exec("select (select count(*) from points) + (select count(*) from lines) + "
                                    "(select count(*) from areas)").integer(0, 0);
    for (int i = 0; i < runs; ++i) {
        double tp = 0, tc = 0;
        auto ours = [&] {
            const Measured m = must(runMeasured({self.string(), "db-pull-once", url, "bench", pulled.string()}, out, err),
                                    "the pull");
            if (std::sscanf(fileText(out).c_str(), "%lf %zu", &tp, &pulledObjects) != 2) throw FileError("pull: no figures");
            pullPeak = std::max(pullPeak, m.peakKb);
        };
        auto theirs = [&] {
            const Measured m = must(runMeasured({self.string(), "db-copy-once", url, "bench"}, out, err), "the copy");
            if (std::sscanf(fileText(out).c_str(), "%lf %zu", &tc, &copiedRows) != 2) throw FileError("copy: no figures");
            copyPeak = std::max(copyPeak, m.peakKb);
        };
        if (i % 2) { theirs(); ours(); } else { ours(); theirs(); }
        pull.push_back(tp);
        copy.push_back(tc);
        pullRatio.push_back(tp / tc);
    }
    fs::remove_all(tmp);
    std::printf("runs: %d; medians (lowest-highest); peak resident memory is the highest of the runs\n", runs);
    std::printf("push, dmap db-push:            %s s, peak %.0f MB; objects in the database %lld\n", ranges(push).c_str(),
                pushPeak / 1024.0, pushed);
    std::printf("ogr2ogr -f PostgreSQL (COPY):  %s s, peak %.0f MB; features loaded %lld\n", ranges(ogr).c_str(),
                ogrPeak / 1024.0, loaded);
    std::printf("push / ogr2ogr = %s (target <= 1.0)\n", ranges(pushRatio).c_str());
    std::printf("pull and open:                 %s s, peak %.0f MB; objects opened %zu\n", ranges(pull).c_str(),
                pullPeak / 1024.0, pulledObjects);
    std::printf("binary COPY TO STDOUT (libpq): %s s, peak %.0f MB; rows %zu\n", ranges(copy).c_str(), copyPeak / 1024.0,
                copiedRows);
    std::printf("pull and open / COPY = %s (target <= 1.5)\n", ranges(pullRatio).c_str());
    if (pushed != loaded || size_t(pushed) != pulledObjects || pulledObjects != copiedRows) {
        std::printf("MISMATCH: the counts differ\n");
        return 1;
    }
    return 0;
}

// One step of the size table in a process of its own, so that its peak
// memory is its own: prints the seconds of the step, the peak resident
// memory of the process (kB) and a check value.
//   load BIN | redraw BIN | hittest BIN | index BIN | save BIN | route NETWORK
int benchStep(const std::string& op, const fs::path& file) {
    double t = 0;
    uint64_t check = 0;
    if (op == "route") {
        const RoadNetwork net = LoadRoadNetwork(file);
        const RouteGraph g(net);
        std::mt19937_64 rng(777);
        std::vector<int> path;
        const int queries = 200;
        t = seconds([&] {
            for (int i = 0; i < queries; ++i)
                check += uint64_t(SearchRoute(g, int(rng() % net.size()), int(rng() % net.size()), path) + 2);
        }) / queries;
    } else {
        MapDoc doc;
        doc.Orientation = ReadOrientation(withExtension(file, ".or"));
        if (op == "load") {
            t = seconds([&] { LoadObjects(file, doc.ObjList); });
            check = doc.ObjList.size();
        } else {
            LoadObjects(file, doc.ObjList);
            RenderContext ctx;
            ctx.view.setExtent(doc.Orientation);
            ctx.view.FitScaleToScreen(1920);
            ctx.view.Scale *= kOpenZoom;
            if (op == "redraw") {
                ZnakSet znaks;
                try {
                    znaks.LoadZnakIndex(file.parent_path().parent_path() / "sem100n.ris");
                    ctx.znaks = &znaks;
                } catch (const FileError&) {
                }
                QImage image(ctx.view.imageSize(), QImage::Format_RGB32);
                // A view of that share of the opening area, when asked (as the redraw benchmark makes it).
                if (const double share = qEnvironmentVariable("DM_PROFILE_SHARE").toDouble(); share > 0) {
                    MapView& v = ctx.view;
                    const MapView opening = v;
                    const double cx = (opening.ViewXMax + opening.ViewXMin) / 2, cy = (opening.ViewYMax + opening.ViewYMin) / 2;
                    const QSize size = image.size();
                    v.Scale = opening.Scale / std::sqrt(share);
                    v.ViewXMax = cx + size.height() / 2.0 / v.Scale;
                    v.ViewXMin = cx - size.height() / 2.0 / v.Scale;
                    v.ViewYMin = cy - size.width() / 2.0 / v.Scale;
                    v.ViewYMax = cy + size.width() / 2.0 / v.Scale;
                }
                t = seconds([&] { RedrawMap(image, doc, ctx); });
                // More of the same redraws to profile, when asked.
                for (int i = qEnvironmentVariableIntValue("DM_PROFILE_REPEAT"); i > 0; --i) RedrawMap(image, doc, ctx);
                check = uint64_t(image.pixel(image.width() / 2, image.height() / 2));
            } else if (op == "hittest") {
                HitTester tester;
                tester.FindObject(doc, ctx.view, QPoint(-100, -100), nullptr);  // the index
                std::mt19937_64 rng(12345);
                const QSize size = ctx.view.imageSize();
                const int clicks = 1000;
                t = seconds([&] {
                    for (int i = 0; i < clicks; ++i) {
                        const QPoint p(int(rng() % uint64_t(size.width())), int(rng() % uint64_t(size.height())));
                        check += uint64_t(tester.FindObject(doc, ctx.view, p, nullptr).Number + 1);
                    }
                }) / clicks;
                // The same clicks again, to profile, when asked.
                for (int i = qEnvironmentVariableIntValue("DM_PROFILE_REPEAT"); i > 0; --i) {
                    std::mt19937_64 again(12345);
                    for (int k = 0; k < clicks; ++k)
                        tester.FindObject(doc, ctx.view,
                                          QPoint(int(again() % uint64_t(size.width())), int(again() % uint64_t(size.height()))),
                                          nullptr);
                }
            } else if (op == "index") {
                ObjectIndex index;
                index.attach(&doc.ObjList);
                t = seconds([&] { index.ensure(); });
                std::vector<TObj*> found;
                index.query(-1e300, 1e300, -1e300, 1e300, found, true);
                check = found.size();
            } else if (op == "save") {
                const fs::path out = file.parent_path() / "bench-step-save.bin";
                t = seconds([&] { SaveObjects(out, doc.ObjList); });
                check = fs::file_size(out);
                fs::remove(out);
            } else {
                std::fprintf(stderr, "unknown step %s\n", op.c_str());
                return 2;
            }
        }
    }
    std::printf("%.6f %ld %llu\n", t, peakRssKb(), (unsigned long long)check);
    return 0;
}

// The program started in a start folder under the display of this process
// (a virtual one from scripts/bench.sh), RUNS times: from the process start
// to the end of the splash's wait and to the first paint of the map, as the
// program reports them on its output when DARVENT_STARTUP_TRACE is set.
int benchStartup(const QString& program, const fs::path& startDir, int runs) {
    const fs::path home = fs::temp_directory_path() / ("darvent-bench-home-" + std::to_string(::getpid()));
    fs::create_directories(home);
    std::vector<double> splash, shown, after;
    std::map<std::string, std::vector<double>> phases;  // what else the program reports on the way
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DARVENT_STARTUP_TRACE"), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home.string()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString((home / "config").string()));
        if (env.contains(QStringLiteral("DISPLAY"))) env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(startDir.string()));
        p.setProcessChannelMode(QProcess::SeparateChannels);
        const auto t0 = Clock::now();
        p.start(program, {});
        double ended = -1, painted = -1;
        while (painted < 0) {
            if (!p.canReadLine() && !p.waitForReadyRead(60000)) break;
            while (p.canReadLine()) {
                const QByteArray line = p.readLine().trimmed();
                const double at = std::chrono::duration<double>(Clock::now() - t0).count();
                if (line == "splash-wait-ended") ended = at;
                else if (line == "map-shown") painted = at;
                else if (!line.isEmpty()) phases[line.toStdString()].push_back(at);
            }
        }
        if (!p.waitForFinished(30000)) p.kill();
        if (ended < 0 || painted < 0) {
            std::fprintf(stderr, "the program did not report its start: %s\n",
                         p.readAllStandardError().constData());
            fs::remove_all(home);
            return 1;
        }
        splash.push_back(ended);
        shown.push_back(painted);
        after.push_back(painted - ended);
    }
    fs::remove_all(home);
    std::printf("start folder: %s, runs: %d (medians, spread)\n", startDir.c_str(), runs);
    std::printf("process start to the end of the splash's wait: %.3f s (%s)\n", median(splash), spread(splash).c_str());
    std::printf("process start to the map's first paint:        %.3f s (%s)\n", median(shown), spread(shown).c_str());
    std::printf("map shown after the splash's wait ended:       %.3f s (%s)\n", median(after), spread(after).c_str());
    for (auto& [what, at] : phases) std::printf("  %-20s %.3f s (%s) from the process start\n", what.c_str(), median(at), spread(at).c_str());
    return 0;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureRuntimeDir();
    QApplication app(argc, argv);
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "step") {
        try {
            return benchStep(a[1], a[2]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 3 && a[0] == "startup") {
        const int runs = a.size() >= 4 ? std::max(1, std::atoi(a[3].c_str())) : 5;
        return benchStartup(QString::fromStdString(a[1]), fs::absolute(a[2]), runs);
    }
    if (a.size() == 2 && a[0] == "flat-once") {
        try {
            return benchFlatOnce(a[1]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() == 2 && a[0] == "read-once") {
        try {
            return benchReadOnce(a[1]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() == 2 && a[0] == "load-once") {
        try {
            return benchLoadOnce(a[1]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 2 && a[0] == "print") {
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 3;
        try {
            return benchPrint(a[1], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 1 && a[0] == "address") {
        const int n = a.size() >= 2 ? std::max(1, std::atoi(a[1].c_str())) : 20000;
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 5;
        return benchAddress(n, runs);
    }
    if (a.size() >= 1 && a[0] == "streets") {
        const int n = a.size() >= 2 ? std::max(1, std::atoi(a[1].c_str())) : 20000;
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 5;
        return benchStreets(n, runs);
    }
    if (a.size() >= 2 && a[0] == "hittest") {
        const int clicks = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 1000;
        try {
            return benchHitTest(a[1], clicks);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 2 && a[0] == "route") {
        const int queries = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 1000;
        const int runs = a.size() >= 4 ? std::max(1, std::atoi(a[3].c_str())) : 3;
        try {
            return benchRoute(a[1], queries, runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 2 && a[0] == "redraw") {
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 5;
        try {
            return benchRedraw(a[1], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 2 && a[0] == "export") {
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 3;
        try {
            return benchExport(a[1], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 2 && a[0] == "interactive") {
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 5;
        try {
            return benchInteractive(a[1], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 3 && a[0] == "cut") {
        const int runs = a.size() >= 4 ? std::max(1, std::atoi(a[3].c_str())) : 5;
        try {
            return benchCut(a[1], a[2], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    if (a.size() >= 2 && a[0] == "load") {
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 5;
        try {
            return benchLoad(a[1], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    try {
        if (a.size() >= 4 && a[0] == "operators") return RunOperators(fs::canonical("/proc/self/exe").string(), a);
        if ((a.size() == 8 || a.size() == 9) && a[0] == "operator") return RunOperator(a);
        if (a.size() == 5 && a[0] == "livewrite") return RunLiveWrite(a);
        if (a.size() == 4 && a[0] == "db-pull-once") return benchDbPullOnce(a[1], a[2], a[3]);
        if (a.size() == 3 && a[0] == "db-copy-once") return benchDbCopyOnce(a[1], a[2]);
        if (a.size() >= 7 && a[0] == "db")
            return benchDb(fs::canonical("/proc/self/exe"), a[1], a[2], a[3], a[4], a[5], std::max(1, std::atoi(a[6].c_str())));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: darvent-bench load|redraw MAP.bin [RUNS] | hittest MAP.bin [CLICKS] | route NET.uzl [QUERIES] | "
                         "streets [N] [RUNS] | address [N] [RUNS] | print MAP.bin [RUNS] | cut MAP.bin BOUNDARY.gtm [RUNS] | interactive START_DIR [RUNS] | export MAP.bin [RUNS] | "
                         "db DMAP START GPKG URL OGR_URL RUNS | operators URL N STEPS [--restart CMD] [--kill] [--pace MS] | livewrite URL MAP RUNS WRITES\n");
    return 2;
}
