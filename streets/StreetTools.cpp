#include "StreetTools.h"

#include "editing/HitTest.h"
#include "editing/XorDraw.h"
#include "mapdata/Cp1251.h"

#include <QCollator>
#include <QPainter>

#include <algorithm>

namespace fs = std::filesystem;

namespace dm {

namespace {
// Street menu items enabled by a load, and by a search that found a street.
const char* const kLoadedItems[] = {"RueShowAll", "ShowRueAxe",    "RueNazFind",    "RueKarta", "RueSortNew",
                                    "RueSortOld", "RueChangeMenu", "RueKorrMenu",   "RueSave",  "RueNewCreaMenu"};
const char* const kFoundItems[] = {"RueShriftChange", "RueKorAxeMenu", "RueDelete", "RueDoma"};

std::string cut(const QString& s, size_t max) {
    std::string t = toCp1251(s);
    if (t.size() > max) t.resize(max);
    return t;
}
}  // namespace

StreetTools::StreetTools(Workspace& ws, StreetState& streets, NameState& names, MapEditor& editor,
                         UndoHistory& history)
    : ws_(ws), st_(streets), names_(names), history_(history), sub_(ws.map.events, [this](const MapEvent& e) { mapChanged(e); }) {
    MouseDispatch& d = editor.dispatch();
    d.attach(4, [this](const MouseClick& c) { return placeHouse(c); });
    d.attach(8, [this](const MouseClick& c) { return nameStart(c); });
    d.attach(9, [this](const MouseClick& c) { return nameEnd(c); });
    d.attach(10, [this](const MouseClick& c) { return pickAxisPoint(c); });
    d.attach(11, [this](const MouseClick& c) { return moveAxisPoint(c); });
    d.attach(12, [this](const MouseClick& c) { return editName(c); });
    d.attach(13, [this](const MouseClick& c) { return pickNameToMove(c); });
    d.attach(14, [this](const MouseClick& c) { return placeName(c); });
    d.attach(15, [this](const MouseClick& c) { return findByAxis(c); });
    d.attach(16, [this](const MouseClick& c) { return showAxis(c); });
    editor.extraBands.push_back([this](QPoint pos) { return bands(pos); });
    history.whenTravelling([this] { historyTravels(); });
}

// ---- helpers ------------------------------------------------------------------

void StreetTools::record(RegisterEdit<Trues>& edit, const QString& what) {
    edit.commit(history_, &st_, what, [this] { restored(); });
}

void StreetTools::restored() {
    ws_.files.StreetsModified = true;
    addresses_.build(st_.Streets);
    house_ = -1;
    const bool kept = st_.CurrentStreet &&
                      std::find(st_.Streets.begin(), st_.Streets.end(), st_.CurrentStreet) != st_.Streets.end();
    if (st_.CurrentStreet && !kept) {
        // The street in hand went out of the register again.
        st_.CurrentStreet.reset();
        ws_.modes.HousePlaceMode = false;
        enable("RueDelete", false);
        enable("RueDoma", false);
        enable("RueShriftChange", false);
        enable("RueKorAxeMenu", false);
        ws_.map.EditPoints.clear();
        if (streetChanged) streetChanged();
    } else if (st_.CurrentStreet) {
        ws_.map.EditPoints = AxisPixels(*st_.CurrentStreet, ws_.view.view());
    }
    if (housesChanged) housesChanged();
    buttons();
}

void StreetTools::enableLoaded(bool on) {
    for (const char* id : kLoadedItems) enable(id, on);
}

void StreetTools::enableFound(bool on) {
    for (const char* id : kFoundItems) enable(id, on);
}

void StreetTools::startMode(bool InteractionState::*flag, const QString& prompt) {
    ws_.modes.ResetModes(ws_.view.blink);
    ws_.modes.*flag = true;
    ws_.modes.ClickCount = 0;
    ws_.modes.StreetStep = 0;
    ws_.modes.EditStep = 0;
    ws_.surface->setPanelText(4, prompt);
    buttons();
}

void StreetTools::mapChanged(const MapEvent& e) {
    if (e.kind != MapEvent::Opened && e.kind != MapEvent::Closed) return;
    st_.Streets.clear();
    addresses_.clear();
    st_.partial.clear();
    st_.CurrentStreet.reset();
    pending_.reset();
    house_ = -1;
    placing_ = {};
    axisBand_ = lineBand_ = false;
    ws_.modes.HousePlaceMode = false;
    if (streetChanged) streetChanged();
}

void StreetTools::select(int index) {
    const StreetRef before = st_.CurrentStreet;
    st_.CurrentStreet = st_.Streets[size_t(index)];
    house_ = -1;
    if (before != st_.CurrentStreet) {
        // A house being placed belonged to the street shown in the house form.
        ws_.modes.HousePlaceMode = false;
        if (streetChanged) streetChanged();
    }
    ws_.map.EditPoints = AxisPixels(*st_.CurrentStreet, ws_.view.view());
    ws_.view.blink.BlinkAsPoints = false;
}

void StreetTools::drawName(const Trues& s, bool erase) {
    if (ws_.view.image.isNull()) return;
    QPainter p(&ws_.view.image);
    DrawStreetName(p, s, ws_.view.view(), erase);
    p.end();
    changed();
}

void StreetTools::drawAxis(const Trues& s, QColor color) {
    if (ws_.view.image.isNull() || s.Axis.empty()) return;
    QPainter p(&ws_.view.image);
    p.setPen(QPen(color, 0));
    std::vector<QPoint> pts;
    for (const TGn& g : AxisPixels(s, ws_.view.view())) pts.emplace_back(g.PX, g.PY);
    p.drawPolyline(pts.data(), int(pts.size()));
    p.end();
    changed();
}

void StreetTools::ensureFileName() {
    // The city folder's streets file, under the name it has on disk.
    const fs::path wanted = ws_.files.StartDir / ws_.files.CityFolderName / "darvent.rue";
    ws_.files.StreetsFileName = resolvePathCase(wanted);
}

bool StreetTools::parseFloors(const QString& text, uint8_t& floors) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok) {
        ws_.dialogs->error(QStringLiteral("«%1» — не целое число этажей.").arg(text));
        return false;
    }
    floors = uint8_t(uint64_t(v) & 0xFF);  // one byte: above 255 modulo 256
    return true;
}

// ---- lifecycle --------------------------------------------------------------------

void StreetTools::afterOpen() {
    enableLoaded(false);
    enableFound(false);
    enable("RueLoad", true);
    enable("RueAxeMovePoint", true);
    enable("RueAxeInsert", true);
    pending_.reset();
    house_ = -1;
    st_.StreetListOrder = StreetOrder::Old;
}

StreetTools::Saved StreetTools::saveStreets(FileBatch* batch) {
    if (ws_.files.StreetsFileName.empty()) return Saved::Written;
    if (!ConfirmPartialSave(*ws_.dialogs, st_.partial, ws_.files.StreetsFileName)) return Saved::Skipped;
    ws_.surface->setBusy(true);
    Saved r = Saved::Written;
    try {
        SaveStreets(ws_.files.StreetsFileName, st_.Streets, batch);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        r = Saved::Failed;
    }
    ws_.surface->setBusy(false);
    return r;
}

// ---- the menu -----------------------------------------------------------------------

void StreetTools::RueMenuOpened() {
    if (!st_.Streets.empty()) return;
    RueLoadClick();
    ws_.surface->setPanelText(4, QString());
}

void StreetTools::RueLoadClick() {
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Нет карты."));
        return;
    }
    ensureFileName();
    std::error_code ec;
    if (!fs::is_regular_file(ws_.files.StreetsFileName, ec)) return;  // a missing file changes nothing
    ws_.surface->setBusy(true);
    std::vector<StreetRef> loaded;
    st_.partial.clear();
    try {
        LoadStreets(ws_.files.StreetsFileName, loaded);
    } catch (const std::exception& e) {
        ws_.surface->setBusy(false);
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        // The streets read before the damage stay; they are not the file.
        st_.partial.set(ws_.files.StreetsFileName, loaded.size());
    }
    ws_.surface->setBusy(false);
    st_.Streets = std::move(loaded);
    addresses_.build(st_.Streets);
    history_.forget(&st_);  // the steps of the register read before
    st_.CurrentStreet.reset();
    house_ = -1;
    ws_.modes.HousePlaceMode = false;
    if (streetChanged) streetChanged();
    st_.StreetListOrder = StreetOrder::Old;
    ws_.files.StreetsModified = st_.partial.any();
    if (streetsLoaded) streetsLoaded();
    if (!st_.Streets.empty()) {
        enableLoaded(true);
        if (mapNamesOff) mapNamesOff();
        // A register read in part can be read again once the file is mended.
        enable("RueLoad", st_.partial.any());
    }
    buttons();
}

void StreetTools::RueShowAllClick() {
    if (st_.Streets.empty()) {
        ws_.dialogs->message(QStringLiteral("Улицы не загружены."));
        return;
    }
    if (ws_.view.image.isNull()) return;
    ws_.surface->setBusy(true);
    QPainter p(&ws_.view.image);
    for (const auto& s : st_.Streets) DrawStreetName(p, *s, ws_.view.view(), false);
    p.end();
    ws_.surface->setBusy(false);
    changed();
}

void StreetTools::RueNazFindClick() {
    startMode(&InteractionState::StreetFindByAxisMode, QStringLiteral("Укажите ось улицы."));
}

void StreetTools::RueKartaClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    if (!chooseStreet) return;
    const auto chosen = chooseStreet(FillStreetList(st_.Streets, st_.StreetListOrder), st_.StreetListOrder);
    buttons();
    if (!chosen) return;
    const bool oldFirst = st_.StreetListOrder == StreetOrder::Old;
    const std::string& oldName = oldFirst ? chosen->first : chosen->second;
    const std::string& newName = oldFirst ? chosen->second : chosen->first;
    int i = -1;
    if (chosenStreetRow) {
        const int r = chosenStreetRow();
        if (r >= 0 && size_t(r) < st_.Streets.size() && st_.Streets[size_t(r)]->OldName == oldName &&
            st_.Streets[size_t(r)]->NewName == newName)
            i = r;
    }
    if (i < 0) i = FindStreetByNames(st_.Streets, oldName, newName);
    if (i < 0) return;
    select(i);
    enableFound(true);
    ws_.view.blink.BlinkOn = true;
    // The axis that blinks is brought into the window.
    ws_.surface->showPicturePoints(ws_.map.EditPoints);
    buttons();
}

void StreetTools::RueChangeMenuClick() {
    startMode(&InteractionState::StreetNameMoveMode, QStringLiteral("Укажите название улицы."));
}

void StreetTools::RueKorrMenuClick() {
    startMode(&InteractionState::StreetNameEditMode, QStringLiteral("Укажите название улицы."));
}

void StreetTools::ShowRueAxeClick() {
    startMode(&InteractionState::StreetAxisShowMode, QStringLiteral("Укажите название улицы."));
}

void StreetTools::RueAxeMovePointClick() {
    if (!st_.CurrentStreet) return;
    ws_.modes.ResetModes(ws_.view.blink);
    // Every axis point gets a small red circle.
    const std::vector<TGn> a = AxisPixels(*st_.CurrentStreet, ws_.view.view());
    if (!ws_.view.image.isNull()) {
        QPainter p(&ws_.view.image);
        p.setPen(QPen(QColor(255, 0, 0), 0));
        p.setBrush(Qt::NoBrush);
        for (const TGn& g : a) p.drawEllipse(QPoint(g.PX, g.PY), 2, 2);
        p.end();
        changed();
    }
    ws_.modes.ScreenPoints.clear();
    for (const TGn& g : a) ws_.modes.ScreenPoints.emplace_back(g.PX, g.PY);
    ws_.modes.StreetAxisVertexMode = true;
    ws_.modes.EditStep = 0;
    ws_.modes.PickIndex = -1;
    buttons();
}

void StreetTools::RueAxeInsertClick() {}

void StreetTools::RueShriftChangeClick() {
    if (!st_.CurrentStreet) return;
    RegisterEdit<Trues> edit(st_.Streets, st_.CurrentStreet);
    Trues& s = *st_.CurrentStreet;
    const TNameFont& f = names_.NameFont;
    s.FontName = f.Face.substr(0, kStreetFontMax);
    s.Bold = f.Bold ? 1 : 0;
    s.Italic = f.Italic ? 1 : 0;
    s.FontSize = uint8_t(std::clamp(f.Size, 0, 255));
    s.FontColor = f.Color;
    drawName(s, false);
    enable("RueShriftChange", false);
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Изменить шрифт"));
    buttons();
}

void StreetTools::RueDomaClick() {
    if (!st_.CurrentStreet) return;
    house_ = -1;
    if (showHouseForm) showHouseForm();
}

void StreetTools::RueSortNewClick() { st_.StreetListOrder = StreetOrder::New; }
void StreetTools::RueSortOldClick() { st_.StreetListOrder = StreetOrder::Old; }

void StreetTools::RueDeleteClick() {
    if (!st_.CurrentStreet) return;
    RegisterEdit<Trues> edit(st_.Streets);
    const auto it = std::find(st_.Streets.begin(), st_.Streets.end(), st_.CurrentStreet);
    if (it != st_.Streets.end()) st_.Streets.erase(it);
    addresses_.removed(st_.CurrentStreet);
    st_.CurrentStreet.reset();
    house_ = -1;
    ws_.modes.HousePlaceMode = false;
    if (streetChanged) streetChanged();
    enable("RueDelete", false);
    enable("RueDoma", false);
    enable("RueShriftChange", false);
    enable("RueKorAxeMenu", false);
    ws_.map.EditPoints.clear();
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Удалить улицу"));
    buttons();
}

void StreetTools::RueNewCreaMenuClick() {
    // An object still being drawn ends here: the axis clicks are the street's.
    if (endObjectDrawing) endObjectDrawing();
    ws_.modes.ResetModes(ws_.view.blink);
    pending_ = std::make_shared<Trues>();
    if (const auto names = ws_.dialogs->namesDialog(QString(), QString())) {
        pending_->NewName = cut(names->first, kStreetNameMax);
        pending_->OldName = cut(names->second, kStreetNameMax);
    }
    ws_.modes.StreetCreateMode = true;
    ws_.modes.CreateMode = false;
    ws_.modes.StreetStep = 0;
    ws_.modes.ClickCount = 0;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите начало и конец названия."));
    buttons();
}

void StreetTools::RueSaveClick() {
    if (st_.Streets.empty()) {
        ws_.dialogs->message(QStringLiteral("Улицы не загружены."));
        return;
    }
    if (ws_.files.StreetsFileName.empty()) ensureFileName();
    if (saveStreets() == Saved::Written) ws_.files.StreetsModified = false;
    buttons();
}

void StreetTools::historyTravels() {
    InteractionState& m = ws_.modes;
    // What the first click of a two-step operation found or noted may be
    // undone under it: the operation ends.
    const bool underWay = m.StreetNameMoveMode || m.StreetNamePlacing || m.StreetAxisVertexMode || m.StreetCreateMode;
    if (!underWay) return;
    eraseBands();
    m.StreetNameMoveMode = m.StreetNamePlacing = m.StreetAxisVertexMode = false;
    if (m.StreetCreateMode) {
        m.StreetCreateMode = false;
        m.CreateMode = false;
        m.InputPoints.clear();
        pending_.reset();
    }
    m.ClickCount = 0;
    m.StreetStep = 0;
    m.EditStep = 0;
    m.PickIndex = -1;
    ws_.surface->setPanelText(4, QString());
    buttons();
}

void StreetTools::RueOtmenaClick() {
    ws_.modes.ResetModes(ws_.view.blink);
    pending_.reset();
    buttons();
}

// ---- the mouse rows -----------------------------------------------------------------

Flow StreetTools::placeHouse(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    m.HousePlaceMode = false;
    if (!st_.CurrentStreet) return Flow::Done;
    // The fields as they are at the click.
    if (houseFields) placing_ = houseFields();
    uint8_t floors = 0;
    if (!parseFloors(placing_.floors, floors)) return Flow::Done;
    TDom h;
    h.setNomer(cut(placing_.number, kHouseNumberMax));
    const TXY at = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    h.X = at.X;
    h.Y = at.Y;
    h.Etage = floors;
    h.DopInf = cut(placing_.info, kHouseNoteMax);
    RegisterEdit<Trues> edit(st_.Streets, st_.CurrentStreet);
    st_.CurrentStreet->Houses.push_back(h);
    addresses_.changed(st_.CurrentStreet);
    if (!ws_.view.image.isNull()) {
        QPainter p(&ws_.view.image);
        DrawHouseNumber(p, h, ws_.view.view());
        p.end();
        changed();
    }
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Создать дом"));
    if (housesChanged) housesChanged();
    buttons();
    return Flow::Done;
}

Flow StreetTools::nameStart(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    if (!pending_) pending_ = std::make_shared<Trues>();
    const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    pending_->X1 = p.X;
    pending_->Y1 = p.Y;
    m.StreetStep = 1;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите конец названия"));
    return Flow::Done;
}

Flow StreetTools::nameEnd(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    eraseBands();
    const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    pending_->X2 = p.X;
    pending_->Y2 = p.Y;
    drawName(*pending_, false);
    m.CreateMode = true;
    m.StreetStep = 2;
    m.ClickCount = 0;
    m.InputPoints.clear();
    ws_.map.EditPoints.clear();
    ws_.surface->setPanelText(4, QStringLiteral("Укажите точки оси улицы."));
    return Flow::Done;
}

void StreetTools::finishAxis() {
    InteractionState& m = ws_.modes;
    eraseBands();
    if (!pending_) pending_ = std::make_shared<Trues>();
    Trues& s = *pending_;
    s.Axis.clear();
    for (const QPoint& q : m.InputPoints) s.Axis.push_back(ws_.view.view().toMap(q.x(), q.y()));
    s.StreetNo = int32_t(st_.Streets.size());
    RegisterEdit<Trues> edit(st_.Streets);
    st_.Streets.push_back(pending_);
    addresses_.added(pending_);
    pending_.reset();
    m.StreetCreateMode = false;
    m.CreateMode = false;
    m.ClickCount = 0;
    m.StreetStep = 0;
    m.InputPoints.clear();
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Создать улицу"));
    ws_.surface->setPanelText(4, QStringLiteral("Готово."));
    buttons();
}

Flow StreetTools::pickAxisPoint(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const int k = PickVertex(m.ScreenPoints, c.pos, true);
    if (k < 0) {
        ws_.dialogs->message(QStringLiteral("Точка не найдена"));
        return Flow::Done;
    }
    m.PickIndex = k;
    m.EditStep = 6;
    return Flow::Done;
}

Flow StreetTools::moveAxisPoint(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    m.StreetAxisVertexMode = false;
    m.EditStep = 0;
    if (!st_.CurrentStreet || m.PickIndex < 0 || size_t(m.PickIndex) >= st_.CurrentStreet->Axis.size())
        return Flow::Done;
    // The rubber band goes first, then the axis in white, then the new one in blue.
    eraseBands();
    const size_t k = size_t(m.PickIndex);
    StreetRef s = st_.CurrentStreet;
    RegisterEdit<Trues> edit(st_.Streets, s);
    drawAxis(*s, Qt::white);
    s->Axis[k] = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    // The moved street goes to the end of the list.
    st_.Streets.erase(std::find(st_.Streets.begin(), st_.Streets.end(), s));
    st_.Streets.push_back(s);
    addresses_.movedToEnd(s);
    drawAxis(*s, QColor(0, 0, 255));
    ws_.map.EditPoints = AxisPixels(*s, ws_.view.view());
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Переместить точку"));
    enable("RueKorAxeMenu", false);
    buttons();
    return Flow::Done;
}

Flow StreetTools::editName(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const int i = FindStreetByName(st_.Streets, ws_.view.view(), c.pos);
    ws_.surface->setPanelText(4, QString());
    if (i < 0) {
        ws_.dialogs->message(QStringLiteral("Название не найдено"));
        return Flow::Done;
    }
    m.StreetNameEditMode = false;
    select(i);
    Trues& s = *st_.CurrentStreet;
    drawName(s, true);
    if (const auto names = ws_.dialogs->namesDialog(fromCp1251(s.NewName), fromCp1251(s.OldName))) {
        RegisterEdit<Trues> edit(st_.Streets, st_.CurrentStreet);
        s.NewName = cut(names->first, kStreetNameMax);
        s.OldName = cut(names->second, kStreetNameMax);
        addresses_.changed(st_.CurrentStreet);
        ws_.files.StreetsModified = true;
        record(edit, QStringLiteral("Корректировать название"));
    }
    drawName(s, false);
    enable("RueShriftChange", true);
    buttons();
    return Flow::Done;
}

Flow StreetTools::pickNameToMove(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    const int i = FindStreetByName(st_.Streets, ws_.view.view(), c.pos);
    if (i < 0) {
        ws_.dialogs->message(QStringLiteral("Название не найдено"));
        return Flow::Done;
    }
    select(i);
    drawName(*st_.CurrentStreet, true);
    m.StreetNamePlacing = true;
    m.StreetStep = 0;
    m.ClickCount = 0;
    ws_.surface->setPanelText(4, QStringLiteral("Укажите новые начало и конец названия"));
    return Flow::Done;
}

Flow StreetTools::placeName(const MouseClick& c) {
    InteractionState& m = ws_.modes;
    if (!st_.CurrentStreet) {
        m.StreetNameMoveMode = m.StreetNamePlacing = false;
        return Flow::Done;
    }
    Trues& s = *st_.CurrentStreet;
    const TXY p = ws_.view.view().toMap(c.pos.x(), c.pos.y());
    if (m.ClickCount == 0) {
        // Kept aside: the street changes only with the second click, in one step.
        nameStartAt_ = p;
        m.ClickCount = 1;
        ws_.surface->setPanelText(4, QStringLiteral("Укажите конец названия"));
        return Flow::Done;
    }
    eraseBands();
    RegisterEdit<Trues> edit(st_.Streets, st_.CurrentStreet);
    s.X1 = nameStartAt_.X;
    s.Y1 = nameStartAt_.Y;
    s.X2 = p.X;
    s.Y2 = p.Y;
    s.BoundObject = -1;
    addresses_.changed(st_.CurrentStreet);
    drawName(s, false);
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Переместить название"));
    m.StreetNameMoveMode = m.StreetNamePlacing = false;
    m.ClickCount = 0;
    ws_.surface->setPanelText(4, QString());
    buttons();
    return Flow::Done;
}

Flow StreetTools::findByAxis(const MouseClick& c) {
    const int i = FindStreetByAxis(st_.Streets, ws_.view.view(), c.pos);
    if (i < 0) {
        ws_.dialogs->message(QStringLiteral("Улица не найдена"));
        return Flow::Done;
    }
    ws_.modes.StreetFindByAxisMode = false;
    select(i);
    const Trues& s = *st_.CurrentStreet;
    ws_.dialogs->namesDialog(fromCp1251(s.NewName), fromCp1251(s.OldName));  // for reading
    ws_.view.blink.BlinkOn = true;
    enableFound(true);
    ws_.surface->setPanelText(4, QString());
    buttons();
    return Flow::Done;
}

Flow StreetTools::showAxis(const MouseClick& c) {
    const int i = FindStreetByName(st_.Streets, ws_.view.view(), c.pos);
    if (i < 0) {
        ws_.dialogs->message(QStringLiteral("Улица не найдена"));
        return Flow::Done;
    }
    ws_.modes.StreetAxisShowMode = false;
    select(i);
    ws_.view.blink.BlinkOn = true;
    enable("RueKorAxeMenu", true);
    enable("RueShriftChange", true);
    enable("RueDoma", true);
    ws_.surface->setPanelText(4, QString());
    buttons();
    return Flow::Done;
}

bool StreetTools::bands(QPoint pos) {
    InteractionState& m = ws_.modes;
    const bool had = axisBand_ || lineBand_;
    eraseBands();
    // Moving an axis point: lines from its neighbours.
    if (m.StreetAxisVertexMode && m.EditStep == 6 && m.PickIndex >= 0 && size_t(m.PickIndex) < m.ScreenPoints.size()) {
        const size_t k = size_t(m.PickIndex), n = m.ScreenPoints.size();
        axisPrev_ = k == 0 ? m.LastClick : m.ScreenPoints[k - 1];
        axisNext_ = k + 1 == n ? m.LastClick : m.ScreenPoints[k + 1];
        axisAt_ = pos;
        xorLine(ws_.view.image, axisPrev_, pos, kBandPen);
        xorLine(ws_.view.image, axisNext_, pos, kBandPen);
        axisBand_ = true;
    }
    // The name's baseline and the axis of a new street, a moved name: a
    // line from the last click.
    if ((m.StreetCreateMode && m.StreetStep == 1) || (m.StreetCreateMode && m.CreateMode && m.ClickCount > 0) ||
        (m.StreetNamePlacing && m.ClickCount == 1)) {
        lineFrom_ = m.LastClick;
        lineTo_ = pos;
        xorLine(ws_.view.image, lineFrom_, lineTo_, kBandPen);
        lineBand_ = true;
    }
    return had || axisBand_ || lineBand_;
}

void StreetTools::eraseBands() {
    if (axisBand_) {
        xorLine(ws_.view.image, axisPrev_, axisAt_, kBandPen);
        xorLine(ws_.view.image, axisNext_, axisAt_, kBandPen);
        axisBand_ = false;
    }
    if (lineBand_) {
        xorLine(ws_.view.image, lineFrom_, lineTo_, kBandPen);
        lineBand_ = false;
    }
}

// ---- the house form -------------------------------------------------------------------

QString StreetTools::houseStreetName() const {
    if (!st_.CurrentStreet) return {};
    const Trues& s = *st_.CurrentStreet;
    return fromCp1251(s.NewName.empty() ? s.OldName : s.NewName);
}

QStringList StreetTools::houseNumbers() const {
    QStringList out;
    if (!st_.CurrentStreet) return out;
    for (const TDom& h : st_.CurrentStreet->Houses) out << fromCp1251(h.Nomer());
    // Sorted as an operator reads them: the numbers as numbers ("5а" before
    // "31"), letter case ignored.
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(out.begin(), out.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return out;
}

const TDom* StreetTools::selectedHouse() const {
    if (!st_.CurrentStreet || house_ < 0 || size_t(house_) >= st_.CurrentStreet->Houses.size()) return nullptr;
    return &st_.CurrentStreet->Houses[size_t(house_)];
}

std::optional<HouseFields> StreetTools::selectHouse(const QString& number) {
    if (!st_.CurrentStreet) return std::nullopt;
    const std::string n = toCp1251(number);
    const auto& houses = st_.CurrentStreet->Houses;
    for (size_t i = 0; i < houses.size(); ++i) {
        if (houses[i].Nomer() != n) continue;
        house_ = int(i);
        const TDom& h = houses[i];
        markHouse(h);
        ws_.view.blink.BlinkOn = true;
        ws_.surface->showPicturePoints(ws_.map.EditPoints);
        buttons();
        return HouseFields{fromCp1251(h.Nomer()), QString::number(h.Etage), fromCp1251(h.DopInf)};
    }
    return std::nullopt;
}

bool StreetTools::correctHouse(const HouseFields& f) {
    if (!selectedHouse()) return false;
    uint8_t floors = 0;
    if (!parseFloors(f.floors, floors)) return false;
    RegisterEdit<Trues> edit(st_.Streets, st_.CurrentStreet);
    TDom& old = st_.CurrentStreet->Houses[size_t(house_)];
    TDom h;  // a new house at the same place
    h.setNomer(cut(f.number, kHouseNumberMax));
    h.X = old.X;
    h.Y = old.Y;
    h.Etage = floors;
    h.DopInf = cut(f.info, kHouseNoteMax);
    old = h;
    addresses_.changed(st_.CurrentStreet);
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Корректировать дом"));
    if (housesChanged) housesChanged();
    buttons();
    return true;
}

bool StreetTools::deleteHouse() {
    if (!selectedHouse()) return false;
    RegisterEdit<Trues> edit(st_.Streets, st_.CurrentStreet);
    auto& houses = st_.CurrentStreet->Houses;
    houses.erase(houses.begin() + house_);
    addresses_.changed(st_.CurrentStreet);
    house_ = -1;
    ws_.files.StreetsModified = true;
    record(edit, QStringLiteral("Удалить дом"));
    if (housesChanged) housesChanged();
    buttons();
    return true;
}

bool StreetTools::startHousePlacing(const HouseFields& f) {
    if (!st_.CurrentStreet) return false;
    uint8_t floors = 0;
    if (!parseFloors(f.floors, floors)) return false;
    placing_ = f;
    ws_.modes.HousePlaceMode = true;
    return true;
}

void StreetTools::showAllHouses() {
    if (!st_.CurrentStreet || ws_.view.image.isNull()) return;
    QPainter p(&ws_.view.image);
    for (const TDom& h : st_.CurrentStreet->Houses) DrawHouseNumber(p, h, ws_.view.view());
    p.end();
    changed();
}

void StreetTools::markHouse(const TDom& h) {
    // Its number in blue; the house is what blinks.
    if (!ws_.view.image.isNull()) {
        QPainter p(&ws_.view.image);
        DrawHouseNumber(p, h, ws_.view.view());
        p.end();
        changed();
    }
    ws_.map.EditPoints = {ws_.view.view().toPixel({h.X, h.Y})};
    ws_.view.blink.BlinkAsPoints = true;
}

const AddressIndex& StreetTools::addresses() {
    if (st_.Streets.empty() && !ws_.files.MapFileName.empty()) RueMenuOpened();
    return addresses_;
}

bool StreetTools::showAddress(const AddressHit& hit) {
    const auto it = std::find(st_.Streets.begin(), st_.Streets.end(), hit.street);
    if (it == st_.Streets.end()) return false;
    ws_.modes.ResetModes(ws_.view.blink);
    select(int(it - st_.Streets.begin()));
    enableFound(true);
    const Trues& s = *st_.CurrentStreet;
    if (hit.house >= 0 && size_t(hit.house) < s.Houses.size()) {
        house_ = hit.house;
        markHouse(s.Houses[size_t(hit.house)]);
    }
    ws_.view.blink.BlinkOn = true;
    buttons();
    return true;
}

void StreetTools::closeHouseForm() {
    ws_.modes.HousePlaceMode = false;
    house_ = -1;
}

}  // namespace dm
