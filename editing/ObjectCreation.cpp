#include "ObjectCreation.h"

#include "Measure.h"
#include "XorDraw.h"

#include "mapdata/Cp1251.h"

#include <QPainter>

#include <unordered_set>

namespace dm {


ObjectCreation::ObjectCreation(Workspace& ws, MapEditor& editor, UndoHistory& history)
    : ws_(ws), editor_(editor), history_(history), sub_(ws.map.events, [this](const MapEvent& e) { mapChanged(e); }) {
    MouseDispatch& d = editor.dispatch();
    d.attach(2, [this](const MouseClick& c) { return composeFinish(c); });
    d.attach(3, [this](const MouseClick& c) { return composePicket(c); });
    d.attach(17, [this](const MouseClick& c) { return finish(c); });
    d.attach(18, [this](const MouseClick& c) { return addPoint(c); });
    editor.extraBands.push_back([this](QPoint pos) { return band(pos); });
}

void ObjectCreation::mapChanged(const MapEvent& e) {
    InteractionState& m = ws_.modes;
    // The object being digitised: its clicks belong to a picture (or to screen
    // points) that no longer are; it is given up as "Отмена" would.
    if (pending_ && (e.everything() || e.kind == MapEvent::Restored)) {
        if (ws_.map.CurObj == pending_.get()) ws_.map.CurObj = nullptr;
        pending_.reset();
        m.CreateMode = false;
        m.ClickCount = 0;
        m.InputPoints.clear();
    }
    bool formedGone = false;
    if (e.everything()) {
        selected_.clear();
        formed_.reset();  // formed from objects of the map that went
        formedGone = formedStored_ != nullptr;
        formedStored_ = nullptr;
        item("SaveNewObj1", false);
        item("DeleteOldObj", false);
        item("Formir", true);
    } else {
        if (e.gone.size() > 16) {
            const std::unordered_set<const TObj*> gone(e.gone.begin(), e.gone.end());
            std::erase_if(selected_, [&](TObj* o) { return gone.count(o) != 0; });
        } else {
            std::erase_if(selected_, [&](TObj* o) { return e.drops(o); });
        }
        if (formedStored_ && e.drops(formedStored_)) {
            formedStored_ = nullptr;
            formedGone = true;
        }
    }
    if (formedGone) {
        // "Сохранить границы  в File" has nothing to save any more.
        item("SaveRay", false);
        item("AnklvSave", false);
    }
}

std::optional<double> ObjectCreation::askElevation() {
    // A text that is not a number is refused and asked again.
    for (;;) {
        const auto answer = ws_.dialogs->inputText(QStringLiteral("Отметка горизонтали"), QString(), QString());
        if (!answer) return std::nullopt;
        bool ok = false;
        const double v = QString(*answer).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
        if (ok) return v;
        ws_.dialogs->message(QStringLiteral("Отметка должна быть числом: ") + *answer);
    }
}

TObj* ObjectCreation::store(std::unique_ptr<TObj> o) {
    TObj* stored = ws_.map.ObjList.append(std::move(o));
    history_.added(stored);
    ws_.map.MapModified = true;
    return stored;
}

void ObjectCreation::startDigitising(uint8_t kind) {
    InteractionState& m = ws_.modes;
    const TCurrentSemantic& s = ws_.classifier.CurrentSemantic;
    if (s.Code == -1) {
        ws_.dialogs->message(QStringLiteral("Присвойте семантику!"));
        m.CreateMode = false;
        buttons();
        return;
    }
    pending_ = std::make_unique<TObj>();
    TObj& o = *pending_;
    ws_.map.CurObj = &o;
    ws_.map.EditPoints.clear();
    m.InputPoints.clear();
    m.SelectMode = false;
    ws_.view.blink.BlinkOn = false;
    m.CreateMode = true;
    m.ClickCount = 0;
    o.Shape = 0;
    o.Kind = kind;
    o.Code = s.Code;
    o.PenColor = s.PenColor;
    o.PenWidth = s.PenWidth;
    o.PenStyle = s.PenStyle;
    o.BrushStyle = s.BrushStyle;
    o.BrushColor = s.BrushColor;
    if (kind != KindPoint && IsContourCode(o.Code)) {
        if (const auto e = askElevation()) o.Elevation = *e;
    }
    buttons();
}

void ObjectCreation::LineButtonClick() { startDigitising(KindLine); }
void ObjectCreation::AreaButtonClick() { startDigitising(KindArea); }
void ObjectCreation::PointButtonClick() { startDigitising(KindPoint); }

void ObjectCreation::OtmenaCreaClick() {
    ws_.modes.CreateMode = false;
    ws_.modes.ClickCount = 0;
    if (ws_.map.CurObj == pending_.get()) ws_.map.CurObj = nullptr;
    pending_.reset();
    buttons();
}

Flow ObjectCreation::addPoint(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    ws_.map.EditPoints.push_back({c.pos.x(), c.pos.y()});
    m.InputPoints.push_back(c.pos);
    ++m.ClickCount;
    if (!pending_ || pending_->Kind != KindPoint || !c.left()) return Flow::Continue;
    // A point object is made at once.
    {
        QPainter p(&ws_.view.image);
        p.setPen(QPen(colorFromTColor(pending_->PenColor), 0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c.pos, 2, 2);
    }
    std::unique_ptr<TObj> o = std::move(pending_);
    o->Points = {ws_.view.view().toMap(c.pos.x(), c.pos.y())};
    history_.begin(QStringLiteral("Точечный объект"));
    std::optional<QString> mark;
    if (isElevationMarkCode(o->Code)) {
        mark = ws_.dialogs->inputText(QStringLiteral("Отметка"), QString(), QString());
        if (mark) o->Name = toCp1251(*mark);
    }
    TObj* stored = store(std::move(o));
    if (mark && elevationLabel) {
        auto [undo, redo] = elevationLabel(*stored, c.pos, *mark);
        history_.custom(undo, redo);
    }
    history_.commit();
    ws_.surface->imageChanged();
    m.CreateMode = false;
    // Each further left click places one more point, until "Отмена".
    startDigitising(KindPoint);
    return Flow::Done;
}

Flow ObjectCreation::finish(const MouseClick&) {
    InteractionState& m = ws_.modes;
    if (m.StreetCreateMode) {
        if (finishStreetAxis) finishStreetAxis();
        return Flow::Done;
    }
    if (!pending_) {
        m.CreateMode = false;
        return Flow::Done;
    }
    TObj& o = *pending_;
    auto& ep = ws_.map.EditPoints;
    if (o.Kind == KindArea && !ep.empty()) ep.back() = ep.front();  // the last click stands for the closing point
    if (o.Kind != KindPoint && IsContourCode(o.Code)) {
        if (const auto e = askElevation()) o.Elevation = *e;
    }
    o.Points.clear();
    for (const TGn& g : ep) o.Points.push_back(ws_.view.view().toMap(g.PX, g.PY));
    history_.begin(o.Kind == KindArea ? QStringLiteral("Площадной объект") : QStringLiteral("Линейный объект"));
    TObj* stored = store(std::move(pending_));
    history_.commit();
    ws_.map.CurObj = stored;
    {
        QPainter p(&ws_.view.image);
        DrawObject(p, *stored, ws_.view.view().SymbolFactor, ws_.view.ctx);
    }
    ws_.surface->imageChanged();
    m.CreateMode = false;
    m.ClickCount = 0;
    buttons();
    return Flow::Done;
}

bool ObjectCreation::band(QPoint pos) {
    const InteractionState& m = ws_.modes;
    const bool digitising = m.CreateMode && pending_ && pending_->Kind != KindPoint && !m.InputPoints.empty();
    if (!digitising) return false;
    const QPoint last = m.InputPoints.back();
    xorLine(ws_.view.image, last, m.RubberPoint, kBandPen);
    xorLine(ws_.view.image, last, pos, kBandPen);
    return true;
}

// ---- composing from pickets ----------------------------------------------------

void ObjectCreation::SostObjMenuClick() {
    InteractionState& m = ws_.modes;
    if (ws_.classifier.CurrentSemantic.Code == -1) {
        ws_.dialogs->message(QStringLiteral("Присвойте семантику!"));
        m.ComposeMode = false;
        buttons();
        return;
    }
    m.ResetModes(ws_.view.blink);
    m.ComposeMode = true;
    m.ClickCount = 0;
    m.MapPoints.clear();
    m.InputPoints.clear();
    ws_.surface->setPanelText(4, QStringLiteral("Укажите пикет."));
    buttons();
}

Flow ObjectCreation::composePicket(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const ObjectHit h = editor_.hits().FindVertexOfAnyObject(ws_.map, ws_.view.view(), c.pos);
    if (!h.Object) {
        ws_.dialogs->message(QStringLiteral("Точка не найдена"));
        return Flow::Done;
    }
    if (m.MapPoints.size() <= size_t(m.ClickCount)) m.MapPoints.resize(size_t(m.ClickCount) + 1);
    m.MapPoints[size_t(m.ClickCount)] = QPointF(h.Map.X, h.Map.Y);
    {
        QPainter p(&ws_.view.image);
        p.setPen(QPen(QColor(0, 0, 255), 0));
        p.setBrush(Qt::NoBrush);
        if (m.InputPoints.empty()) p.drawEllipse(h.Snapped, 2, 2);
        else p.drawLine(m.InputPoints.back(), h.Snapped);
    }
    m.InputPoints.push_back(h.Snapped);
    ++m.ClickCount;
    ws_.surface->imageChanged();
    return Flow::Done;
}

Flow ObjectCreation::composeFinish(const MouseClick&) {
    InteractionState& m = ws_.modes;
    const auto choice = ws_.dialogs->chooseOption(QStringLiteral("Тип объекта"), QString(),
                                                  {QStringLiteral("Площадной"), QStringLiteral("Линейный")}, 0);
    // OK and closing the window both take the checked button.
    const int kind = (!choice || *choice == 0) ? KindArea : KindLine;
    m.FormedKind = kind;
    const int n = m.ClickCount;
    if (kind == KindArea) m.MapPoints[size_t(n - 1)] = m.MapPoints[0];
    auto o = std::make_unique<TObj>();
    const TCurrentSemantic& s = ws_.classifier.CurrentSemantic;
    o->Kind = uint8_t(kind);
    o->Code = s.Code;
    o->PenColor = s.PenColor;
    o->PenWidth = s.PenWidth;
    o->PenStyle = s.PenStyle;
    o->BrushStyle = s.BrushStyle;
    o->BrushColor = s.BrushColor;
    if (IsContourCode(o->Code)) {
        if (const auto e = askElevation()) o->Elevation = *e;
    }
    for (int i = 0; i < n; ++i) o->Points.push_back({m.MapPoints[size_t(i)].x(), m.MapPoints[size_t(i)].y()});
    history_.begin(QStringLiteral("Составить объект"));
    TObj* stored = store(std::move(o));
    history_.commit();
    ws_.map.CurObj = stored;
    m.ComposeMode = false;
    editor_.DisableObjectCommands();
    const LengthArea la = ObjectLengthArea(*stored, ws_.map.Orientation);
    ws_.surface->setPanelText(5, la.area > 0 ? QStringLiteral("Площадь=") + Fixed(la.area / 10000, 10, 2) +
                                                   QStringLiteral(" га. Периметр=") + Fixed(la.length, 4, 1) +
                                                   QStringLiteral(" м.")
                                             : QStringLiteral("Длина= ") + Fixed(la.length, 4, 1) + QStringLiteral(" м."));
    ws_.surface->setPanelText(4, QString());
    buttons();
    return Flow::Done;
}

void ObjectCreation::PiketButtonClick() {
    ws_.surface->setBusy(true);
    ws_.modes.ResetModes(ws_.view.blink);
    QPainter p(&ws_.view.image);
    p.setPen(QPen(QColor(0, 0, 255), 0));
    p.setBrush(Qt::NoBrush);
    for (const auto& o : ws_.map.ObjList)
        for (const TXY& v : o->Points) {
            const TGn g = ws_.view.view().toPixel(v);
            p.drawEllipse(QPoint(g.PX, g.PY), 2, 2);
        }
    p.end();
    ws_.surface->setBusy(false);
    ws_.surface->imageChanged();
    buttons();
}

// ---- collecting and forming -------------------------------------------------------

void ObjectCreation::OtborObjClick() {
    InteractionState& m = ws_.modes;
    m.ResetModes(ws_.view.blink);
    m.CollectMode = true;
    if (setItemVisible) setItemVisible("Add1", true);
    item("Add1", true);
    if (setItemChecked) setItemChecked("OtborObj", true);
    item("Formir", true);
    m.SelectMode = true;
    m.ClickCount = 0;
    selected_.clear();
    buttons();
}

void ObjectCreation::endCollection() {
    ws_.modes.CollectMode = false;
    if (setItemVisible) setItemVisible("Add1", false);
    if (setItemChecked) setItemChecked("OtborObj", false);
}

void ObjectCreation::Add1Click() {
    TObj* o = ws_.map.CurObj;
    if (o && ws_.map.ObjList.indexOf(o) >= 0) selected_.push_back(o);
}

void ObjectCreation::tip2Click() { ws_.modes.FormedKind = KindLine; }
void ObjectCreation::tip3Click() { ws_.modes.FormedKind = KindArea; }

void ObjectCreation::FormirClick() {
    InteractionState& m = ws_.modes;
    const TCurrentSemantic& s = ws_.classifier.CurrentSemantic;
    if (s.Code == -1) {
        ws_.dialogs->message(QStringLiteral("Присвойте семантику"));
        return;
    }
    // Objects removed from the map since they were collected are left out.
    std::erase_if(selected_, [this](TObj* o) { return ws_.map.ObjList.indexOf(o) < 0; });
    if (selected_.empty()) {
        ws_.dialogs->message(QStringLiteral("Объекты не отобраны"));
        return;
    }
    formed_ = std::make_unique<TObj>();
    formedStored_ = nullptr;
    TObj& f = *formed_;
    f.Number = 0;
    f.Kind = uint8_t(m.FormedKind ? m.FormedKind : KindLine);
    f.Code = s.Code;
    f.PenColor = s.PenColor;
    f.PenWidth = s.PenWidth;
    f.PenStyle = s.PenStyle;
    f.BrushStyle = s.BrushStyle;
    f.BrushColor = s.BrushColor;
    f.Shape = 0;
    f.StartNode = selected_.front()->StartNode;
    for (TObj* o : selected_) f.Points.insert(f.Points.end(), o->Points.begin(), o->Points.end());
    f.EndNode = selected_.back()->EndNode;
    if (f.Kind == KindArea && !f.Points.empty()) f.Points.push_back(f.Points.front());
    ws_.view.blink.BlinkOn = false;
    m.SelectMode = false;
    {
        QPainter p(&ws_.view.image);
        DrawObject(p, f, ws_.view.view().SymbolFactor, ws_.view.ctx);
    }
    ws_.surface->imageChanged();
    item("SaveNewObj1", true);
    item("Formir", false);
    if (setItemVisible) setItemVisible("Add1", false);
    m.FormedKind = 0;
    buttons();
}

void ObjectCreation::SaveNewObj1Click() {
    if (!formed_) {
        ws_.dialogs->message(QStringLiteral("Объект не создан"));
        return;
    }
    history_.begin(QStringLiteral("Сохранить в TList"));
    formedStored_ = store(std::move(formed_));
    history_.commit();
    ws_.modes.CollectMode = false;
    if (setItemChecked) setItemChecked("OtborObj", false);
    item("DeleteOldObj", true);
    item("Formir", true);
    item("SaveRay", true);
    item("AnklvSave", true);
    item("SaveNewObj1", false);
    buttons();
}

void ObjectCreation::DeleteOldObjClick() {
    history_.begin(QStringLiteral("Убрать старые"));
    // Each removal tells the map's subscribers, this one too: go through a copy.
    const std::vector<TObj*> old = selected_;
    for (TObj* o : old) history_.remove(o);
    ws_.map.MapModified = true;
    history_.commit();
    item("DeleteOldObj", false);
    selected_.clear();
}

void ObjectCreation::CancelNewObjClick() {
    InteractionState& m = ws_.modes;
    formed_.reset();
    m.CollectMode = false;
    if (setItemVisible) setItemVisible("Add1", false);
    if (setItemChecked) setItemChecked("OtborObj", false);
    item("DeleteOldObj", false);
    item("Formir", true);
    selected_.clear();
    if (clearChooser) clearChooser();
    m.FormedKind = 0;
    ws_.classifier.CurrentSemantic.Code = -1;
    buttons();
}

}  // namespace dm
