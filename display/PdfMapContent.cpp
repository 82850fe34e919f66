#include "PdfMapContent.h"

#include "PieceDeflater.h"

#include <QBuffer>
#include <QImage>
#include <QPageLayout>
#include <QPaintEngine>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPrinter>

#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace dm {

void AppendPdfReal(std::string& out, double v) {
    char buf[48];
    char* b = buf;
    if (!std::isfinite(v) || std::fabs(v) > 4294967295.0) {
        out.append("0 ", 2);
        return;
    }
    if (v < 0) {
        *b++ = '-';
        v = -v;
    }
    double whole;
    const double frac = std::modf(v, &whole);
    uint32_t ival = uint32_t(whole);
    int ifrac = int(frac * 1000000000);
    if (ifrac == 1000000000) {
        ++ival;
        ifrac = 0;
    }
    char digits[16];
    int n = 0;
    for (; ival; ival /= 10) digits[n++] = char('0' + ival % 10);
    int fact = 100000000;
    if (n == 0) {
        *b++ = '0';
    } else {
        // Each digit before the point takes one from the nine after it.
        while (n) {
            *b++ = digits[--n];
            fact /= 10;
            ifrac /= 10;
        }
    }
    if (ifrac) {
        *b++ = '.';
        for (; fact; fact /= 10) *b++ = char('0' + (ifrac / fact) % 10);
    }
    *b++ = ' ';
    out.append(buf, size_t(b - buf));
}

namespace {

// A matrix's six numbers, as Qt writes them before "cm" or in "/Matrix [...]".
void appendMatrixNumbers(std::string& out, const QTransform& m) {
    for (double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) AppendPdfReal(out, v);
}

void appendInt(std::string& out, long v) {
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%ld ", v);
    out.append(buf, size_t(n));
}

constexpr size_t kPiece = size_t(4) << 20;

// A path as QPainterPath keeps it (the same points skipped, merged and
// added), without its allocations.
struct PathElem {
    double x, y;
    int type;  // 0 move, 1 line, 2 curve, 3 curve data
};

bool validCoord(double c) { return std::isfinite(c) && std::fabs(c) < 1e128; }

class PathBuilder {
public:
    std::vector<PathElem> el;

    void clear() {
        el.clear();
        start_ = 0;
        requireMove_ = false;
    }
    void moveTo(double x, double y) {
        if (!validCoord(x) || !validCoord(y)) return;
        requireMove_ = false;
        if (!el.empty() && el.back().type == 0) {
            el.back().x = x;
            el.back().y = y;
        } else {
            el.push_back({x, y, 0});
        }
        start_ = el.size() - 1;
    }
    void lineTo(double x, double y) {
        if (!validCoord(x) || !validCoord(y)) return;
        if (el.empty()) el.push_back({0, 0, 0});
        if (requireMove_) {
            el.push_back({el.back().x, el.back().y, 0});
            start_ = el.size() - 1;
            requireMove_ = false;
        }
        if (QPointF(x, y) == QPointF(el.back().x, el.back().y)) return;
        el.push_back({x, y, 1});
    }
    void closeSubpath() {
        if (el.empty() || (el.size() == 1 && el[0].type == 0)) return;
        requireMove_ = true;
        const PathElem first = el[start_];
        PathElem& last = el.back();
        if (first.x != last.x || first.y != last.y) {
            if (qFuzzyCompare(first.x, last.x) && qFuzzyCompare(first.y, last.y)) {
                last.x = first.x;
                last.y = first.y;
            } else {
                el.push_back({first.x, first.y, 1});
            }
        }
    }

    // The next line starts a new subpath (after a rectangle).
    void requireMove() { requireMove_ = true; }

private:
    size_t start_ = 0;
    bool requireMove_ = false;
};

enum class PathOp { Fill, Stroke, FillAndStroke };

// The uncoloured tiling pattern Qt's engine writes for a hatch style, as
// it writes it (matrix aside): taken from a tiny PDF made by Qt itself.
std::string hatchPatternObject(Qt::BrushStyle style) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter w(&buffer);
        w.setPageSize(QPageSize(QPageSize::A7));
        QPainter p(&w);
        p.fillRect(QRect(0, 0, 100, 100), QBrush(Qt::black, style));
    }
    const int at = bytes.indexOf("/PatternType 1");
    if (at < 0) return {};
    const int from = bytes.lastIndexOf("<<", at);
    const int end = bytes.indexOf("endstream\n", at);
    if (from < 0 || end < 0) return {};
    return std::string(bytes.constData() + from, size_t(end + 10 - from));
}

}  // namespace

class PdfContentEngine : public QPaintEngine {
public:
    explicit PdfContentEngine(PaintEngineFeatures f) : QPaintEngine(f) {}

    bool begin(QPaintDevice*) override {
        // The map goes inside one saved state of the page of its own, with
        // none of this painter's settings written yet.
        out_.append("q\n");
        began_ = true;
        first_ = true;
        return true;
    }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override {
        DirtyFlags flags = state.state();
        if (first_) {
            flags |= DirtyTransform | DirtyPen | DirtyBrush | DirtyHints;
            first_ = false;
        }
        if (flags & DirtyHints) flags |= DirtyBrush;
        if (flags & DirtyTransform) matrix_ = state.transform();
        if (flags & DirtyPen) {
            pen_ = state.pen();
            hasPen_ = pen_.style() != Qt::NoPen;
            const bool oldCosmetic = cosmetic_;
            cosmetic_ = pen_.style() == Qt::NoPen ? cosmetic_ : pen_.isCosmetic();
            const QBrush penBrush = pen_.brush();
            const bool oldSimple = simplePen_;
            simplePen_ = hasPen_ && penBrush.style() == Qt::SolidPattern && penBrush.isOpaque() && opacity_ == 1.0;
            if (oldSimple != simplePen_ || oldCosmetic != cosmetic_) flags |= DirtyTransform;
        }
        if (flags & DirtyBrush) {
            brush_ = state.brush();
            if (brush_.color().alpha() == 0 && brush_.style() == Qt::SolidPattern) brush_.setStyle(Qt::NoBrush);
            hasBrush_ = brush_.style() != Qt::NoBrush;
        }
        if (flags & DirtyBrushOrigin) {
            brushOrigin_ = state.brushOrigin();
            flags |= DirtyBrush;
        }
        if (flags & DirtyOpacity) {
            opacity_ = state.opacity();
            if (opacity_ != 1.0) fail("прозрачность");
        }
        if (flags & (DirtyClipPath | DirtyClipRegion)) {
            if (state.clipOperation() != Qt::NoClip) fail("обрезка");
        } else if ((flags & DirtyClipEnabled) && state.isClipEnabled()) {
            fail("обрезка");
        }
        setupGraphicsState(flags);
    }

    // The painter's settings written before the first figure, had they not
    // changed since the painter began.
    void settle() {
        if (first_ && state) updateState(*state);
    }

    void drawPath(const QPainterPath& path) override {
        settle();
        const int n = path.elementCount();
        elems_.resize(size_t(n));
        for (int i = 0; i < n; ++i) {
            const QPainterPath::Element& e = path.elementAt(i);
            elems_[size_t(i)] = {e.x, e.y, int(e.type)};
        }
        drawElems(elems_, path.fillRule());
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (!points || !count) return;
        settle();
        const bool hb = hasBrush_;
        Qt::FillRule rule = Qt::OddEvenFill;
        if (mode == ConvexMode || mode == WindingMode) rule = Qt::WindingFill;
        if (mode == PolylineMode) hasBrush_ = false;
        path_.clear();
        path_.moveTo(points[0].x(), points[0].y());
        for (int i = 1; i < count; ++i) path_.lineTo(points[i].x(), points[i].y());
        if (mode != PolylineMode) path_.closeSubpath();
        drawElems(path_.el, rule);
        hasBrush_ = hb;
    }

    void drawPoints(const QPointF* points, int count) override {
        if (!points) return;
        settle();
        path_.clear();
        for (int i = 0; i < count; ++i) {
            const QPointF q = points[i] + QPointF(0, 0.001);
            path_.moveTo(points[i].x(), points[i].y());
            path_.lineTo(q.x(), q.y());
        }
        strokeOnly();
    }

    void drawLines(const QLineF* lines, int count) override {
        if (!lines) return;
        settle();
        path_.clear();
        for (int i = 0; i < count; ++i) {
            path_.moveTo(lines[i].x1(), lines[i].y1());
            path_.lineTo(lines[i].x2(), lines[i].y2());
        }
        strokeOnly();
    }

    // The path built, stroked and never filled (points and lines).
    void strokeOnly() {
        const bool hb = hasBrush_;
        hasBrush_ = false;
        drawElems(path_.el, Qt::OddEvenFill);
        hasBrush_ = hb;
    }

    void drawRects(const QRectF* rects, int count) override {
        if (!rects) return;
        settle();
        if (!hasPen_ && !hasBrush_) return;
        if ((simplePen_ && !needsTransform_) || !hasPen_) {
            if (!hasPen_ && needsTransform_) {
                out_.append("q\n");
                appendMatrix(matrix_);
            }
            for (int i = 0; i < count; ++i) {
                AppendPdfReal(out_, rects[i].x());
                AppendPdfReal(out_, rects[i].y());
                AppendPdfReal(out_, rects[i].width());
                AppendPdfReal(out_, rects[i].height());
                out_.append("re\n");
            }
            out_.append(hasPen_ ? (hasBrush_ ? "B\n" : "S\n") : "f\n");
            if (!hasPen_ && needsTransform_) out_.append("Q\n");
            flushIfFull();
        } else {
            // As a path of rectangles, each closed by a line to its corner.
            path_.clear();
            for (int i = 0; i < count; ++i) {
                const QRectF& r = rects[i];
                path_.moveTo(r.x(), r.y());
                path_.el.push_back({r.x() + r.width(), r.y(), 1});
                path_.el.push_back({r.x() + r.width(), r.y() + r.height(), 1});
                path_.el.push_back({r.x(), r.y() + r.height(), 1});
                path_.el.push_back({r.x(), r.y(), 1});
                path_.requireMove();
            }
            drawElems(path_.el, Qt::OddEvenFill);
        }
    }

    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { fail("растровое изображение"); }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
        fail("растровое изображение");
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override { fail("растровое изображение"); }
    void drawTextItem(const QPointF&, const QTextItem&) override { fail("текст"); }

    void fail(const char* what) {
        if (why_.empty()) why_ = what;
    }

    // Sends the full piece to be deflated.
    void flushIfFull() {
        if (out_.size() >= kPiece) sendPiece();
    }
    void sendPiece() {
        deflater_.push(std::move(out_));
        out_ = std::string();
        out_.reserve(kPiece + 4096);
    }

    std::string why_;
    std::string out_;
    bool began_ = false, first_ = true;
    PieceDeflater deflater_;
    std::vector<std::string> stream_;
    QTransform page_;  // Qt's page matrix: hatches are placed on the page
    // Hatch patterns: the object text (matrix aside) per style, and the
    // objects written, by their full text.
    std::map<int, std::string> hatchText_;
    std::vector<std::string> patterns_;
    std::map<std::string, int> patternIndex_;

private:
    void appendMatrix(const QTransform& m) {
        appendMatrixNumbers(out_, m);
        out_.append("cm\n");
    }

    void appendColor(const QColor& c) {
        AppendPdfReal(out_, double(c.redF()));
        AppendPdfReal(out_, double(c.greenF()));
        AppendPdfReal(out_, double(c.blueF()));
    }

    void setupGraphicsState(DirtyFlags flags) {
        if (flags & DirtyTransform) {
            out_.append("Q\n");
            flags |= DirtyPen | DirtyBrush;
            out_.append("q\n");
            needsTransform_ = false;
            if (!matrix_.isIdentity()) {
                if (simplePen_ && !cosmetic_) appendMatrix(matrix_);
                else needsTransform_ = true;
            }
        }
        if (flags & DirtyBrush) setBrush();
        if (simplePen_ && (flags & DirtyPen)) setPen();
    }

    void setPen() {
        if (pen_.style() == Qt::NoPen) return;
        appendColor(pen_.brush().color());
        out_.append("SCN\n");
        AppendPdfReal(out_, pen_.widthF());
        out_.append("w ");
        int cap = 0;
        if (pen_.capStyle() == Qt::SquareCap) cap = 2;
        else if (pen_.capStyle() == Qt::RoundCap) cap = 1;
        appendInt(out_, cap);
        out_.append("J ");
        int join = 0;
        switch (pen_.joinStyle()) {
        case Qt::MiterJoin:
        case Qt::SvgMiterJoin:
            AppendPdfReal(out_, std::max(1.0, pen_.miterLimit()));
            out_.append("M ");
            break;
        case Qt::BevelJoin: join = 2; break;
        case Qt::RoundJoin: join = 1; break;
        default: break;
        }
        appendInt(out_, join);
        out_.append("j ");
        // The dashes, in pen widths.
        out_.push_back('[');
        double w = pen_.widthF();
        if (w < 0.001) w = 1;
        for (double d : pen_.dashPattern()) {
            double dw = d * w;
            if (dw < 0.0001) dw = 0.0001;
            AppendPdfReal(out_, dw);
        }
        out_.push_back(']');
        AppendPdfReal(out_, pen_.dashOffset() * w);
        out_.append(" d\n");
    }

    void setBrush() {
        const Qt::BrushStyle style = brush_.style();
        if (style == Qt::NoBrush) return;
        // A hatch is never opaque to Qt: it then asks for a state with the
        // brush's and the pen's alpha, which is the plain one when both are whole.
        if (!brush_.isOpaque() && style < Qt::LinearGradientPattern &&
            (brush_.color().alpha() != 255 || pen_.color().alpha() != 255)) {
            fail("прозрачная заливка");
            return;
        }
        int pattern = 0;
        if (style > Qt::SolidPattern && style <= Qt::DiagCrossPattern) {
            pattern = patternFor(style);
            if (pattern < 0) return;
        } else if (style != Qt::SolidPattern) {
            fail("заливка градиентом или текстурой");
            return;
        }
        out_.append(pattern ? "/PCSp cs " : "/CSp cs ");
        appendColor(brush_.color());
        if (pattern) {
            out_.append("/PatM");  // ours, apart from Qt's "/Pat<object>"
            appendInt(out_, pattern);
        }
        out_.append("scn\n");
        out_.append("/GSa gs\n");
    }

    // The pattern's number among ours (from 1); -1 when Qt's could not be
    // had.
    int patternFor(Qt::BrushStyle style) {
        auto t = hatchText_.find(int(style));
        if (t == hatchText_.end()) t = hatchText_.emplace(int(style), hatchPatternObject(style)).first;
        const std::string& text = t->second;
        const size_t m = text.find("/Matrix [");
        const size_t me = m == std::string::npos ? m : text.find(']', m);
        if (me == std::string::npos) {
            fail("узор штриховки");
            return -1;
        }
        // Qt's engine places hatches on the page by the brush origin alone,
        // whatever the painter's transform.
        QTransform matrix;
        matrix.translate(brushOrigin_.x(), brushOrigin_.y());
        matrix = matrix * page_;
        std::string numbers;
        appendMatrixNumbers(numbers, matrix);
        std::string object = text.substr(0, m + 9) + numbers + text.substr(me);
        auto [it, added] = patternIndex_.emplace(object, int(patterns_.size()) + 1);
        if (added) patterns_.push_back(std::move(object));
        return it->second;
    }

    void drawElems(const std::vector<PathElem>& el, Qt::FillRule rule) {
        if (!hasPen_ && !hasBrush_) return;
        if (simplePen_) {
            generate(el, needsTransform_, rule, hasBrush_ ? PathOp::FillAndStroke : PathOp::Stroke);
        } else {
            if (hasBrush_) generate(el, true, rule, PathOp::Fill);
            if (hasPen_) fail("перо с узором или прозрачностью");
        }
        flushIfFull();
    }

    void point(double x, double y, bool mapped) {
        if (mapped) {
            const QPointF p = matrix_.map(QPointF(x, y));
            x = p.x();
            y = p.y();
        }
        AppendPdfReal(out_, x);
        AppendPdfReal(out_, y);
    }

    void generate(const std::vector<PathElem>& el, bool useMatrix, Qt::FillRule rule, PathOp op) {
        if (el.empty()) return;
        const bool mapped = useMatrix && matrix_.type() != QTransform::TxNone;
        long start = -1;
        const long n = long(el.size());
        for (long i = 0; i < n; ++i) {
            const PathElem& e = el[size_t(i)];
            switch (e.type) {
            case 0:
                if (start >= 0 && el[size_t(start)].x == el[size_t(i - 1)].x && el[size_t(start)].y == el[size_t(i - 1)].y)
                    out_.append("h\n");
                point(e.x, e.y, mapped);
                out_.append("m\n");
                start = i;
                break;
            case 1:
                point(e.x, e.y, mapped);
                out_.append("l\n");
                break;
            case 2:
                if (i + 2 >= n) {
                    fail("неполная кривая");
                    return;
                }
                point(e.x, e.y, mapped);
                point(el[size_t(i + 1)].x, el[size_t(i + 1)].y, mapped);
                point(el[size_t(i + 2)].x, el[size_t(i + 2)].y, mapped);
                out_.append("c\n");
                i += 2;
                break;
            default:
                fail("неизвестный элемент пути");
                return;
            }
        }
        if (start >= 0 && el[size_t(start)].x == el.back().x && el[size_t(start)].y == el.back().y) out_.append("h\n");
        const bool winding = rule == Qt::WindingFill;
        switch (op) {
        case PathOp::Fill: out_.append(winding ? "f\n" : "f*\n"); break;
        case PathOp::Stroke: out_.append("S\n"); break;
        case PathOp::FillAndStroke: out_.append(winding ? "B\n" : "B*\n"); break;
        }
    }

    QTransform matrix_;
    QPen pen_;
    QBrush brush_;
    QPointF brushOrigin_;
    double opacity_ = 1.0;
    bool hasPen_ = true, hasBrush_ = false, simplePen_ = false, cosmetic_ = true, needsTransform_ = false;
    PathBuilder path_;
    std::vector<PathElem> elems_;
};

namespace {

QPaintEngine::PaintEngineFeatures featuresOf(const QPaintEngine* e) {
    QPaintEngine::PaintEngineFeatures f;
    if (!e) return f;
    for (int bit = 0; bit < 32; ++bit) {
        const auto one = QPaintEngine::PaintEngineFeature(1u << bit);
        if (e->hasFeature(one)) f |= one;
    }
    return f;
}

}  // namespace

PdfMapContent::PdfMapContent(const QPainter& qt)
    : engine_(std::make_unique<PdfContentEngine>(featuresOf(qt.paintEngine()))) {
    engine_->out_.reserve(kPiece + 4096);
    const QPaintDevice* dev = qt.device();
    if (!dev || !qt.paintEngine() || qt.paintEngine()->type() != QPaintEngine::Pdf) {
        engine_->fail("не PDF");
        return;
    }
    if (const auto* printer = dynamic_cast<const QPrinter*>(dev); printer && printer->colorMode() != QPrinter::Color)
        engine_->fail("печать в оттенках серого");
    // The page's matrix, as Qt's engine makes it: points from the page's
    // pixels, the paint rectangle's corner at the origin unless the page
    // is drawn whole.
    if (const auto* paged = dynamic_cast<const QPagedPaintDevice*>(dev)) {
        const QPageLayout layout = paged->pageLayout();
        const int resolution = dev->logicalDpiX();
        const double scale = 72.0 / resolution;
        QTransform page(scale, 0.0, 0.0, -scale, 0.0, layout.fullRectPoints().height());
        if (layout.mode() != QPageLayout::FullPageMode) {
            const QRect r = layout.paintRectPixels(resolution);
            page.translate(r.left(), r.top());
        }
        engine_->page_ = page;
        appendMatrixNumbers(pageMatrix_, page);
        pageMatrix_ += "cm\n";
    } else {
        engine_->fail("не страница");
    }
    metrics_[PdmWidth] = dev->width();
    metrics_[PdmHeight] = dev->height();
    metrics_[PdmWidthMM] = dev->widthMM();
    metrics_[PdmHeightMM] = dev->heightMM();
    metrics_[PdmNumColors] = dev->colorCount();
    metrics_[PdmDepth] = dev->depth();
    metrics_[PdmDpiX] = dev->logicalDpiX();
    metrics_[PdmDpiY] = dev->logicalDpiY();
    metrics_[PdmPhysicalDpiX] = dev->physicalDpiX();
    metrics_[PdmPhysicalDpiY] = dev->physicalDpiY();
    metrics_[PdmDevicePixelRatio] = int(dev->devicePixelRatio());
    metrics_[PdmDevicePixelRatioScaled] = int(dev->devicePixelRatio() * devicePixelRatioFScale());
}

PdfMapContent::~PdfMapContent() = default;

int PdfMapContent::metric(PaintDeviceMetric m) const {
    return int(m) >= 0 && int(m) < 16 ? metrics_[m] : 0;
}

QPaintEngine* PdfMapContent::paintEngine() const { return engine_.get(); }

bool PdfMapContent::usable() const { return engine_->why_.empty() && !broken(); }
std::string PdfMapContent::whyNot() const { return broken() ? engine_->deflater_.error() : engine_->why_; }

void PdfMapContent::drawPlaceholder(QPainter& qt) {
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.fill(Qt::transparent);
    qt.save();
    qt.resetTransform();
    qt.drawImage(QRectF(0, 0, 1, 1), pixel);
    qt.restore();
}

void PdfMapContent::finish() {
    PdfContentEngine& e = *engine_;
    if (e.began_) e.out_.append("Q\n");
    e.began_ = false;
    e.sendPiece();
    e.stream_ = e.deflater_.finish();
}

void PdfMapContent::abandon() {
    PdfContentEngine& e = *engine_;
    e.began_ = false;
    std::string().swap(e.out_);
    e.deflater_.abandon();
    e.fail("печать остановлена");
}

bool PdfMapContent::broken() const { return engine_->deflater_.failed(); }

void PdfMapContent::setDeflateHook(std::function<void(z_stream_s&)> hook) {
    engine_->deflater_.beforePiece = std::move(hook);
}

namespace {

// The number after `key` in `text` from `from` (the first digits), -1 when none.
long numberAfter(const std::string& text, const std::string& key, size_t from = 0, size_t to = std::string::npos) {
    const size_t at = text.find(key, from);
    if (at == std::string::npos || (to != std::string::npos && at >= to)) return -1;
    size_t i = at + key.size();
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    return std::strtol(text.c_str() + i, nullptr, 10);
}

// Where object `n` starts ("n 0 obj"), npos when it is not there.
size_t objectAt(const std::string& pdf, long n) {
    std::string head(1, '\n');
    head += std::to_string(n);
    head += " 0 obj\n";
    const size_t at = pdf.rfind(head);
    return at == std::string::npos ? at : at + 1;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Object `n`'s text from "n 0 obj" to its "endobj"; empty when not there.
std::string objectText(const std::string& pdf, long n) {
    const size_t at = objectAt(pdf, n);
    const size_t end = at == std::string::npos ? at : pdf.find("endobj", at);
    return end == std::string::npos ? std::string() : pdf.substr(at, end - at);
}

// The inflated data of stream object `n` (its length given directly or by
// an object of its own); false when it cannot be had.
bool streamData(const std::string& pdf, long n, std::string& out) {
    const size_t at = objectAt(pdf, n);
    const size_t s = at == std::string::npos ? at : pdf.find(">>\nstream\n", at);
    if (s == std::string::npos) return false;
    const std::string dict = pdf.substr(at, s - at);
    long length = -1;
    const size_t l = dict.find("/Length ");
    if (l != std::string::npos) {
        const long v = std::strtol(dict.c_str() + l + 8, nullptr, 10);
        if (dict.compare(dict.find_first_not_of("0123456789", l + 8), 4, " 0 R") == 0) {
            const std::string lengthObject = objectText(pdf, v);
            const size_t nl = lengthObject.find("obj\n");
            length = nl == std::string::npos ? -1 : std::strtol(lengthObject.c_str() + nl + 4, nullptr, 10);
        } else {
            length = v;
        }
    }
    const size_t from = s + 10;
    if (length < 0 || from + size_t(length) > pdf.size() || dict.find("/FlateDecode") == std::string::npos) return false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pdf.data() + from));
    z.avail_in = uInt(length);
    char buf[1 << 16];
    int r = Z_OK;
    out.clear();
    while (r == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    }
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

std::string deflated(const std::string& text) {
    uLongf size = compressBound(uLong(text.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), uLong(text.size()),
              Z_BEST_SPEED);
    out.resize(size);
    return out;
}

std::string streamObject(long n, size_t length) {
    return std::to_string(n) + " 0 obj\n<<\n/Length " + std::to_string(length) + "\n/Filter /FlateDecode\n>>\nstream\n";
}

}  // namespace

bool PdfMapContent::appendTo(const std::filesystem::path& file, std::string& why) {
    if (!usable()) {
        why = "карта не записана: " + whyNot();
        return false;
    }
    std::string pdf;
    {
        const int fd = ::open(file.c_str(), O_RDONLY);
        if (fd < 0) {
            why = std::strerror(errno);
            return false;
        }
        char buf[1 << 16];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            pdf.append(buf, size_t(n));
        }
        ::close(fd);
    }
    // The last cross-reference table and trailer.
    const size_t sx = pdf.rfind("startxref");
    const size_t tr = sx == std::string::npos ? sx : pdf.rfind("trailer", sx);
    const long prev = sx == std::string::npos ? -1 : numberAfter(pdf, "startxref\n", sx);
    if (tr == std::string::npos || prev < 0) {
        why = "нет таблицы объектов";
        return false;
    }
    const long size = numberAfter(pdf, "/Size", tr, sx);
    const long root = numberAfter(pdf, "/Root", tr, sx);
    const long info = numberAfter(pdf, "/Info", tr, sx);
    // The one page, its content and resources; the placeholder is its only
    // image and is drawn once.
    const size_t pageAt = pdf.find("/Type /Page\n");
    if (size <= 0 || root < 0 || pageAt == std::string::npos ||
        pdf.find("/Type /Page\n", pageAt + 1) != std::string::npos) {
        why = "не одна страница";
        return false;
    }
    const size_t pageObj = pdf.rfind(" 0 obj\n", pageAt);
    const size_t pageNoAt = pageObj == std::string::npos ? pageObj : pdf.rfind('\n', pageObj);
    const long pageNo = pageNoAt == std::string::npos ? -1 : std::strtol(pdf.c_str() + pageNoAt + 1, nullptr, 10);
    const std::string page = pageNo < 0 ? std::string() : objectText(pdf, pageNo);
    const long contentNo = numberAfter(page, "/Contents");
    const long resNo = numberAfter(page, "/Resources");
    const std::string resources = resNo < 0 ? std::string() : objectText(pdf, resNo);
    std::string content;
    if (page.empty() || resources.empty() || contentNo < 0 || !streamData(pdf, contentNo, content)) {
        why = "нет содержимого страницы";
        return false;
    }
    const size_t xo = resources.find("/XObject <<");
    const size_t xoEnd = xo == std::string::npos ? xo : resources.find(">>", xo);
    long image = -1;
    int images = 0;
    for (size_t at = xo; xoEnd != std::string::npos && (at = resources.find("/Im", at + 1)) < xoEnd;) {
        ++images;
        image = numberAfter(resources, " ", at, xoEnd);
    }
    const std::string call = "/Im" + std::to_string(image) + "  Do\nQ\n";
    const size_t placed = content.find(call);
    if (images != 1 || placed == std::string::npos || content.find(call, placed + 1) != std::string::npos) {
        why = "нет места для карты на странице";
        return false;
    }
    if (content.compare(0, 24 + pageMatrix_.size(), "/GSa gs /CSp cs /CSp CS\n" + pageMatrix_) != 0) {
        why = "страница не на той сетке";
        return false;
    }
    // The update: the hatch patterns; Qt's content up to the placeholder,
    // the map, the rest of Qt's; the resources with the patterns; the page
    // with the three contents; their cross-references; a trailer leading
    // back to Qt's.
    PdfContentEngine& e = *engine_;
    const size_t split = placed + call.size();
    const std::string before = deflated(content.substr(0, split)), after = deflated(content.substr(split));
    const long first = size, np = long(e.patterns_.size());
    const long beforeNo = first + np, mapNo = beforeNo + 1, afterNo = beforeNo + 2, newResNo = beforeNo + 3;
    const size_t base = pdf.size();
    std::vector<std::pair<long, size_t>> at;  // object, offset
    std::string head = pdf.back() == '\n' ? "" : "\n";
    for (long i = 0; i < np; ++i) {
        at.emplace_back(first + i, base + head.size());
        head += std::to_string(first + i) + " 0 obj\n" + e.patterns_[size_t(i)] + "endobj\n";
    }
    at.emplace_back(beforeNo, base + head.size());
    head += streamObject(beforeNo, before.size()) + before + "\nendstream\nendobj\n";
    size_t length = 0;
    for (const std::string& s : e.stream_) length += s.size();
    at.emplace_back(mapNo, base + head.size());
    head += streamObject(mapNo, length);
    std::string tail = "\nendstream\nendobj\n";
    const size_t tailBase = base + head.size() + length;
    at.emplace_back(afterNo, tailBase + tail.size());
    tail += streamObject(afterNo, after.size()) + after + "\nendstream\nendobj\n";
    // The resources: Qt's, with our patterns among its own.
    std::string res = resources.substr(resources.find("obj\n") + 4);
    std::string ours;
    for (long i = 0; i < np; ++i) ours += "/PatM" + std::to_string(i + 1) + " " + std::to_string(first + i) + " 0 R\n";
    const size_t patterns = res.find("/Pattern <<\n");
    if (patterns != std::string::npos) res.insert(patterns + 12, ours);
    else res.insert(res.rfind(">>"), "/Pattern <<\n" + ours + ">>\n");
    at.emplace_back(newResNo, tailBase + tail.size());
    tail += std::to_string(newResNo) + " 0 obj\n" + res + "endobj\n";
    // The page: its contents and resources replaced.
    std::string pageText = page;
    const std::string contents = "/Contents " + std::to_string(contentNo) + " 0 R";
    const std::string resRef = "/Resources " + std::to_string(resNo) + " 0 R";
    const size_t c = pageText.find(contents);
    if (c != std::string::npos)
        pageText.replace(c, contents.size(),
                         "/Contents [" + std::to_string(beforeNo) + " 0 R " + std::to_string(mapNo) + " 0 R " +
                             std::to_string(afterNo) + " 0 R]");
    const size_t r = pageText.find(resRef);
    if (r != std::string::npos) pageText.replace(r, resRef.size(), "/Resources " + std::to_string(newResNo) + " 0 R");
    if (c == std::string::npos || r == std::string::npos) {
        why = "страница записана иначе";
        return false;
    }
    const size_t pageOffset = tailBase + tail.size();
    tail += pageText + "endobj\n";
    const size_t xref = tailBase + tail.size();
    auto entry = [](size_t offset) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", offset);
        return std::string(buf);
    };
    tail += "xref\n" + std::to_string(pageNo) + " 1\n" + entry(pageOffset) + std::to_string(first) + " " +
            std::to_string(at.size()) + "\n";
    for (const auto& [n, offset] : at) tail += entry(offset);
    tail += "trailer\n<<\n/Size " + std::to_string(newResNo + 1) + "\n";
    if (info >= 0) tail += "/Info " + std::to_string(info) + " 0 R\n";
    tail += "/Root " + std::to_string(root) + " 0 R\n/Prev " + std::to_string(prev) + "\n>>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";

    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, head.data(), head.size());
    for (const std::string& s : e.stream_)
        if (ok) ok = writeAll(fd, s.data(), s.size());
    if (ok) ok = writeAll(fd, tail.data(), tail.size());
    const int err = errno;
    if (!ok) {
        // Back to Qt's file as it was.
        const bool cut = ::ftruncate(fd, off_t(base)) == 0;
        ::close(fd);
        why = std::string(std::strerror(err)) + (cut ? "" : "; файл остался недописанным");
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace dm
