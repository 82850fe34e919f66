#include "StartupPreload.h"

#include "SavedState.h"
#include "display/Render.h"
#include "mapdata/BinaryIO.h"

#include <QPainter>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace fs = std::filesystem;

namespace dm {

StartupPreload::~StartupPreload() { finish(); }

StartupPreload::Stamp StartupPreload::stampOf(const fs::path& p) {
    Stamp s;
    s.path = p;
    std::error_code ec;
    s.size = fs::file_size(p, ec);
    if (ec) s.size = uintmax_t(-1);
    s.time = fs::last_write_time(p, ec);
    return s;
}

void StartupPreload::start(const fs::path& startDir, const std::string& city, int screenWidth) {
    if (started_) return;
    started_ = true;
    thread_ = std::thread([this, startDir, city, screenWidth] {
        try {
            run(startDir, city, screenWidth);
        } catch (...) {
            map_.reset();  // opening reads it again and reports what is wrong
        }
        done_ = true;
    });
}

void StartupPreload::finish() {
    if (thread_.joinable()) thread_.join();
}

void StartupPreload::run(fs::path startDir, std::string city, int screenWidth) {
    auto m = std::make_unique<PreloadedMap>();
    // The stamp of the file loading reads, whatever the letter case of its name.
    const fs::path ris = resolvePathCase(startDir / "sem100n.ris");
    stamps_.push_back(stampOf(ris));
    try {
        znaks_.LoadZnakIndex(ris);
        m->withSymbols = true;
    } catch (const std::exception&) {
    }
    m->orPath = resolvePathCase(startDir / city / (city + ".or"));
    const fs::path binPath = withExtension(m->orPath, ".bin");
    stamps_.push_back(stampOf(m->orPath));
    stamps_.push_back(stampOf(resolvePathCase(binPath)));
    m->orient = ReadOrientation(m->orPath);
    MapView& view = m->view;
    view.setExtent(m->orient);
    if (!view.FitScaleToScreen(screenWidth)) return;
    view.Scale *= kOpenZoom;
    view.SymbolFactor = 1;
    const QSize size = view.imageSize();
    if (size.width() < 1 || size.height() < 1 || double(size.width()) * size.height() > 400e6) return;
    m->image = QImage(size, QImage::Format_RGB32);
    if (m->image.isNull()) return;
    m->image.fill(Qt::white);
    RenderContext ctx;
    ctx.view = view;
    ctx.SeriesSelector = 10;
    ctx.znaks = m->withSymbols ? &znaks_ : nullptr;
    const double factor = view.SymbolFactor;

    // A second thread draws the objects in list order as they are read;
    // this one works each into the fingerprint as it comes.  Once all are
    // read, this thread builds the index, then takes the end of the list
    // that is not drawn yet and draws it on a clear picture laid over the
    // first one (every pixel a figure sets is opaque, so the picture is the
    // one of drawing the list in turn).  An object is prepared for drawing
    // (and printed) before it is handed over: from then on both threads
    // only read it.
    struct Handover {
        std::mutex m;
        std::condition_variable cv;
        std::vector<TObj*> objects;  // read so far, in list order
        size_t next = 0;             // the drawer's next one
        size_t limit = SIZE_MAX;     // where the drawer stops
        bool allRead = false;
    } h;
    {
        // Room for every record the file can hold (none is shorter than 66
        // bytes): only the pages used are touched, none is copied.  Made
        // before the drawer starts: from then on the list is only grown
        // under the lock.
        std::error_code ec;
        const uintmax_t bytes = fs::file_size(resolvePathCase(binPath), ec);
        if (!ec) h.objects.reserve(size_t(std::min<uintmax_t>(bytes / 66, uintmax_t(1) << 28)));
    }
    size_t drawnInTurn = 0;  // by the drawer, read once it has ended
    auto drawer = [&] {
        QPainter painter(&m->image);
        ObjectPainter objects(painter, ctx);
        std::vector<TObj*> batch;
        for (;;) {
            {
                std::unique_lock lock(h.m);
                h.cv.wait(lock, [&] {
                    return h.allRead || (!drawerWaits && std::min(h.objects.size(), h.limit) > h.next);
                });
                const size_t end = std::min({h.objects.size(), h.limit, h.next + 256});
                if (end <= h.next) return;  // everything read, and drawn up to the limit
                batch.assign(h.objects.begin() + ptrdiff_t(h.next), h.objects.begin() + ptrdiff_t(end));
                h.next = end;
            }
            for (TObj* o : batch) objects.draw(*o, factor);
            drawnInTurn += batch.size();
        }
    };
    std::atomic<bool> failed{false};
    std::thread second([&] {
        try {
            drawer();
        } catch (...) {
            failed = true;
        }
    });
    // The drawer stops and ends on every way out of here (a damaged file).
    struct Joiner {
        std::thread& t;
        Handover& h;
        ~Joiner() {
            if (!t.joinable()) return;
            {
                std::lock_guard lock(h.m);
                h.allRead = true;
                h.limit = 0;
            }
            h.cv.notify_all();
            t.join();
        }
    } joiner{second, h};

    std::vector<TObj*> pending;
    ObjectsPrinter print;
    auto handOver = [&] {
        {
            std::lock_guard lock(h.m);
            h.objects.insert(h.objects.end(), pending.begin(), pending.end());
        }
        pending.clear();
        h.cv.notify_all();
    };
    LoadObjects(binPath, m->objects, {}, [&](TObj& o) {
        PrepareForDrawing(o, factor, ctx);
        print.add(o);
        pending.push_back(&o);
        if (pending.size() == 1024) handOver();
    });
    handOver();
    say("preload-read");
    m->index.attach(&m->objects);
    m->index.ensure();
    say("preload-indexed");
    m->objectsPrint = print.value();
    // The end of the list the drawer has not reached: about half of it here.
    const size_t n = m->objects.size();
    size_t cut;
    {
        std::lock_guard lock(h.m);
        h.allRead = true;
        cut = n - (n - h.next) / 2;
        if (n - cut < std::max<size_t>(smallestSplit, 1)) cut = n;
        h.limit = cut;
    }
    h.cv.notify_all();
    QImage upper;
    if (cut < n) {
        upper = QImage(size, QImage::Format_ARGB32_Premultiplied);
        if (upper.isNull()) return;
        upper.fill(Qt::transparent);
        QPainter painter(&upper);
        ObjectPainter objects(painter, ctx);
        for (size_t i = cut; i < n; ++i) objects.draw(*m->objects[i], factor);
    }
    second.join();
    if (failed) return;
    m->drawnInTurn = drawnInTurn;
    m->drawnOver = n - cut;
    say("preload-drawn");
    if (!upper.isNull()) {
        QPainter painter(&m->image);
        painter.drawImage(0, 0, upper);
    }
    // A file changed while it was read: opening reads it again.
    for (const Stamp& s : stamps_)
        if (!(stampOf(s.path) == s)) return;
    map_ = std::move(m);
}

std::unique_ptr<PreloadedMap> StartupPreload::take(const fs::path& orPath, const MapView& view,
                                                   const RenderContext& ctx) {
    if (!started_) return nullptr;
    finish();
    std::unique_ptr<PreloadedMap> m = std::move(map_);
    if (!m || m->orPath != orPath) return nullptr;
    const MapView& v = m->view;
    if (v.ViewXMin != view.ViewXMin || v.ViewXMax != view.ViewXMax || v.ViewYMin != view.ViewYMin ||
        v.ViewYMax != view.ViewYMax || v.Scale != view.Scale || v.SymbolFactor != view.SymbolFactor)
        return nullptr;
    if (ctx.SeriesSelector != 10 || ctx.NoAreaFill || (ctx.znaks != nullptr) != m->withSymbols) return nullptr;
    for (const Stamp& s : stamps_)
        if (!(stampOf(s.path) == s)) return nullptr;
    return m;
}

}  // namespace dm
