#include "DistrictTools.h"

#include "Boundaries.h"
#include "MapCut.h"
#include "display/Render.h"
#include "editing/XorDraw.h"
#include "mapdata/Cp1251.h"

#include <QPainter>
#include <unordered_set>

namespace fs = std::filesystem;

namespace dm {

namespace {
QString qpath(const fs::path& p) { return QString::fromStdString(p.string()); }
QString errorText(const std::exception& e) { return QString::fromUtf8(e.what()); }
QString missing(const fs::path& p) { return QStringLiteral("Файл ") + qpath(p) + QStringLiteral(" не существует"); }
constexpr QRgb kLassoPen = 0xFFFF0000u;  // red
}  // namespace

DistrictTools::DistrictTools(Workspace& ws, DistrictState& st, NameState& names, ObjectCreation& creation,
                             MapEditor& editor)
    : ws_(ws), st_(st), names_(names), creation_(creation), editor_(editor) {
    MouseDispatch& d = editor_.dispatch();
    d.districtListLoaded = [this] { return st_.BoundsLoaded; };
    d.attach(19, [this](const MouseClick& c) { return lassoStart(c); });
    d.attach(50, [this](const MouseClick& c) { return pickDistrict(c); });
    editor_.extraBands.push_back([this](QPoint pos) { return lassoBand(pos); });
    editor_.lassoReleased = [this] { lassoReleased(); };
}

void DistrictTools::progress(int percent) {
    ws_.view.ProgressPercent = percent;
    ws_.surface->showProgress(percent);
}

fs::path DistrictTools::regionDir() const { return ws_.files.StartDir / StemPath(ws_.files.CityFolderName); }

fs::path DistrictTools::districtPath(const char* ext) const {
    return regionDir() / StemPath(st_.DistrictFile + ext);
}

std::optional<std::vector<ListEntry>> DistrictTools::districtList() {
    try {
        std::vector<std::string> refused;
        auto list = ReadDistrictList(DistrictListPath(ws_.files.StartDir, ws_.files.CityFolderName), &refused);
        if (!refused.empty()) ws_.dialogs->error(QString::fromStdString(joinLines(refused)));
        return list;
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return std::nullopt;
    }
}

// ---- opening a district's map ------------------------------------------------

void DistrictTools::TumanMapButtonClick(bool down) {
    ws_.modes.ResetModes(ws_.view.blink);
    ws_.modes.DistrictPickMode = down;
    if (layerFilterOff) layerFilterOff();
    if (buttonsChanged) buttonsChanged();
}

Flow DistrictTools::pickDistrict(const MouseClick& c) {
    ws_.view.view().SymbolFactor = 1.0;
    FindDistrictAt(c.pos.x(), c.pos.y());
    ws_.modes.DistrictPickMode = false;
    ws_.surface->setPanelText(4, QString());
    ws_.surface->setPanelText(5, QString());
    if (buttonsChanged) buttonsChanged();
    return Flow::Done;
}

void DistrictTools::FindDistrictAt(int x, int y) {
    const MapView& view = ws_.view.view();
    bool containing = false;
    for (const auto& b : st_.DistrictBounds)
        if (PointInBoundary(ScreenPolygon(*b, view), x, y)) {
            containing = true;
            break;
        }
    if (containing) {
        const auto list = districtList();
        if (!list) return;
        st_.DistrictFile.clear();
        if (const ListEntry* e = FindDistrict(st_.DistrictBounds, view, x, y, *list)) {
            st_.DistrictFile = e->file;
            st_.DistrictName = e->name;
        }
    }
    // A click outside every boundary reopens the district chosen last.
    if (st_.DistrictName.empty() || st_.DistrictFile.empty()) {
        ws_.dialogs->message(QStringLiteral("Не выбран туман"));
        return;
    }
    if (openDistrictMap) openDistrictMap(districtPath(".or"));
}

DistrictTools::MapShown DistrictTools::MapButtonClick() {
    if (st_.DistrictName.empty() || st_.DistrictFile.empty()) {
        ws_.dialogs->message(QStringLiteral("Не выбран туман"));
        return MapShown::NotOpened;
    }
    const bool opened = openDistrictMap && openDistrictMap(districtPath(".or"));
    if (!opened && openKept && openKept()) return MapShown::Kept;
    st_.Settlements.clear();
    if (layerFilterOff) layerFilterOff();
    if (scrollToOrigin) scrollToOrigin();
    return opened ? MapShown::Opened : MapShown::NotOpened;
}

// ---- boundary files -------------------------------------------------------------

bool DistrictTools::LoadBoundaries(const fs::path& path) {
    if (!fileExistsCI(path)) {
        ws_.dialogs->message(missing(path));
        return false;
    }
    BusyScope busy(ws_.surface);
    st_.DistrictBounds.clear();
    st_.BoundsLoaded = true;
    ws_.map.EditPoints.clear();
    try {
        ReadBoundaryFile(path, st_.DistrictBounds);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    return true;
}

bool DistrictTools::LoadAndDrawBoundaries(const fs::path& path) {
    if (!fileExistsCI(path)) {
        ws_.dialogs->message(missing(path));
        return false;
    }
    st_.BoundsLoaded = true;
    const size_t first = st_.DistrictBounds.size();
    bool ok = true;
    try {
        ReadBoundaryFile(path, st_.DistrictBounds, true);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        ok = false;
    }
    if (!ws_.view.image.isNull()) {
        QPainter p(&ws_.view.image);
        for (size_t i = first; i < st_.DistrictBounds.size(); ++i)
            DrawBoundary(p, *st_.DistrictBounds[i], ws_.view.view(), st_.ChosenFillColor, st_.ChosenBrushStyle);
        ws_.surface->imageChanged();
    }
    return ok;
}

bool DistrictTools::SaveRayBegin() {
    const TObj* composed = creation_.FormedObj();
    if (!composed) {
        ws_.dialogs->message(QStringLiteral("Объект не создан"));
        return false;
    }
    creation_.endCollection();
    ws_.files.CityFolderName = "fergaobl";
    ws_.files.CityDisplayName = QString::fromUtf8("Ферганский");
    std::error_code ec;
    fs::create_directories(regionDir(), ec);
    if (ec) {
        ws_.dialogs->error(QStringLiteral("Не удалось создать папку ") + qpath(regionDir()) + QStringLiteral(": ") +
                           QString::fromStdString(ReasonText(ec)));
        return false;
    }
    return true;
}

bool DistrictTools::SaveRayFinish() {
    if (st_.DistrictName.empty()) {
        ws_.dialogs->message(QStringLiteral("Район не выбран"));
        return false;
    }
    const fs::path folder = regionDir() / StemPath(st_.DistrictFile);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const bool ok = !ec && SaveBoundary(folder / StemPath(st_.DistrictFile + ".grn"));
    if (ec) ws_.dialogs->error(QStringLiteral("Не удалось создать папку ") + qpath(folder));
    if (creation_.setItemEnabled) {
        creation_.setItemEnabled("SaveRay", false);
        creation_.setItemEnabled("AnklvSave", false);
    }
    return ok;
}

bool DistrictTools::SaveBoundary(const fs::path& path) {
    const TObj* composed = creation_.FormedObj();
    if (!composed) {
        ws_.dialogs->message(QStringLiteral("Объект не создан"));
        return false;
    }
    TObjList one;
    auto b = std::make_unique<TRayObj>();
    b->Points = composed->Points;
    b->Number = 0;
    b->StartNode = -1;
    b->EndNode = -1;
    b->Kind = KindArea;
    b->Code = ws_.classifier.CurrentSemantic.Code;
    b->Name = st_.DistrictName;
    b->BrushColor = st_.ChosenFillColor;
    b->BrushStyle = uint8_t(st_.ChosenBrushStyle);
    b->PenColor = 0;
    b->PenWidth = 0;
    b->PenStyle = 0;
    b->Shape = 0;
    b->ExtraInt = -1;
    const TObj& written = *one.appendAsIs(std::move(b));
    try {
        RewriteBoundaryFile(path, one);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    if (!ws_.view.image.isNull()) {
        QPainter p(&ws_.view.image);
        DrawBoundary(p, written, ws_.view.view(), st_.ChosenFillColor, st_.ChosenBrushStyle);
        ws_.surface->imageChanged();
    }
    return true;
}

std::optional<fs::path> DistrictTools::chosenDistrictFile(const char* ext, const QString& noneChosen) {
    if (st_.DistrictName.empty()) {
        ws_.dialogs->message(noneChosen);
        return std::nullopt;
    }
    const fs::path path = districtPath(ext);
    if (!fileExistsCI(path)) {
        ws_.dialogs->message(missing(path));
        return std::nullopt;
    }
    return path;
}

bool DistrictTools::Recolour() {
    const auto chosen = chosenDistrictFile(".grn", QStringLiteral("Район не выбран"));
    if (!chosen) return false;
    const fs::path& path = *chosen;
    BusyScope busy(ws_.surface);
    st_.DistrictBounds.clear();
    st_.BoundsLoaded = true;
    try {
        ReadBoundaryFile(path, st_.DistrictBounds);
        for (const auto& b : st_.DistrictBounds) {
            b->Kind = KindArea;
            b->Name = st_.DistrictName;
            b->BrushColor = st_.ChosenFillColor;
            b->BrushStyle = uint8_t(st_.ChosenBrushStyle);
        }
        RewriteBoundaryFile(resolvePathCase(path), st_.DistrictBounds);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    return true;
}

bool DistrictTools::ShowOutline() {
    const auto chosen = chosenDistrictFile(".gtm", QStringLiteral("Туман не выбран"));
    if (!chosen) return false;
    const fs::path& path = *chosen;
    TObjList outlines;
    try {
        ReadBoundaryFile(path, outlines, true);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
    }
    if (ws_.view.image.isNull()) return true;
    QPainter p(&ws_.view.image);
    for (const auto& b : outlines) {
        p.setPen(QPen(QColor(255, 0, 0), std::clamp(b->PenWidth, 1, 255)));
        const std::vector<QPoint> pts = ScreenPolygon(*b, ws_.view.view());
        if (pts.size() > 1) p.drawPolyline(pts.data(), int(pts.size()));
    }
    ws_.surface->imageChanged();
    return true;
}

bool DistrictTools::BuildFrontier(const std::vector<ListEntry>& districts) {
    st_.DistrictBounds.clear();
    st_.BoundsLoaded = true;
    for (const ListEntry& e : districts) {
        st_.DistrictFile = e.file;
        st_.DistrictName = e.name;
        if (!e.file.empty() && SafeStem(e.file) && fileExistsCI(districtPath(".grn")))
            LoadAndDrawBoundaries(districtPath(".grn"));
    }
    BusyScope busy(ws_.surface);
    try {
        WriteBoundaries(regionDir() / "frontier.tum", st_.DistrictBounds);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    return true;
}

bool DistrictTools::MergeSettlementFiles(const std::vector<ListEntry>& districts) {
    std::vector<std::string> stems;
    for (const ListEntry& e : districts) stems.push_back(e.file);
    if (!stems.empty()) st_.DistrictFile = stems.back();
    try {
        MergeSettlements(ws_.files.StartDir, ws_.files.CityFolderName, stems, st_.Settlements);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    return true;
}

bool DistrictTools::CreateDistrictMap() {
    if (st_.DistrictName.empty() || st_.DistrictFile.empty()) {
        ws_.dialogs->message(QStringLiteral("Не выбран туман"));
        return false;
    }
    if (saveChangesFirst && !saveChangesFirst()) return false;
    MapView& view = ws_.view.view();
    view.SymbolFactor = 1;
    const fs::path B = districtPath(".gtm");
    const fs::path M = regionDir() / StemPath(ws_.files.CityFolderName + ".bin");
    const size_t before = st_.DistrictBounds.size();
    if (!LoadAndDrawBoundaries(B) || st_.DistrictBounds.size() == before) return false;
    TObj* boundary = st_.DistrictBounds.last();
    OrientationRecord orient = ws_.map.Orientation;
    BusyScope busy(ws_.surface);
    try {
        orient = ReadOrientation(resolvePathCase(withExtension(M, ".or")));
    } catch (const std::exception&) {
        // The open map's record stands in for a missing one.
    }
    ws_.map.clearObjects();
    ws_.map.events.notify(MapEvent::Replaced);
    try {
        QPainter p(&ws_.view.image);
        LoadObjects(
            M, ws_.map.ObjList, [this](int pc) { progress(pc); },
            [&](TObj& o) { DrawObject(p, o, view.SymbolFactor, ws_.view.ctx); });
    } catch (const std::exception& e) {
        if (mapReplaced) mapReplaced();
        ws_.dialogs->error(errorText(e));
        return false;
    }
    if (mapReplaced) mapReplaced();
    names_.MapNames.clear();
    const fs::path nam = withExtension(M, ".nam");
    if (fileExistsCI(nam)) {
        try {
            LoadNames(resolvePathCase(nam), names_.MapNames);
        } catch (const std::exception& e) {
            ws_.dialogs->error(errorText(e));
        }
    }
    names_.AllNames = names_.MapNames;
    // The cut runs against the district's outline just read.
    DistrictCut cut;
    {
        QPainter p(&ws_.view.image);
        cut = CutRegionToBoundary(
            ws_.map.ObjList, *boundary, view, names_.AllNames, [this](int pc) { progress(pc); },
            [&](TObj& o) { DrawObject(p, o, view.SymbolFactor, ws_.view.ctx); });
    }
    std::vector<TObj*>& collection = creation_.collection();
    collection = cut.objects;
    names_.MapNames = cut.labels;
    ws_.surface->imageChanged();
    try {
        SaveCutMapFiles(districtPath(".bin"), collection, orient, names_.MapNames);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    // The list now holds a cut copy of the region map: the district's own
    // map opens in its place, so that no later save can write the cut over
    // the region map.
    collection.clear();
    ws_.map.MapModified = false;
    if (openDistrictMap) openDistrictMap(districtPath(".or"));
    return true;
}

// ---- the lasso ----------------------------------------------------------------------

void DistrictTools::LassoGrnClick() {
    ws_.modes.LassoArmed = true;
    ws_.modes.LassoDrawing = false;
}

Flow DistrictTools::lassoStart(const MouseClick&) {
    InteractionState& m = ws_.modes;
    lassoPen_ = m.AnchorPoint;
    m.InputPoints.clear();
    m.LassoDrawing = true;
    m.LassoArmed = false;
    return Flow::Done;
}

bool DistrictTools::lassoBand(QPoint pos) {
    if (!ws_.modes.LassoDrawing || ws_.view.image.isNull()) return false;
    xorLine(ws_.view.image, lassoPen_, pos, kLassoPen);
    lassoPen_ = pos;
    ws_.modes.InputPoints.push_back(pos);
    return true;
}

void DistrictTools::lassoReleased() {
    InteractionState& m = ws_.modes;
    m.LassoDrawing = false;
    const std::vector<QPoint> lasso = m.InputPoints;
    // A click or a stroke without an area (points on one line, or all
    // within a pixel) cuts nothing: it would leave no object on the map.
    if (!LassoHasArea(lasso) || ws_.view.image.isNull()) {
        ws_.surface->setPanelText(4, QStringLiteral("Граница не нарисована."));
        return;
    }
    BusyScope busy(ws_.surface);
    xorLine(ws_.view.image, lassoPen_, lasso.front(), kLassoPen);
    // The cut rebuilds the list in place: what the tools keep goes first.
    ws_.map.events.notify(MapEvent::Replaced);
    std::vector<TObj*>& collection = creation_.collection();
    collection.clear();
    {
        QPainter p(&ws_.view.image);
        p.setPen(QPen(QColor(0, 0, 255), 1));
        CutMapToLasso(
            ws_.map.ObjList, lasso, ws_.view.view(), collection, [this](int pc) { progress(pc); },
            [&p](const std::vector<QPoint>& pts) {
                if (pts.size() > 1) p.drawPolyline(pts.data(), int(pts.size()));
            });
    }
    if (!names_.AllNames.empty()) {
        names_.MapNames = LabelsInside(names_.AllNames, lasso, ws_.view.view());
        names_.AllNames = names_.MapNames;
    }
    // The cut is not a change of the map it came from: it is written under
    // a name of its own ("Сохранить "), never over that map.
    ws_.map.CurObj = nullptr;
    ws_.map.EditPoints.clear();
    if (mapReplaced) mapReplaced();
    ws_.surface->imageChanged();
}

bool LassoHasArea(const std::vector<QPoint>& lasso) {
    if (lasso.size() < 3) return false;
    int64_t twiceArea = 0;
    int minX = lasso[0].x(), maxX = minX, minY = lasso[0].y(), maxY = minY;
    for (size_t i = 0; i < lasso.size(); ++i) {
        const QPoint a = lasso[i], b = lasso[(i + 1) % lasso.size()];
        twiceArea += int64_t(a.x()) * b.y() - int64_t(b.x()) * a.y();
        minX = std::min(minX, a.x());
        maxX = std::max(maxX, a.x());
        minY = std::min(minY, a.y());
        maxY = std::max(maxY, a.y());
    }
    return twiceArea != 0 && (maxX - minX > 1 || maxY - minY > 1);
}

bool DistrictTools::SaveLassoClick() {
    const QString dir = ws_.files.MapFileName.empty() ? qpath(ws_.files.StartDir) : qpath(ws_.files.MapFileName.parent_path());
    const auto chosen = ws_.dialogs->saveFileName(QStringLiteral("Сохранить "), dir, saveFilters);
    if (!chosen) return false;
    const fs::path bin = withExtension(fs::path(chosen->toStdString()), ".bin");
    ws_.files.MapFileName = bin;
    return SaveCutMap(bin);
}

bool DistrictTools::SaveCutMap(const fs::path& binPath) {
    std::vector<TObj*>& collection = creation_.collection();
    // Objects deleted since the cut are no longer there.
    std::unordered_set<const TObj*> present;
    for (const auto& o : ws_.map.ObjList) present.insert(o.get());
    std::erase_if(collection, [&](TObj* o) { return !present.count(o); });
    if (collection.empty()) return false;
    OrientationRecord orient = ws_.map.Orientation;
    const MapView& v = ws_.view.view();
    orient.XMax = v.ViewXMax;
    orient.XMin = v.ViewXMin;
    orient.YMax = v.ViewYMax;
    orient.YMin = v.ViewYMin;
    orient.CoordKind = ws_.files.OpenedCoordKind;
    orient.AxialMeridian = ws_.files.OpenedAxialMeridian;
    {
        BusyScope busy(ws_.surface);
        try {
            SaveCutMapFiles(binPath, collection, orient, names_.MapNames);
        } catch (const std::exception& e) {
            ws_.dialogs->error(errorText(e));
            return false;
        }
    }
    // The open map becomes the cut map just written.
    ws_.map.CurObj = nullptr;
    ws_.map.EditPoints.clear();
    const std::vector<TObj*> kept = collection;
    ws_.map.events.notify(MapEvent::Replaced);
    ws_.map.ObjList.keepOnly(kept);
    collection.clear();
    for (const auto& o : ws_.map.ObjList) collection.push_back(o.get());
    if (mapReplaced) mapReplaced();
    ws_.map.Orientation = orient;
    ws_.map.MapModified = false;
    ws_.files.NamesFileName = withExtension(binPath, ".nam");
    ws_.files.NamesModified = false;
    ws_.surface->setCaption(qpath(binPath));
    return true;
}

}  // namespace dm
