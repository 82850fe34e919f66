#include "ObjectEdits.h"

#include "XorDraw.h"

#include "mapdata/Geometry.h"

#include <QPainter>

#include <cmath>

namespace dm {

namespace {
const QString kNoPoint = QStringLiteral("Точка не найдена");
}  // namespace

ObjectEdits::ObjectEdits(Workspace& ws, MapEditor& editor, UndoHistory& history)
    : ws_(ws), editor_(editor), history_(history), sub_(ws.map.events, [this](const MapEvent& e) { mapChanged(e); }) {
    MouseDispatch& d = editor.dispatch();
    d.attach(24, [this](const MouseClick& c) { return rotatePivot(c); });
    d.attach(25, [this](const MouseClick& c) { return rotateGrab(c); });
    d.attach(26, [this](const MouseClick& c) { return rotateFix(c); });
    d.attach(27, [this](const MouseClick& c) { return moveVertex(c); });
    d.attach(28, [this](const MouseClick& c) { return pickVertexToMove(c); });
    d.attach(29, [this](const MouseClick& c) { return divide(c); });
    d.attach(30, [this](const MouseClick& c) { return fragmentFirst(c); });
    d.attach(31, [this](const MouseClick& c) { return fragmentSecond(c); });
    d.attach(32, [](const MouseClick&) { return Flow::Done; });
    d.attach(33, [this](const MouseClick& c) { return insertStart(c); });
    d.attach(34, [this](const MouseClick& c) { return insertEnd(c); });
    d.attach(35, [this](const MouseClick& c) { return insertPoint(c); });
    d.attach(36, [this](const MouseClick& c) { return deleteVertex(c); });
    d.attach(37, [this](const MouseClick& c) { return moveObject(c); });
    editor.extraBands.push_back([this](QPoint pos) { return bands(pos); });
}

void ObjectEdits::mapChanged(const MapEvent& e) {
    InteractionState& m = ws_.modes;
    const bool curGone = ws_.map.CurObj && e.drops(ws_.map.CurObj);
    if (!e.everything() && e.kind != MapEvent::Restored && !curGone) return;
    const bool editing = m.MoveObjectMode || m.DeleteVertexMode || m.MoveVertexMode || m.DeleteFragmentMode ||
                         m.InsertFragmentMode || m.RotateMode || m.DivideMode;
    m.MoveObjectMode = m.DeleteVertexMode = m.MoveVertexMode = m.DeleteFragmentMode = false;
    m.InsertFragmentMode = m.RotateMode = m.DivideMode = false;
    rotateOutline_ = false;
    if (editing) {
        m.ClickCount = 0;
        m.EditStep = 0;
        m.PickIndex = m.PickIndex2 = -1;
        m.ScreenPoints.clear();
    }
    editor_.DisableObjectCommands();
    buttons();
}

TObj* ObjectEdits::current() const {
    TObj* o = ws_.map.CurObj;
    return o && ws_.map.ObjList.indexOf(o) >= 0 ? o : nullptr;
}

void ObjectEdits::erase(TObj& o) {
    QPainter p(&ws_.view.image);
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    DrawObject(p, o, ws_.view.view().SymbolFactor, ws_.view.ctx);
    p.end();
    ws_.surface->imageChanged();
}

void ObjectEdits::draw(TObj& o) {
    QPainter p(&ws_.view.image);
    DrawObject(p, o, ws_.view.view().SymbolFactor, ws_.view.ctx);
    p.end();
    ws_.surface->imageChanged();
}

void ObjectEdits::circle(QPoint at, int r, QColor color) {
    QPainter p(&ws_.view.image);
    p.setPen(QPen(color, 0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, r, r);
    p.end();
    ws_.surface->imageChanged();
}

void ObjectEdits::vertexMarks(bool yellow) {
    // The mark colour toggles: red becomes yellow, anything else red.
    markColor_ = yellow ? QColor(255, 255, 0) : (markColor_ == QColor(255, 0, 0) ? QColor(255, 255, 0) : QColor(255, 0, 0));
    QPainter p(&ws_.view.image);
    p.setPen(QPen(markColor_, 0));
    p.setBrush(Qt::NoBrush);
    for (const TGn& g : ws_.map.EditPoints) p.drawEllipse(QPoint(g.PX, g.PY), 1, 1);
    p.end();
    ws_.surface->imageChanged();
}

int ObjectEdits::pick(QPoint click, bool lastMatch) {
    const int k = PickVertex(ws_.modes.ScreenPoints, click, lastMatch);
    if (k < 0) ws_.dialogs->message(kNoPoint);
    return k;
}

void ObjectEdits::copyEditPointsToScreen() {
    ws_.modes.ScreenPoints.clear();
    for (const TGn& g : ws_.map.EditPoints) ws_.modes.ScreenPoints.emplace_back(g.PX, g.PY);
}

void ObjectEdits::rebuildEditPoints(TObj& o) { FillEditPoints(o, ws_.view.view(), ws_.map.EditPoints); }

void ObjectEdits::done(bool disable) {
    history_.commit();
    if (disable) editor_.DisableObjectCommands();
    buttons();
}

// ---- menu items -------------------------------------------------------------

void ObjectEdits::DeleteButtonClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    TObj* o = current();
    if (!o) return;
    erase(*o);
    ws_.map.EditPoints.clear();
    history_.begin(QStringLiteral("Удалить объект"));
    history_.remove(o);
    ws_.map.MapModified = true;
    done();
}

void ObjectEdits::ChangeButtonClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    ws_.modes.MoveObjectMode = true;
    ws_.modes.ClickCount = 0;
    buttons();
}

void ObjectEdits::DelPointButtonClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    vertexMarks();
    ws_.modes.DeleteVertexMode = true;
    buttons();
}

void ObjectEdits::MovPoinButtonClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    vertexMarks();
    ws_.modes.MoveVertexMode = true;
    ws_.modes.EditStep = 0;
    buttons();
}

void ObjectEdits::UdlineClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    vertexMarks(true);
    ws_.modes.DeleteFragmentMode = true;
    ws_.modes.ClickCount = 0;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите первую точку."));
    buttons();
}

void ObjectEdits::IsertFagmBittonClick() {
    InteractionState& m = ws_.modes;
    m.SelectMode = m.MoveObjectMode = m.DeleteVertexMode = m.DeleteFragmentMode = m.RotateMode = false;
    ws_.view.blink.BlinkOn = false;
    copyEditPointsToScreen();
    vertexMarks();
    ws_.surface->setPanelText(4, QStringLiteral("Укажите начальную точку."));
    m.InsertFragmentMode = true;
    m.EditStep = 7;
    m.InputPoints.assign(1, QPoint());
    buttons();
}

void ObjectEdits::ChangDirectionClick() {
    TObj* o = current();
    if (o) {
        history_.begin(QStringLiteral("Изменить направление"));
        history_.willChange(o);
        ReverseObject(*o);
        rebuildEditPoints(*o);
        ws_.map.MapModified = true;
        history_.commit();
    }
    editor_.DisableObjectCommands();
    ws_.modes.ResetModes(ws_.view.blink);
    buttons();
}

void ObjectEdits::ChangeSemClick() {
    TObj* o = current();
    if (!o) return;
    const TCurrentSemantic& s = ws_.classifier.CurrentSemantic;
    history_.begin(QStringLiteral("Изменить семантику"));
    history_.willChange(o);
    o->Code = s.Code;
    o->PenColor = s.PenColor;
    o->PenWidth = s.PenWidth;
    o->PenStyle = s.PenStyle;
    o->BrushStyle = s.BrushStyle;
    o->BrushColor = s.BrushColor;
    ws_.view.blink.BlinkOn = false;
    ws_.map.MapModified = true;
    done();
}

void ObjectEdits::zmknutClick() {
    ws_.view.blink.BlinkOn = false;
    TObj* o = current();
    if (!o || o->Points.empty()) {
        buttons();
        return;
    }
    history_.begin(QStringLiteral("Замкнуть"));
    history_.willChange(o);
    o->Points.push_back(o->Points.front());
    o->Kind = KindArea;
    ws_.map.MapModified = true;
    done();
}

void ObjectEdits::RazmkMenuClick() {
    TObj* o = current();
    if (o && !o->Points.empty()) {
        history_.begin(QStringLiteral("Разомкнуть"));
        history_.willChange(o);
        o->Points.pop_back();
        o->Kind = KindLine;
        ws_.map.MapModified = true;
        history_.commit();
    }
    editor_.DisableObjectCommands();
    ws_.view.blink.BlinkOn = false;
    buttons();
}

void ObjectEdits::TurnObjClick() {
    InteractionState& m = ws_.modes;
    m.SelectMode = m.MoveObjectMode = m.DeleteVertexMode = m.DeleteFragmentMode = false;
    ws_.view.blink.BlinkOn = false;
    TObj* o = current();
    if (!o || o->Kind == KindPoint) {
        ws_.dialogs->message(QStringLiteral("Точечные объекты вращать нельзя"));
        m.RotateMode = false;
        m.EditStep = 0;
        ws_.map.EditPoints.clear();
        editor_.DisableObjectCommands();
        buttons();
        return;
    }
    copyEditPointsToScreen();
    m.MapPoints.clear();
    for (const TXY& p : o->Points) m.MapPoints.emplace_back(p.X, p.Y);
    vertexMarks();
    ws_.surface->setPanelText(4, QStringLiteral("Укажите постоянную точку."));
    m.RotateMode = true;
    m.EditStep = 12;
    rotateOutline_ = false;
    buttons();
}

void ObjectEdits::DivideButtonClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    vertexMarks();
    ws_.modes.DivideMode = true;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите точку раздела."));
    buttons();
}

void ObjectEdits::DivPiketsMenuClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    TObj* o = current();
    if (!o) return;
    history_.begin(QStringLiteral("Разрядить пикеты"));
    history_.willChange(o);
    std::vector<TXY> kept;
    const size_t n = std::min(ws_.map.EditPoints.size(), o->Points.size());
    for (size_t i = 0; i < n; ++i)
        if (i % 2 == 0 || i + 1 == o->Points.size()) kept.push_back(o->Points[i]);
    if (o->Kind == KindArea && !kept.empty()) kept.push_back(kept.front());
    o->Points = kept;
    for (const TXY& p : kept) {
        const TGn g = ws_.view.view().toPixel(p);
        circle(QPoint(g.PX, g.PY), 3, QColor(255, 0, 0));
    }
    if (!o->Points.empty()) draw(*o);
    ws_.map.MapModified = true;
    history_.commit();
    buttons();
}

// ---- clicks -----------------------------------------------------------------

Flow ObjectEdits::rotatePivot(const MouseClick& c) {
    const int k = pick(c.pos, false);
    if (k < 0) return Flow::Done;
    ws_.modes.PickIndex = k;
    circle(ws_.modes.ScreenPoints[size_t(k)], 2, markColor_);
    ws_.modes.EditStep = 13;
    ws_.surface->setPanelText(4, QStringLiteral("Подцепите любую точку."));
    return Flow::Done;
}

Flow ObjectEdits::rotateGrab(const MouseClick& c) {
    const int k = pick(c.pos, false);
    if (k < 0) return Flow::Done;
    ws_.modes.PickIndex2 = k;
    ws_.modes.EditStep = 14;
    rotateOutline_ = false;
    ws_.surface->setPanelText(4, QStringLiteral("Перемещайте."));
    return Flow::Done;
}

void ObjectEdits::rotateTo(QPoint cursor) {
    InteractionState& m = ws_.modes;
    const size_t p = size_t(m.PickIndex), d = size_t(m.PickIndex2);
    if (p >= m.MapPoints.size() || d >= m.MapPoints.size()) return;
    const QPointF P = m.MapPoints[p], D = m.MapPoints[d];
    const TXY c = ws_.view.view().toMap(cursor.x(), cursor.y());
    const double a0 = DirectionAngle(P.x(), P.y(), D.x(), D.y());
    const double a1 = DirectionAngle(P.x(), P.y(), c.X, c.Y);
    if (a1 == kUndefinedDirection || a0 == kUndefinedDirection) return;
    const double delta = a1 - a0;
    for (size_t i = 0; i < m.MapPoints.size(); ++i) {
        if (i == p) continue;
        double r = 0;
        const double a = DirectionAngle(P.x(), P.y(), m.MapPoints[i].x(), m.MapPoints[i].y(), r);
        if (a == kUndefinedDirection) continue;
        m.MapPoints[i] = QPointF(P.x() + r * std::cos(a + delta), P.y() + r * std::sin(a + delta));
        if (i < m.ScreenPoints.size()) {
            const TGn g = ws_.view.view().toPixel({m.MapPoints[i].x(), m.MapPoints[i].y()});
            m.ScreenPoints[i] = QPoint(g.PX, g.PY);
        }
    }
}

Flow ObjectEdits::rotateFix(const MouseClick&) {
    InteractionState& m = ws_.modes;
    TObj* o = current();
    if (rotateOutline_) {
        xorPolyline(ws_.view.image, m.ScreenPoints, kBandPen);
        rotateOutline_ = false;
    }
    if (o) {
        history_.begin(QStringLiteral("Вращать объект"));
        history_.willChange(o);
        const size_t n = std::min(ws_.map.EditPoints.size(), m.MapPoints.size());
        std::vector<TXY> pts;
        for (size_t i = 0; i < n; ++i) pts.push_back({m.MapPoints[i].x(), m.MapPoints[i].y()});
        erase(*o);
        o->Points = pts;
        draw(*o);
        ws_.map.MapModified = true;
    }
    ws_.map.EditPoints.clear();
    m.EditStep = 0;
    m.RotateMode = false;
    done();
    return Flow::Done;
}

Flow ObjectEdits::moveVertex(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    TObj* o = current();
    const size_t k = size_t(m.PickIndex);
    if (o && k < o->Points.size()) {
        history_.begin(QStringLiteral("Переместить точку"));
        history_.willChange(o);
        erase(*o);
        const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
        o->Points[k] = p;
        const size_t n = ws_.map.EditPoints.size();
        if (o->Kind == KindArea && n > 0 && n <= o->Points.size()) {
            if (k == 0) o->Points[n - 1] = p;
            else if (k == n - 1) o->Points[0] = p;
        }
        draw(*o);
        ws_.map.MapModified = true;
    }
    ws_.map.EditPoints.clear();
    m.EditStep = 0;
    m.MoveVertexMode = false;
    done();
    return Flow::Done;
}

Flow ObjectEdits::pickVertexToMove(const MouseClick& c) {
    copyEditPointsToScreen();
    const int k = pick(c.pos, true);
    if (k < 0) return Flow::Done;
    ws_.modes.PickIndex = k;
    ws_.modes.EditStep = 6;
    return Flow::Done;
}

Flow ObjectEdits::divide(const MouseClick& c) {
    copyEditPointsToScreen();
    const int k = pick(c.pos, false);
    if (k < 0) return Flow::Done;
    TObj* o = current();
    if (o) {
        history_.begin(QStringLiteral("Разделить объект"));
        history_.willChange(o);
        history_.willChangeOrientation();
        TObj* piece = ws_.map.divideObject(*o, k);
        if (piece) {
            history_.added(piece);
            // The styles pass through the current semantic, which is left
            // without a code; the kind through the formed kind.
            TCurrentSemantic& s = ws_.classifier.CurrentSemantic;
            s.Code = -1;
            s.PenColor = o->PenColor;
            s.PenWidth = o->PenWidth;
            s.PenStyle = o->PenStyle;
            s.BrushStyle = o->BrushStyle;
            s.BrushColor = o->BrushColor;
            ws_.modes.FormedKind = o->Kind;
            draw(*piece);
        }
    }
    ws_.modes.DivideMode = false;
    done();
    return Flow::Done;
}

Flow ObjectEdits::fragmentFirst(const MouseClick& c) {
    copyEditPointsToScreen();
    const int k = pick(c.pos, true);
    if (k < 0) return Flow::Done;
    ws_.modes.PickIndex = k;
    circle(ws_.modes.ScreenPoints[size_t(k)], 2, markColor_);
    ws_.modes.ClickCount = 2;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите вторую точку."));
    return Flow::Done;
}

Flow ObjectEdits::fragmentSecond(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const int k = pick(c.pos, false);
    if (k < 0) return Flow::Done;
    m.PickIndex2 = k;
    const int lo = std::min(m.PickIndex, k), hi = std::max(m.PickIndex, k);
    m.DeleteFragmentMode = false;
    m.ClickCount = 0;
    TObj* o = current();
    if (hi - lo < 3 || !o || size_t(hi) >= o->Points.size()) {
        m.FoundNumber = 256;
        ws_.dialogs->message(QStringLiteral("Этот фрагмент удалить нельзя"));
        editor_.DisableObjectCommands();
        buttons();
        return Flow::Done;
    }
    history_.begin(QStringLiteral("Удалить фрагмент"));
    history_.willChange(o);
    erase(*o);
    o->Points.erase(o->Points.begin() + lo + 1, o->Points.begin() + hi);
    draw(*o);
    m.FoundNumber = 0;
    ws_.map.EditPoints.clear();
    ws_.map.MapModified = true;
    done();
    return Flow::Done;
}

Flow ObjectEdits::insertStart(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const int k = pick(c.pos, false);
    if (k < 0) return Flow::Done;
    m.PickIndex = k;
    circle(m.ScreenPoints[size_t(k)], 2, markColor_);
    m.EditStep = 8;
    m.ClickCount = 0;
    m.CreateMode = false;
    m.InputPoints.assign(1, m.ScreenPoints[size_t(k)]);
    ws_.surface->setPanelText(4, QStringLiteral("Укажите новые точки"));
    return Flow::Done;
}

Flow ObjectEdits::insertEnd(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const int e = pick(c.pos, false);
    if (e < 0) return Flow::Done;
    m.PickIndex2 = e;
    TObj* o = current();
    const int s = m.PickIndex;
    if (o && std::max(s, e) < int(o->Points.size())) {
        std::vector<TXY> pts;
        for (const QPoint& p : m.InputPoints) pts.push_back(ws_.view.view().toMap(p.x(), p.y()));
        int lo = s, hi = e;
        if (e < s) {
            std::reverse(pts.begin(), pts.end());
            lo = e;
            hi = s;
        }
        history_.begin(QStringLiteral("Вставить фрагмент"));
        history_.willChange(o);
        o->Points.erase(o->Points.begin() + lo, o->Points.begin() + hi + 1);
        o->Points.insert(o->Points.begin() + lo, pts.begin(), pts.end());
        draw(*o);
        ws_.map.MapModified = true;
    }
    ws_.map.EditPoints.clear();
    m.ClickCount = 0;
    m.EditStep = 0;
    m.InsertFragmentMode = false;
    done();
    return Flow::Done;
}

Flow ObjectEdits::insertPoint(const MouseClick& c) {
    ws_.modes.ClickCount += 1;
    ws_.modes.InputPoints.push_back(c.pos);
    return Flow::Done;
}

Flow ObjectEdits::deleteVertex(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    TObj* o = current();
    if (!o) return Flow::Done;
    erase(*o);
    const int k = PickVertex(ws_.map.EditPoints, c.pos, false);
    if (k < 0 || size_t(k) >= o->Points.size()) {
        m.FoundNumber = -1;
        draw(*o);  // back on the picture as it was
        ws_.dialogs->message(kNoPoint);
        return Flow::Done;
    }
    history_.begin(QStringLiteral("Удалить точку"));
    history_.willChange(o);
    o->Points.erase(o->Points.begin() + k);
    ws_.map.EditPoints.erase(ws_.map.EditPoints.begin() + k);
    draw(*o);
    m.FoundNumber = 256;
    ws_.map.MapModified = true;
    m.DeleteVertexMode = false;
    done();
    return Flow::Done;
}

Flow ObjectEdits::moveObject(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    m.MoveObjectMode = false;
    m.ClickCount = 0;
    TObj* o = current();
    const auto& ep = ws_.map.EditPoints;
    if (!o || m.PickIndex < 0 || size_t(m.PickIndex) >= ep.size()) return Flow::Done;
    const TGn g = ep[size_t(m.PickIndex)];
    std::vector<TXY> pts;
    for (const TGn& v : ep) pts.push_back(ws_.view.view().toMap(v.PX + c.pos.x() - g.PX, v.PY + c.pos.y() - g.PY));
    history_.begin(QStringLiteral("Переместить объект"));
    history_.willChange(o);
    o->Points = pts;
    draw(*o);
    ws_.map.MapModified = true;
    done(false);
    return Flow::Done;
}

bool ObjectEdits::bands(QPoint pos) {
    InteractionState& m = ws_.modes;
    QImage& img = ws_.view.image;
    bool drew = false;
    if (m.RotateMode && m.EditStep == 14) {
        if (rotateOutline_) xorPolyline(img, m.ScreenPoints, kBandPen);
        rotateTo(pos);
        xorPolyline(img, m.ScreenPoints, kBandPen);
        rotateOutline_ = true;
        drew = true;
    }
    if (m.EditStep == 6 && m.MoveVertexMode && m.PickIndex >= 0 && size_t(m.PickIndex) < m.ScreenPoints.size()) {
        const size_t k = size_t(m.PickIndex), n = m.ScreenPoints.size();
        const QPoint prev = k == 0 ? m.LastClick : m.ScreenPoints[k - 1];
        const QPoint next = k + 1 == n ? m.LastClick : m.ScreenPoints[k + 1];
        xorLine(img, prev, m.RubberPoint, kBandPen);
        xorLine(img, next, m.RubberPoint, kBandPen);
        xorLine(img, prev, pos, kBandPen);
        xorLine(img, next, pos, kBandPen);
        drew = true;
    }
    if (m.InsertFragmentMode && m.EditStep == 8 && !m.InputPoints.empty()) {
        xorLine(img, m.InputPoints.back(), m.RubberPoint, kBandPen);
        xorLine(img, m.InputPoints.back(), pos, kBandPen);
        drew = true;
    }
    return drew;
}

}  // namespace dm
