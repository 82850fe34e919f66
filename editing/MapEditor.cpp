#include "MapEditor.h"

#include "Measure.h"
#include "XorDraw.h"

#include <QPainter>

namespace dm {

const char* const kObjectCommands[] = {
    "DeleteButton", "ChangeSem",    "MovPoinButton", "DelPointButton", "Udline",     "IsertFagmBitton",
    "ChangDirection", "zmknut",     "RazmkMenu",     "TurnObj",        "DivideButton", "SuitButton",
    "BringToFirst",  "SendToLast",  "DeletNameObj",  "DivPiketsMenu",  "AreaLineButton", nullptr};

namespace {
const QRgb kBoxPen = qRgb(0, 0, 0);  // zoom and raster rectangles: black
}  // namespace

void RedrawWithProgress(Workspace& ws) {
    if (ws.view.image.isNull()) return;
    ws.surface->setBusy(true);
    RedrawMap(ws.view.image, ws.map, ws.view.ctx,
              [&ws](int p) {
                  ws.view.ProgressPercent = p;
                  ws.surface->showProgress(p);
              },
              ws.view.activeLayerFilter());
    ws.surface->endProgress();
    ws.surface->setBusy(false);
    ws.surface->imageChanged();
}

void RedrawMapView(Workspace& ws) {
    if (ws.view.image.isNull()) return;
    ws.view.blink.BlinkOn = false;
    ws.modes.SelectMode = false;
    ws.map.EditPoints.clear();
    RedrawWithProgress(ws);
    ws.surface->mapRedrawn();
}

MapEditor::MapEditor(Workspace& ws)
    : ws_(ws), dispatch_(ws), sub_(ws.map.events, [this](const MapEvent& e) { mapChanged(e); }) {
    dispatch_.attach(20, [this](const MouseClick& c) { return zoomFirstCorner(c); });
    dispatch_.attach(21, [this](const MouseClick& c) { return zoomSecondCorner(c); });
    dispatch_.attach(22, [](const MouseClick&) { return Flow::Done; });
    dispatch_.attach(23, [this](const MouseClick& c) { return measure(c); });
    dispatch_.attach(38, [this](const MouseClick& c) { return pickObjectToMove(c); });
    dispatch_.attach(39, [this](const MouseClick& c) { return select(c); });
    dispatch_.attach(48, [this](const MouseClick& c) { return rasterBox(c); });
    dispatch_.attach(49, [this](const MouseClick& c) { return panStart(c); });
}

void MapEditor::mapChanged(const MapEvent& e) {
    if (!e.everything()) return;
    InteractionState& m = ws_.modes;
    m.ResetModes(ws_.view.blink);
    m.ClickCount = 0;
    m.EditStep = 0;
    m.PickIndex = m.PickIndex2 = -1;
    m.ScreenPoints.clear();
    m.InputPoints.clear();
    m.MapPoints.clear();
    m.DistanceSum = 0;
    m.FindNextPending = false;
    m.LassoArmed = m.LassoDrawing = false;
    m.StreetStep = 0;
    // A rectangle started on the old picture starts again on the new one.
    if (m.BoxState != 0) m.BoxState = (m.ZoomBoxDown || m.RasterBoxMode) ? 1 : 0;
    boxDrawn_ = false;
    measureBandDrawn_ = false;
    DisableObjectCommands();
    buttons();
}

// ---- mouse handlers ------------------------------------------------------

void MapEditor::ImageMouseDown(Qt::MouseButton button, QPoint pos) {
    InteractionState& m = ws_.modes;
    m.AnchorPoint = m.RubberPoint = m.LastClick = pos;
    measureBandDrawn_ = false;
    dispatch_.dispatch({button, pos});
    buttons();
}

void MapEditor::ImageMouseMove(QPoint pos) {
    InteractionState& m = ws_.modes;
    QImage& img = ws_.view.image;
    bool drew = false;
    // Moving an object: its outline follows the cursor.
    if (m.MoveObjectMode && m.ClickCount > 0 && m.PickIndex >= 0 && size_t(m.PickIndex) < ws_.map.EditPoints.size()) {
        std::vector<QPoint> outline;
        const TGn grab = ws_.map.EditPoints[size_t(m.PickIndex)];
        for (const TGn& g : ws_.map.EditPoints)
            outline.emplace_back(g.PX - grab.PX + m.RubberPoint.x(), g.PY - grab.PY + m.RubberPoint.y());
        xorPolyline(img, outline, kBandPen);
        for (TGn& g : ws_.map.EditPoints) {
            g.PX += pos.x() - grab.PX;
            g.PY += pos.y() - grab.PY;
        }
        outline.clear();
        for (const TGn& g : ws_.map.EditPoints) outline.emplace_back(g.PX, g.PY);
        xorPolyline(img, outline, kBandPen);
        drew = true;
    }
    // Measuring: a line from the last measured point.
    if (m.MeasureMode && m.ClickCount > 0 && size_t(m.ClickCount) < m.ScreenPoints.size()) {
        const QPoint last = m.ScreenPoints[size_t(m.ClickCount)];
        xorLine(img, last, m.RubberPoint, kBandPen);
        xorLine(img, last, pos, kBandPen);
        drew = true;
    }
    // Zoom or raster rectangle.
    if ((m.ZoomBoxDown || m.RasterBoxMode) && m.BoxState == 200) {
        if (boxDrawn_) xorRect(img, m.BoxCorner, m.RubberPoint, kBoxPen);
        xorRect(img, m.BoxCorner, pos, kBoxPen);
        boxDrawn_ = true;
        drew = true;
    }
    for (const auto& band : extraBands) drew = band(pos) || drew;
    // Panning: the picture slides with the cursor.
    if (m.PanDragging) ws_.surface->scrollBy(-(pos.x() - m.AnchorPoint.x()), -(pos.y() - m.AnchorPoint.y()));
    m.RubberPoint = pos;
    if (drew) changed();
    ws_.surface->setPanelText(2, QStringLiteral("%1,%2").arg(pos.x()).arg(pos.y()));
}

void MapEditor::ImageMouseUp(Qt::MouseButton, QPoint) {
    ws_.modes.PanDragging = false;
    ws_.surface->setImageCursor(cursor_);
    if (ws_.modes.LassoDrawing) {
        if (lassoReleased) lassoReleased();
        ws_.modes.LassoDrawing = false;
        buttons();
    }
}

// ---- rows -----------------------------------------------------------------

Flow MapEditor::zoomFirstCorner(const MouseClick& c) {
    ws_.modes.BoxCorner = c.pos;
    ws_.modes.BoxState = 200;
    boxDrawn_ = false;
    return Flow::Done;
}

void MapEditor::eraseBox() {
    if (boxDrawn_) {
        xorRect(ws_.view.image, ws_.modes.BoxCorner, ws_.modes.RubberPoint, kBoxPen);
        boxDrawn_ = false;
        changed();
    }
}

Flow MapEditor::zoomSecondCorner(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    // The band was drawn up to the last cursor position; the press itself
    // set RubberPoint to the click, so the band is erased where it was drawn.
    eraseBox();
    if (c.right()) {
        m.BoxState = 0;
        m.ZoomBoxDown = false;
        ws_.surface->setPanelText(4, QString());
        return Flow::Done;
    }
    zoomTo(m.BoxCorner, c.pos);
    return Flow::Done;
}

void MapEditor::zoomTo(QPoint a, QPoint b) {
    InteractionState& m = ws_.modes;
    int x1 = a.x(), y1 = a.y(), x2 = b.x(), y2 = b.y();
    NormalizeRect(x1, y1, x2, y2);
    m.BoxState = 0;
    m.ZoomBoxDown = false;
    ws_.surface->setPanelText(4, QString());
    if (x1 == x2 || y1 == y2) return;  // no rectangle: nothing to show
    MapView v = ws_.view.view();
    const MapView old = v;
    v.ViewXMin = old.ViewXMax - y2 / old.Scale;
    v.ViewYMax = x2 / old.Scale + old.ViewYMin;
    v.ViewXMax = old.ViewXMax - y1 / old.Scale;
    v.ViewYMin = x1 / old.Scale + old.ViewYMin;
    if (!v.FitScaleToScreen(ws_.surface->screenWidth())) return;
    v.Scale *= kOpenZoom;
    const QSize size = v.imageSize();
    if (size.width() < 1 || size.height() < 1 || double(size.width()) * size.height() > 400e6) {
        ws_.dialogs->message(QStringLiteral("Слишком узкий прямоугольник: изображение %1 x %2 не поместится в памяти.")
                                 .arg(size.width())
                                 .arg(size.height()));
        return;
    }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return;
    ws_.view.view() = v;
    ws_.view.image = std::move(image);
    RedrawMapView(ws_);
    MapView& cur = ws_.view.view();
    cur.computeScaleDenominator(size.height(), ws_.map.Orientation.CoordKind == 2, ws_.map.Orientation.AxialMeridian);
    ws_.surface->setPanelText(0, ScaleReadout(cur.ScaleDenominator, 6));
    ws_.surface->scrollToTopLeft();
}

Flow MapEditor::measure(const MouseClick& c) {
    if (ws_.view.view().Scale <= 0) return Flow::Done;
    if (c.right() && ws_.modes.ClickCount > 0) measuredArea();
    else measuredPoint(c);
    return Flow::Done;
}

void MapEditor::measuredPoint(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    if (m.ClickCount >= kMaxMeasuredPoints) {
        ws_.dialogs->message(QStringLiteral("В одном измерении не более %1 точек.").arg(kMaxMeasuredPoints));
        return;
    }
    const int k = ++m.ClickCount;
    QPoint pixel = c.pos;
    TXY p;
    if (m.Precision) {
        const ObjectHit h = hits_.FindVertexOfAnyObject(ws_.map, ws_.view.view(), c.pos);
        if (!h.Object) {
            ws_.dialogs->message(QStringLiteral("Точка не найдена"));
            --m.ClickCount;
            return;
        }
        pixel = h.Snapped;
        p = h.Map;
    } else {
        p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    }
    if (m.ScreenPoints.size() < 100) m.ScreenPoints.resize(100);
    if (m.MapPoints.size() < 100) m.MapPoints.resize(100);
    m.ScreenPoints[size_t(k)] = pixel;
    const TXY prev{m.MapPoints[size_t(k - 1)].x(), m.MapPoints[size_t(k - 1)].y()};
    const QString text = MeasuredPointText(p, k >= 2 ? &prev : nullptr, m.DistanceSum, ws_.map.Orientation);
    m.MapPoints[size_t(k)] = QPointF(p.X, p.Y);
    ws_.surface->setPanelText(4, text);
}

void MapEditor::measuredArea() {
    InteractionState& m = ws_.modes;
    const int n = m.ClickCount;
    m.MapPoints[size_t(n)] = m.MapPoints[1];
    std::vector<TXY> pts;
    for (int i = 1; i <= n; ++i) pts.push_back({m.MapPoints[size_t(i)].x(), m.MapPoints[size_t(i)].y()});
    ws_.surface->setPanelText(4, MeasuredAreaText(pts));
    ws_.surface->setPanelText(5, QString());
    m.MeasureMode = false;
    // The measured lines are drawn once more, which takes them off the picture.
    std::vector<QPoint> line(m.ScreenPoints.begin() + 1, m.ScreenPoints.begin() + n + 1);
    xorPolyline(ws_.view.image, line, kBandPen);
    changed();
}

void MapEditor::markVertices(bool pointObject) {
    QPainter p(&ws_.view.image);
    p.setPen(QPen(QColor(255, 0, 0), 0));
    p.setBrush(Qt::NoBrush);
    const int r = pointObject ? 3 : 2;
    for (const TGn& g : ws_.map.EditPoints) p.drawEllipse(QPoint(g.PX, g.PY), r, r);
    p.end();
    changed();
}

Flow MapEditor::pickObjectToMove(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const ObjectHit h = hits_.FindObject(ws_.map, ws_.view.view(), c.pos, ws_.view.activeLayerFilter());
    if (!h.Object) {
        ws_.dialogs->message(QStringLiteral("Объект не найден"));
        return Flow::Done;
    }
    m.PickIndex = h.Index;
    m.ClickCount = 1;
    markVertices(h.Object->Kind == KindPoint);
    return Flow::Continue;
}

Flow MapEditor::select(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    MapDoc& doc = ws_.map;
    ObjectHit h = hits_.FindObject(doc, ws_.view.view(), c.pos, ws_.view.activeLayerFilter());
    m.FoundNumber = h.Number;
    ws_.surface->setPanelText(3, QString::number(h.Number));
    if (m.FindNextPending) {
        // The next object under the same point, after the one just found.
        const int32_t from = doc.CurObj ? doc.CurObj->Number + 1 : 0;
        h = hits_.FindObject(doc, ws_.view.view(), c.pos, nullptr, size_t(std::max(0, from)));
        m.FoundNumber = h.Number;
        m.FindNextPending = false;
    }
    if (!h.Object) {
        ws_.dialogs->message(QStringLiteral("Объект не найден"));
        doc.EditPoints.clear();
        return Flow::Done;
    }
    EnableObjectCommands();
    ws_.view.blink.BlinkOn = true;
    ws_.view.blink.BlinkAsPoints = h.Object->Kind == KindPoint;
    const ObjectInfo info = ShowObjectInfo(*h.Object, ws_.classifier.ActiveSemantics, doc.Orientation);
    ws_.surface->setPanelText(5, info.panel5);
    ws_.surface->setPanelText(4, info.panel4);
    ws_.surface->setPanelText(3, info.panel3);
    return Flow::Done;
}

Flow MapEditor::rasterBox(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    if (m.BoxState == 1) {
        m.BoxCorner = c.pos;
        m.BoxState = 200;
        boxDrawn_ = false;
        return Flow::Done;
    }
    if (m.BoxState == 200) {
        eraseBox();
        int x1 = m.BoxCorner.x(), y1 = m.BoxCorner.y(), x2 = c.pos.x(), y2 = c.pos.y();
        NormalizeRect(x1, y1, x2, y2);
        ws_.surface->setPanelText(4, QStringLiteral("Ждите."));
        m.BoxState = 0;
        m.RasterBoxMode = false;
        if (rasterBoxDone) rasterBoxDone(x1, y1, x2, y2);
    }
    return Flow::Done;
}

Flow MapEditor::panStart(const MouseClick& c) {
    ws_.modes.PanDragging = true;
    ws_.modes.AnchorPoint = c.pos;
    ws_.surface->setImageCursor(Qt::PointingHandCursor);
    return Flow::Done;
}

// ---- buttons and menu items ----------------------------------------------

void MapEditor::KfUvClick() {
    InteractionState& m = ws_.modes;
    if (m.BoxState != 0) {
        eraseBox();
        m.ZoomBoxDown = false;
        m.BoxState = 0;
    } else {
        m.ZoomBoxDown = true;
        m.ClickCount = 0;
        m.StreetStep = 0;
        m.BoxState = 1;
    }
    m.EditStep = 0;
    m.MeasureMode = false;
    buttons();
}

void MapEditor::GeocordButtonClick() {
    InteractionState& m = ws_.modes;
    if (!m.MeasureMode) {
        m.MeasureMode = true;
        m.ScreenPoints.assign(100, QPoint());
        m.MapPoints.assign(100, QPointF());
    } else {
        m.MeasureMode = false;
    }
    m.ClickCount = 0;
    m.DistanceSum = 0;
    ws_.surface->setPanelText(4, QString());
    buttons();
}

void MapEditor::MoveRastrButtonClick() {
    InteractionState& m = ws_.modes;
    m.MeasureMode = false;
    m.SelectMode = false;
    m.PanMode = !m.PanMode;
    buttons();
}

void MapEditor::FindButtonClick() {
    InteractionState& m = ws_.modes;
    m.SelectMode = true;
    m.MoveVertexMode = m.DeleteVertexMode = m.DeleteFragmentMode = m.MeasureMode = m.FindNextPending = false;
    buttons();
}

void MapEditor::BlickButtonClick(bool down) {
    ws_.view.blink.BlinkOn = down;
    ws_.modes.SelectMode = false;
    buttons();
}

void MapEditor::SuitButtonClick() { ws_.modes.FindNextPending = true; }

void MapEditor::OtmenaRedkClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    DisableObjectCommands();
    ws_.modes.DivideMode = false;
    buttons();
}

void MapEditor::CursCroisClick() {
    cursor_ = Qt::CrossCursor;
    ws_.surface->setImageCursor(cursor_);
}

void MapEditor::CursDefaultClick() {
    cursor_ = Qt::ArrowCursor;
    ws_.surface->setImageCursor(cursor_);
}

void MapEditor::PrecisionClick(bool checked) { ws_.modes.Precision = checked; }

void MapEditor::EnableObjectCommands() {
    if (objectCommands) objectCommands(true);
}

void MapEditor::DisableObjectCommands() {
    if (objectCommands) objectCommands(false);
}

namespace {
// Records the list changes of one command when there is a history.
struct Step {
    UndoHistory* h;
    Step(UndoHistory* history, const QString& what) : h(history) {
        if (h) h->begin(what);
    }
    ~Step() {
        if (h) h->commit();
    }
    void move(TObjList& list, size_t from, size_t to) {
        if (h) h->move(from, to);
        else list.move(from, to);
    }
    void reorder(TObjList& list, const std::vector<size_t>& order) {
        if (h) h->reorder(order);
        else list.reorder(order);
    }
};
}  // namespace

void MapEditor::BringToFirstClick() {
    const long i = ws_.map.ObjList.indexOf(ws_.map.CurObj);
    if (i < 0) return;
    Step(history_, QStringLiteral("Объект на передний план")).move(ws_.map.ObjList, size_t(i), 0);
    DisableObjectCommands();
    ws_.map.MapModified = true;
    ws_.view.blink.BlinkOn = false;
    buttons();
}

void MapEditor::SendToLastClick() {
    const long i = ws_.map.ObjList.indexOf(ws_.map.CurObj);
    if (i < 0) return;
    Step(history_, QStringLiteral("Объект на задний план")).move(ws_.map.ObjList, size_t(i), ws_.map.ObjList.size() - 1);
    DisableObjectCommands();
    ws_.map.MapModified = true;
    ws_.view.blink.BlinkOn = false;
    buttons();
}

namespace {
// Areas first (or last), each group in its previous order.
std::vector<size_t> areasRegrouped(const TObjList& list, bool areasFirst) {
    std::vector<size_t> areas, others;
    for (size_t i = 0; i < list.size(); ++i) (list[i]->Kind == KindArea ? areas : others).push_back(i);
    std::vector<size_t> order = areasFirst ? areas : others;
    const std::vector<size_t>& rest = areasFirst ? others : areas;
    order.insert(order.end(), rest.begin(), rest.end());
    return order;
}
}  // namespace

void MapEditor::BringtofrontClick() {
    ws_.surface->setBusy(true);
    Step(history_, QStringLiteral("Площадные вперед")).reorder(ws_.map.ObjList, areasRegrouped(ws_.map.ObjList, true));
    ws_.map.MapModified = true;
    DisableObjectCommands();
    ws_.surface->setBusy(false);
}

void MapEditor::SendToBackClick() {
    ws_.surface->setBusy(true);
    Step(history_, QStringLiteral("Площадные в конец")).reorder(ws_.map.ObjList, areasRegrouped(ws_.map.ObjList, false));
    ws_.map.MapModified = true;
    DisableObjectCommands();
    ws_.surface->setBusy(false);
}

}  // namespace dm
