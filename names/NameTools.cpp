#include "NameTools.h"

#include "editing/XorDraw.h"
#include "mapdata/Cp1251.h"

#include <QPainter>

namespace dm {


std::string LabelText(const QString& s) {
    std::string t = toCp1251(s);
    if (t.size() > kNameTextMax) t.resize(kNameTextMax);
    return t;
}

NameTools::NameTools(Workspace& ws, NameState& names, MapEditor& editor)
    : ws_(ws), names_(names), editor_(editor), sub_(ws.map.events, [this](const MapEvent& e) { mapChanged(e); }) {
    MouseDispatch& d = editor.dispatch();
    d.attach(40, [this](const MouseClick& c) { return create(c); });
    d.attach(41, [this](const MouseClick& c) { return remove(c); });
    d.attach(42, [this](const MouseClick& c) { return pickToMove(c); });
    d.attach(43, [this](const MouseClick& c) { return place(c); });
    d.attach(44, [this](const MouseClick& c) { return edit(c); });
    d.attach(45, [this](const MouseClick& c) { return pickToBind(c); });
    d.attach(46, [this](const MouseClick& c) { return pickObject(c); });
    d.attach(47, [this](const MouseClick& c) { return bind(c); });
    editor.extraBands.push_back([this](QPoint pos) { return band(pos); });
}

void NameTools::mapChanged(const MapEvent& e) {
    InteractionState& m = ws_.modes;
    if (e.everything()) {
        current_.reset();
        bindObject_ = nullptr;
        return;
    }
    if (!bindObject_ || !(e.kind == MapEvent::Restored || e.drops(bindObject_))) return;
    bindObject_ = nullptr;
    // The label stays taken: the next click chooses the object again.
    if (m.NameJoinMode && m.ClickCount == 2) {
        m.ClickCount = 1;
        ws_.surface->setPanelText(4, QStringLiteral("Укажтие объект."));
    }
}

void NameTools::draw(const TNaz& n, bool erased) {
    QPainter p(&ws_.view.image);
    DrawName(p, n, ws_.view.view(), erased);
    p.end();
    changed();
}

NameRef NameTools::found(const MouseClick& c) {
    const NameHit h = FindName(names_.MapNames, ws_.view.view(), c.pos);
    if (h.Index < 0) {
        ws_.dialogs->message(QStringLiteral("Название не найдено"));
        return nullptr;
    }
    return names_.MapNames[size_t(h.Index)];
}

TObj* NameTools::objectNumbered(int32_t number, bool withName) const {
    for (const auto& o : ws_.map.ObjList)
        if (o->Number == number && (!withName || !o->Name.empty())) return o.get();
    return nullptr;
}

void NameTools::unbindObject(TNaz& n) {
    if (TObj* o = objectNumbered(n.BoundObject, true)) {
        o->Name.clear();
        ws_.map.MapModified = true;
    }
    n.Anchor = 0;
    n.BoundObject = -1;
}

void NameTools::startMode(bool InteractionState::*flag, int clickCount, const QString& prompt) {
    // One label mode at a time; the other modes were switched off (or left
    // on) when the menu opened.
    InteractionState& m = ws_.modes;
    m.NameCreateMode = m.NameDeleteMode = m.NameMoveMode = m.NameEditMode = m.NameJoinMode = false;
    ws_.modes.*flag = true;
    ws_.modes.ClickCount = clickCount;
    current_.reset();
    ws_.surface->setPanelText(4, prompt);
    if (buttonsChanged) buttonsChanged();
}

// ---- menus ------------------------------------------------------------------

void NameTools::NazvaniaMenuOpened() {
    InteractionState& m = ws_.modes;
    ws_.view.blink.BlinkOn = false;
    m.SelectMode = m.MoveObjectMode = m.DeleteVertexMode = m.MoveVertexMode = m.DeleteFragmentMode = false;
    m.EditStep = 0;
    ws_.surface->setPanelText(5, QString());
    if (buttonsChanged) buttonsChanged();
}

void NameTools::NazVyvodClick() {
    if (ws_.files.NamesFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Нет файла названий."));
        return;
    }
    ws_.surface->setBusy(true);
    QPainter p(&ws_.view.image);
    DrawAllNames(p, names_, ws_.view.view(), names_.NamesShown);
    p.end();
    ws_.surface->setBusy(false);
    changed();
}

void NameTools::MoveNazvClick() { startMode(&InteractionState::NameMoveMode, 10, QStringLiteral("Укажите название.")); }
void NameTools::DelNazvClick() { startMode(&InteractionState::NameDeleteMode, 0, QStringLiteral("Укажите название.")); }
void NameTools::KorrNazvClick() { startMode(&InteractionState::NameEditMode, 0, QStringLiteral("Укажите название.")); }
void NameTools::JoinNazObjClick() {
    startMode(&InteractionState::NameJoinMode, 0, QStringLiteral("Укажите название."));
}
void NameTools::CreaNazvClick() {
    startMode(&InteractionState::NameCreateMode, 0, QStringLiteral("Укажите начало названия."));
}

void NameTools::NazEraseClick() {
    if (ws_.files.NamesFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Нет имени файла."));
        return;
    }
    names_.NamesErased = !names_.NamesErased;
    NazVyvodClick();
}

void NameTools::NazSaveClick() {
    if (ws_.files.NamesFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Нет файла с названиями."));
        return;
    }
    if (names_.MapNames.empty()) return;
    // The labels are written whatever the display switch says: a save that
    // cleared the change flag without writing would lose them.
    if (saveNames() && !names_.partial.any()) ws_.files.NamesModified = false;
}

bool NameTools::saveNames(FileBatch* batch) {
    if (names_.MapNames.empty()) return true;
    const auto target = resolvePathCase(withExtension(ws_.files.NamesFileName, ".nam"));
    if (!ConfirmPartialSave(*ws_.dialogs, names_.partial, target)) return true;  // nothing written
    ws_.surface->setBusy(true);
    bool ok = true;
    try {
        SaveNames(withExtension(ws_.files.NamesFileName, ".nam"), names_.MapNames, batch);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        ok = false;
    }
    ws_.surface->setBusy(false);
    return ok;
}

void NameTools::NazOtmenaClick() {
    InteractionState& m = ws_.modes;
    m.NameCreateMode = m.NameDeleteMode = m.NameMoveMode = m.NameEditMode = m.NameJoinMode = false;
    m.ClickCount = 0;
    current_.reset();
    if (buttonsChanged) buttonsChanged();
}

void NameTools::MapNamesItemClick(bool checked) { names_.NamesShown = checked; }

void NameTools::labelsModified(const QString& what) {
    ws_.files.NamesModified = true;
    if (labelsChanged) labelsChanged(what);
}

void NameTools::AllNamesFontClick() {
    for (const auto& n : names_.MapNames) ApplyNameFont(*n, names_.NameFont);
    labelsModified(QStringLiteral("Шрифт названий"));
}

void NameTools::FontButtonClick() {
    const TNameFont& f = names_.NameFont;
    const QColor color(f.Color & 0xFF, (f.Color >> 8) & 0xFF, (f.Color >> 16) & 0xFF);
    const auto chosen =
        ws_.dialogs->chooseFont(ScreenFont(fromCp1251(f.Face), f.Bold, f.Italic, f.Size), color);
    if (!chosen) return;
    const QFont& q = chosen->first;
    ws_.view.CanvasFont = q;
    TNameFont n;
    n.Face = toCp1251(q.family());
    n.Size = q.pointSize() > 0 ? q.pointSize() : f.Size;
    n.Color = chosen->second.red() | (chosen->second.green() << 8) | (chosen->second.blue() << 16);
    // Bold and italic only when the style is exactly that.
    const bool plain = !q.underline() && !q.strikeOut();
    n.Bold = plain && q.bold();
    n.Italic = plain && q.italic();
    names_.NameFont = n;
}

std::pair<std::function<void()>, std::function<void()>> NameTools::addMarkLabel(TObj& obj, QPoint click,
                                                                               const QString& text) {
    auto n = std::make_shared<TNaz>();
    n->NewName = LabelText(text);
    const TXY a = ws_.view.view().toMap(click.x(), click.y());
    const TXY b = ws_.view.view().toMap(click.x() + 20, click.y());
    n->X1 = a.X;
    n->Y1 = a.Y;
    n->X2 = b.X;
    n->Y2 = b.Y;
    n->BoundObject = obj.Number;
    n->Anchor = 1;
    ApplyNameFont(*n, names_.NameFont);
    names_.MapNames.push_back(n);
    labelsModified(QStringLiteral("Новое название"));
    draw(*n, false);
    NameState* names = &names_;
    return {[names, n] { names->remove(n.get()); }, [names, n] { names->MapNames.push_back(n); }};
}

void NameTools::loadForMap() {
    names_.MapNames.clear();
    names_.AllNames.clear();
    names_.partial.clear();
    const auto path = resolvePathCase(ws_.files.NamesFileName);
    std::error_code ec;
    if (ws_.files.NamesFileName.empty() || !std::filesystem::is_regular_file(path, ec)) return;
    try {
        LoadNames(path, names_.MapNames);
    } catch (const std::exception& e) {
        // The labels read before the damage stay; they are not the file.
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        names_.partial.set(path, names_.MapNames.size());
        ws_.files.NamesModified = true;
    }
    names_.AllNames = names_.MapNames;
    if (labelsLoaded) labelsLoaded();
}

// ---- clicks -----------------------------------------------------------------

bool NameTools::band(QPoint pos) {
    const InteractionState& m = ws_.modes;
    if (!((m.NameCreateMode || m.NameMoveMode) && m.ClickCount == 1)) return false;
    xorLine(ws_.view.image, start_, m.RubberPoint, kBandPen);
    xorLine(ws_.view.image, start_, pos, kBandPen);
    return true;
}

Flow NameTools::create(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    if (m.ClickCount == 0) {
        current_ = std::make_shared<TNaz>();
        current_->X1 = p.X;
        current_->Y1 = p.Y;
        start_ = c.pos;
        m.ClickCount = 1;
        ws_.surface->setPanelText(4, QStringLiteral("Укажите конец названия"));
        return Flow::Done;
    }
    NameRef n = current_ ? current_ : std::make_shared<TNaz>();
    n->X2 = p.X;
    n->Y2 = p.Y;
    m.NameCreateMode = false;
    m.ClickCount = 0;
    ws_.surface->setPanelText(4, QString());
    if (const auto texts = ws_.dialogs->namesDialog(QString(), QString())) {
        n->NewName = LabelText(texts->first);
        n->OldName = LabelText(texts->second);
        ApplyNameFont(*n, names_.NameFont);
        names_.MapNames.push_back(n);
        labelsModified(QStringLiteral("Новое название"));
        draw(*n, false);
    }
    current_.reset();
    return Flow::Done;
}

Flow NameTools::remove(const MouseClick& c) {
    NameRef n = found(c);
    if (!n) return Flow::Done;
    if (n->BoundObject >= 0) {
        if (TObj* o = objectNumbered(n->BoundObject, true)) {
            o->Name.clear();
            ws_.map.MapModified = true;
        } else {
            ws_.dialogs->message(QStringLiteral("Объект не найден."));
        }
    }
    draw(*n, true);
    names_.remove(n.get());
    labelsModified(QStringLiteral("Удаление названия"));
    ws_.modes.NameDeleteMode = false;
    ws_.surface->setPanelText(4, QStringLiteral("Удалено."));
    return Flow::Done;
}

Flow NameTools::takeLabel(const MouseClick& c, int clickCount, const QString& prompt) {
    NameRef n = found(c);
    if (!n) return Flow::Done;
    draw(*n, true);
    current_ = n;
    ws_.modes.ClickCount = clickCount;
    ws_.surface->setPanelText(4, prompt);
    return Flow::Done;
}

Flow NameTools::pickToMove(const MouseClick& c) { return takeLabel(c, 0, QStringLiteral("Укажите начало названия")); }

Flow NameTools::place(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    if (!current_) {
        m.NameMoveMode = false;
        return Flow::Done;
    }
    const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    if (m.ClickCount == 0) {
        current_->X1 = p.X;
        current_->Y1 = p.Y;
        start_ = c.pos;
        m.ClickCount = 1;
        ws_.surface->setPanelText(4, QStringLiteral("Укажите конец названия"));
        return Flow::Done;
    }
    current_->X2 = p.X;
    current_->Y2 = p.Y;
    if (current_->Anchor != 0) unbindObject(*current_);
    draw(*current_, false);
    labelsModified(QStringLiteral("Перемещение названия"));
    m.NameMoveMode = false;
    m.ClickCount = 0;
    current_.reset();
    ws_.surface->setPanelText(4, QString());
    return Flow::Done;
}

Flow NameTools::edit(const MouseClick& c) {
    NameRef n = found(c);
    if (!n) return Flow::Done;
    draw(*n, true);
    if (const auto texts = ws_.dialogs->namesDialog(fromCp1251(n->NewName), fromCp1251(n->OldName))) {
        n->NewName = LabelText(texts->first);
        n->OldName = LabelText(texts->second);
        ApplyNameFont(*n, names_.NameFont);
        labelsModified(QStringLiteral("Изменение названия"));
    }
    draw(*n, false);
    ws_.modes.NameEditMode = false;
    ws_.surface->setPanelText(4, QString());
    return Flow::Done;
}

Flow NameTools::pickToBind(const MouseClick& c) { return takeLabel(c, 1, QStringLiteral("Укажтие объект.")); }

Flow NameTools::pickObject(const MouseClick& c) {
    const ObjectHit h = editor_.hits().FindObject(ws_.map, ws_.view.view(), c.pos, ws_.view.activeLayerFilter());
    if (!h.Object) {
        ws_.dialogs->message(QStringLiteral("Объект не найден"));
        return Flow::Done;
    }
    bindObject_ = h.Object;
    editor_.markVertices(h.Object->Kind == KindPoint);
    ws_.modes.ClickCount = 2;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите точку объекта."));
    return Flow::Done;
}

Flow NameTools::bind(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    m.NameJoinMode = false;
    m.ClickCount = 0;
    TObj* obj = ws_.map.ObjList.indexOf(bindObject_) >= 0 ? bindObject_ : nullptr;
    if (!current_ || !obj) return Flow::Done;
    TNaz& n = *current_;
    // The object's point under the click, or the click itself.
    TXY at = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    const int v = PickVertex(ws_.map.EditPoints, c.pos, false);
    if (v >= 0 && size_t(v) < obj->Points.size()) {
        at = obj->Points[size_t(v)];
        QPainter p(&ws_.view.image);
        p.setPen(QPen(QColor(255, 0, 0), 0));
        p.drawEllipse(QPoint(ws_.map.EditPoints[size_t(v)].PX, ws_.map.EditPoints[size_t(v)].PY), 4, 4);
    }
    const auto choice = ws_.dialogs->chooseOption(QStringLiteral("Привязка названия"), QStringLiteral("Привязать к точке"),
                                                  {QStringLiteral("Начало названия"), QStringLiteral("Конец названия")}, 0);
    if (choice) {
        // The label keeps its length and direction.
        const double dx = n.X2 - n.X1, dy = n.Y2 - n.Y1;
        if (*choice == 0) {
            n.Anchor = 1;
            n.X1 = at.X;
            n.Y1 = at.Y;
            n.X2 = at.X + dx;
            n.Y2 = at.Y + dy;
        } else {
            n.Anchor = 3;
            n.X2 = at.X;
            n.Y2 = at.Y;
            n.X1 = at.X - dx;
            n.Y1 = at.Y - dy;
        }
        obj->Name = n.NewName.empty() ? n.OldName : n.NewName;
        n.BoundObject = obj->Number;
        labelsModified(QStringLiteral("Привязка названия"));
    } else {
        n.Anchor = 0;
        n.BoundObject = -1;
        obj->Name.clear();
    }
    ws_.map.MapModified = true;
    draw(n, false);
    current_.reset();
    ws_.surface->setPanelText(4, QStringLiteral("Готово!"));
    return Flow::Done;
}

}  // namespace dm
