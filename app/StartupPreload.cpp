#include "StartupPreload.h"

#include "SavedState.h"
#include "display/Render.h"
#include "mapdata/BinaryIO.h"

#include <QPainter>

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
    const fs::path ris = startDir / "sem100n.ris";
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
    LoadObjects(binPath, m->objects);
    say("preload-read");
    // Two threads draw the two parts of the list: the second part on a
    // clear picture laid over the first one's (every pixel a figure sets is
    // opaque, so the picture is the one of drawing the list in turn).  The
    // second thread builds the index first, the first one fingerprints the
    // objects after drawing: the drawing only reads the objects once they
    // are prepared for it.
    for (const auto& o : m->objects) PrepareForDrawing(*o, view.SymbolFactor, ctx);
    const size_t n = m->objects.size(), cut = n - n * 9 / 20;
    QImage upper(size, QImage::Format_ARGB32_Premultiplied);
    if (upper.isNull()) return;
    upper.fill(Qt::transparent);
    std::atomic<bool> failed{false};
    auto draw = [&](QImage& target, size_t from, size_t to) {
        QPainter painter(&target);
        ObjectPainter objects(painter, ctx);
        for (size_t i = from; i < to; ++i) objects.draw(*m->objects[i], view.SymbolFactor);
    };
    std::thread second([&] {
        try {
            m->index.attach(&m->objects);
            m->index.ensure();
            draw(upper, cut, n);
        } catch (...) {
            failed = true;
        }
    });
    try {
        draw(m->image, 0, cut);
        m->objectsPrint = ObjectsFingerprint(m->objects);
    } catch (...) {
        failed = true;
    }
    second.join();
    if (failed) return;
    say("preload-drawn");
    {
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
