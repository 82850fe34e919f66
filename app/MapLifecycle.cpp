#include "MapLifecycle.h"

#include "mapdata/Cp1251.h"
#include "admin/AdminLists.h"
#include "mapdata/ObjectIndex.h"
#include "StartupPreload.h"

#include <QPainter>

namespace fs = std::filesystem;

namespace dm {

namespace {
QString qpath(const fs::path& p) { return QString::fromStdString(p.string()); }
QString errorText(const std::exception& e) { return QString::fromUtf8(e.what()); }
constexpr double kMaxImagePixels = 400e6;
constexpr double kDistrictZoom = 1.2;
}  // namespace

QStringList MapLifecycle::openFilters() {
    return {QStringLiteral("MapFiles(*bin) (*bin)"), QStringLiteral("Alles File(*.*) (*)"),
            QStringLiteral("MetaFile16(*.wmf) (*.wmf)"), QStringLiteral("MetaFile32(*.emf) (*.emf)")};
}

QStringList MapLifecycle::saveFilters() {
    return {QStringLiteral("MapFiles(*bin) (*bin)"), QStringLiteral("Alles File(*.*) (*)"),
            QStringLiteral("MetaFile16(*.wmf) (*.wmf)"), QStringLiteral("MetaFile32(*.emf) (*emf)")};
}

void MapLifecycle::progress(int percent) {
    ws_.view.ProgressPercent = percent;
    ws_.surface->showProgress(percent);
}

bool MapLifecycle::OpenCityMap() {
    kept_ = false;
    if (!SaveChangesFirst()) {
        kept_ = true;
        return false;
    }
    if (leavingDatabase) leavingDatabase();
    ws_.files.CityDisplayName = QString::fromUtf8("г.Дарвент");
    ws_.files.CityFolderName = "Darvent";
    const fs::path orPath = ws_.files.StartDir / ws_.files.CityFolderName / (ws_.files.CityFolderName + ".or");
    if (!openMap(orPath, MapKind::City)) return false;
    if (opened) opened();
    return true;
}

QString MapLifecycle::dialogFolder() const {
    std::error_code ec;
    if (!ws_.files.LastDialogFolder.empty() && fs::is_directory(ws_.files.LastDialogFolder, ec))
        return qpath(ws_.files.LastDialogFolder);
    return ws_.files.MapFileName.empty() ? qpath(ws_.files.StartDir) : qpath(ws_.files.MapFileName.parent_path());
}

bool MapLifecycle::OpenFileClick() {
    const auto chosen = ws_.dialogs->openFileName(QStringLiteral("Открыть"), dialogFolder(), openFilters());
    if (!chosen) {
        ws_.surface->scrollToTopLeft();
        return false;
    }
    const fs::path path(chosen->toStdString());
    ws_.files.LastDialogFolder = path.parent_path();
    return OpenMapFile(path);
}

bool MapLifecycle::OpenMapFile(const fs::path& path) {
    kept_ = false;
    if (!SaveChangesFirst()) {
        kept_ = true;
        return false;
    }
    if (leavingDatabase) leavingDatabase();
    if (!openMap(withExtension(path, ".or"), MapKind::Chosen)) return false;
    // Keep the name as chosen (its extension varies with later use).
    ws_.files.MapFileName = path;
    if (opened) opened();
    return true;
}

bool MapLifecycle::OpenDistrictMap(const fs::path& orPath) {
    kept_ = false;
    if (!SaveChangesFirst()) {
        kept_ = true;
        return false;
    }
    if (!openMap(orPath, MapKind::District)) return false;
    if (opened) opened();
    return true;
}

bool MapLifecycle::recordIsTheCitys(const OrientationRecord& r) const {
    const std::string& city = ws_.files.CityFolderName;
    if (city.empty()) return false;
    try {
        const OrientationRecord c =
            ReadOrientation(resolvePathCase(ws_.files.StartDir / StemPath(city) / StemPath(city + ".or")));
        return c.XMax == r.XMax && c.XMin == r.XMin && c.YMax == r.YMax && c.YMin == r.YMin;
    } catch (const std::exception&) {
        return false;
    }
}

bool MapLifecycle::openMap(const fs::path& requested, MapKind kind) {
    const bool cityMap = kind == MapKind::City;
    BusyScope busy(ws_.surface);
    const fs::path orPath = resolvePathCase(requested);
    std::error_code ec;
    if (!fs::is_regular_file(orPath, ec)) {
        // The open map stays, and so does its file name: a later save must
        // not write these objects over another map.
        ws_.dialogs->error(kind == MapKind::District ? QStringLiteral("Карта не создана.")
                                                     : QStringLiteral("Нет ориентирного файла."));
        return false;
    }
    OrientationRecord orient;
    try {
        orient = ReadOrientation(orPath);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    // A district map cut from the city keeps the city's record, the extent
    // of the whole city: such a map is shown over the extent of its own
    // objects, read first (else the district lies in a corner of a picture
    // mostly empty).
    TObjList objects;
    const fs::path binPath = withExtension(orPath, ".bin");
    std::error_code ec2;
    const bool hasObjects = fs::is_regular_file(resolvePathCase(binPath), ec2);
    bool loaded = false;
    OrientationRecord extent = orient;
    if (kind == MapKind::District && hasObjects && recordIsTheCitys(orient)) {
        try {
            LoadObjects(binPath, objects, [this](int p) { progress(p); });
        } catch (const std::exception& e) {
            ws_.dialogs->error(errorText(e));
            return false;
        }
        loaded = true;
        ObjectIndex::Box own;
        for (const auto& o : objects) {
            const ObjectIndex::Box b = ObjectIndex::extentOf(*o);
            if (!b.valid()) continue;
            own = own.valid() ? ObjectIndex::Box{std::min(own.xmin, b.xmin), std::max(own.xmax, b.xmax),
                                                 std::min(own.ymin, b.ymin), std::max(own.ymax, b.ymax)}
                              : b;
        }
        if (own.valid() && own.xmax > own.xmin && own.ymax > own.ymin) {
            extent.XMin = own.xmin;
            extent.XMax = own.xmax;
            extent.YMin = own.ymin;
            extent.YMax = own.ymax;
        }
    }
    MapView view;
    view.setExtent(extent);
    view.Scale = ws_.view.view().Scale;
    if (!view.FitScaleToScreen(ws_.surface->screenWidth())) {
        ws_.dialogs->message(QStringLiteral("Карта ") + qpath(orPath) +
                             QStringLiteral(" не может быть показана: у неё нулевая ширина."));
        return false;
    }
    view.Scale *= kind == MapKind::District ? kDistrictZoom : kOpenZoom;
    view.SymbolFactor = 1;
    const QSize size = view.imageSize();
    if (size.width() < 1 || size.height() < 1 || double(size.width()) * size.height() > kMaxImagePixels) {
        ws_.dialogs->message(QStringLiteral("Карта ") + qpath(orPath) +
                             QStringLiteral(" не может быть показана: недопустимый размер изображения %1 x %2.")
                                 .arg(size.width())
                                 .arg(size.height()));
        return false;
    }
    RenderContext ctx = ws_.view.ctx;
    ctx.view = view;
    // The city map read and drawn while the program started, when it was
    // made for this file and view.
    std::unique_ptr<PreloadedMap> pre;
    if (cityMap && !loaded && preload) {
        pre = preload->take(orPath, view, ctx);
        preload = nullptr;
    }
    QImage image;
    if (pre) {
        image = std::move(pre->image);
    } else {
        image = QImage(size, QImage::Format_RGB32);
        if (image.isNull()) {
            ws_.dialogs->message(QStringLiteral("Недостаточно памяти для изображения карты ") + qpath(orPath));
            return false;
        }
        image.fill(Qt::white);
    }

    // Read the objects into a new list, drawing each as it comes; the open
    // map is replaced only when everything was read.
    if (!pre) {
        QPainter painter(&image);
        ObjectPainter drawer(painter, ctx);
        if (loaded) {
            for (const auto& o : objects) drawer.draw(*o, view.SymbolFactor);
        } else if (!hasObjects) {
            // A map without objects yet: it opens empty.
            ws_.dialogs->error(QStringLiteral("Файл ") + qpath(binPath) + QStringLiteral(" не существует"));
        } else {
            try {
                LoadObjects(
                    binPath, objects, [this](int p) { progress(p); },
                    [&](TObj& o) { drawer.draw(o, view.SymbolFactor); });
            } catch (const std::exception& e) {
                ws_.dialogs->error(errorText(e));
                return false;
            }
        }
    }

    ws_.map.clearObjects();
    if (pre) {
        ws_.map.Index.adopt(pre->index, pre->objects);
        ws_.map.KnownObjectsPrint = MapDoc::ObjectsPrint{ws_.map.ObjList.revision(), pre->objectsPrint};
    } else {
        ws_.map.ObjList.swap(objects);
    }
    // Nothing of the map that was open stays in the status bar.
    for (int panel : {2, 3, 4, 5}) ws_.surface->setPanelText(panel, QString());
    ws_.map.CurObj = ws_.map.ObjList.last();
    ws_.map.Orientation = orient;
    ws_.view.ctx.view = view;
    ws_.view.home = view;
    ws_.view.image = std::move(image);
    ws_.view.blink.BlinkOn = false;
    ws_.files.MapFileName = orPath;
    // The kind and meridian as read go to the maps cut from this one (kept
    // for every map opened, so that a cut of the city map gets the city's).
    ws_.files.OpenedAxialMeridian = orient.AxialMeridian;
    ws_.files.OpenedCoordKind = orient.CoordKind;
    if (!cityMap) {
        ws_.surface->setPanelText(5, QStringLiteral("%1").arg(size.height(), 4));
    }
    ws_.surface->imageChanged();
    MapView& v = ws_.view.view();
    v.computeScaleDenominator(size.height(), cityMap && orient.CoordKind == 2, orient.AxialMeridian);
    ws_.surface->setPanelText(0, ScaleReadout(v.ScaleDenominator, 5));
    ws_.files.NamesFileName = withExtension(orPath, ".nam");
    ws_.files.StreetsFileName = withExtension(orPath, ".rue");
    ws_.modes.ResetModes(ws_.view.blink);
    openedKind_ = kind;
    ws_.map.MapModified = false;
    ws_.map.OrientationModified = false;
    ws_.files.NamesModified = false;
    ws_.files.StreetsModified = false;
    // Every tool drops what it kept of the objects that went.
    ws_.map.events.notify(MapEvent::Opened);
    // The caption notes the map as opened: after the tools let go of the
    // last one's, so that what is noted holds for this one.
    ws_.surface->setCaption(qpath(binPath));
    if (afterOpen) afterOpen();
    if (modesChanged) modesChanged();
    ws_.surface->scrollToTopLeft();
    return true;
}

bool MapLifecycle::writeObjects(const fs::path& binPath) {
    BusyScope busy(ws_.surface);
    try {
        SaveObjects(binPath, ws_.map.ObjList, [this](int p) { progress(p); });
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    return true;
}

bool MapLifecycle::SaveFileClick() {
    if (ws_.files.MapFileName.empty()) return SaveAs1Click();
    const fs::path binPath = withExtension(ws_.files.MapFileName, ".bin");
    // An empty map is not written.
    if (!ws_.map.ObjList.empty() && !writeObjects(binPath)) return false;
    ws_.files.MapFileName = binPath;
    ws_.modes.CreateMode = false;
    ws_.modes.ClickCount = 0;
    ws_.map.MapModified = false;
    ws_.view.blink.BlinkOn = false;
    if (modesChanged) modesChanged();
    return true;
}

bool MapLifecycle::SaveAs1Click() {
    const auto chosen = ws_.dialogs->saveFileName(QStringLiteral("Сохранить как..."), dialogFolder(), saveFilters());
    if (!chosen) return false;
    ws_.files.LastDialogFolder = fs::path(chosen->toStdString()).parent_path();
    const fs::path old = ws_.files.MapFileName;
    const fs::path chosenPath = fs::path(chosen->toStdString());
    // A map needs its orientation file to open again: when there is none
    // under the new name, the record as read at opening goes there too.
    // The two files go together: the orientation file is written out first
    // and takes its name only once the objects were saved, so a failed save
    // leaves neither.
    const fs::path orPath = withExtension(chosenPath, ".or");
    std::error_code ec;
    std::unique_ptr<AtomicFile> orFile;
    if (!fs::exists(resolvePathCase(orPath), ec)) {
        try {
            orFile = std::make_unique<AtomicFile>(orPath);
            BinWriter w;
            EncodeOrientation(w, ws_.map.Orientation);
            orFile->write(w.data());
            orFile->finish();
        } catch (const std::exception& e) {
            ws_.dialogs->error(errorText(e));
            return false;
        }
    }
    ws_.files.MapFileName = chosenPath;
    if (!SaveFileClick()) {
        ws_.files.MapFileName = old;
        return false;
    }
    if (orFile) {
        try {
            orFile->commit();
        } catch (const std::exception& e) {
            ws_.dialogs->error(errorText(e));
            ws_.files.MapFileName = old;
            return false;
        }
    }
    ws_.surface->setCaption(qpath(withExtension(chosenPath, ".bin")));
    return true;
}

bool MapLifecycle::OrnSaveClick() {
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Нет карты."));
        return false;
    }
    const MapView& v = ws_.view.view();
    OrientationRecord r = ws_.map.Orientation;
    r.XMax = v.ViewXMax;
    r.XMin = v.ViewXMin;
    r.YMax = v.ViewYMax;
    r.YMin = v.ViewYMin;
    try {
        WriteOrientation(withExtension(ws_.files.MapFileName, ".or"), r);
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    ws_.map.Orientation = r;
    return true;
}

namespace {
// The questions before the map or its companions go away; Cancel on any of
// them stops with nothing written.
struct SaveAnswers {
    bool cancelled = false;
    bool map = false, names = false, streets = false;
};

SaveAnswers askToSave(const Workspace& ws) {
    using A = DialogPort::Answer;
    SaveAnswers r;
    auto ask = [&](bool modified, const QString& text, bool& yes) {
        if (r.cancelled || !modified) return;
        const A a = ws.dialogs->question(text, true);
        r.cancelled = a == A::Cancel;
        yes = a == A::Yes;
    };
    ask(ws.map.MapModified, QStringLiteral("Сохранить измениения в карте?"), r.map);
    ask(ws.files.NamesModified && !ws.files.NamesFileName.empty(),
        QStringLiteral("Сохранить изменения в названиях?"), r.names);
    ask(ws.files.StreetsModified && !ws.files.StreetsFileName.empty(),
        QStringLiteral("Сохранить изменения в улицах?"), r.streets);
    return r;
}
}  // namespace

bool MapLifecycle::saveTogether(const SaveSet& s) {
    // The map's files, its names and the street register are written out
    // first and take their names only when all of them are on disk: a
    // failure anywhere leaves every old file as it was.
    FileBatch batch;
    const fs::path binPath = withExtension(ws_.files.MapFileName, ".bin");
    if (s.map) {
        BusyScope busy(ws_.surface);
        try {
            if (s.orientation && ws_.map.OrientationModified) {
                // The record as held: the extent read at opening, the node
                // numbers as handed out since.
                const fs::path orPath = resolvePathCase(withExtension(ws_.files.MapFileName, ".or"));
                std::error_code ec;
                if (fs::exists(orPath, ec)) WriteOrientation(orPath, ws_.map.Orientation, &batch);
            }
            if (!(s.skipEmptyMap && ws_.map.ObjList.empty()))
                SaveObjects(binPath, ws_.map.ObjList, [this](int p) { progress(p); }, &batch);
        } catch (const std::exception& e) {
            ws_.dialogs->error(errorText(e));
            return false;
        }
    }
    if (s.names && saveNames && !saveNames(&batch)) return false;
    if (s.streets && saveStreets && !saveStreets(&batch)) return false;
    try {
        batch.commit();
    } catch (const std::exception& e) {
        ws_.dialogs->error(errorText(e));
        return false;
    }
    if (s.map) {
        ws_.files.MapFileName = binPath;
        ws_.map.MapModified = false;
        if (s.orientation) ws_.map.OrientationModified = false;
    }
    if (s.names) ws_.files.NamesModified = false;
    if (s.streets) ws_.files.StreetsModified = false;
    return true;
}

bool MapLifecycle::FormCloseQuery() {
    const SaveAnswers a = askToSave(ws_);
    if (a.cancelled) return false;
    SaveSet s{.map = a.map, .orientation = true, .skipEmptyMap = false, .names = a.names, .streets = a.streets};
    // A map never saved gets its name first.
    if (s.map && ws_.files.MapFileName.empty()) {
        if (!SaveAs1Click()) return false;
        s.map = false;
    }
    return saveTogether(s);
}

bool MapLifecycle::SaveChangesFirst() {
    const SaveAnswers a = askToSave(ws_);
    if (a.cancelled) return false;
    SaveSet s{.map = a.map, .orientation = false, .skipEmptyMap = true, .names = a.names, .streets = a.streets};
    if (s.map && ws_.files.MapFileName.empty()) {
        if (!SaveAs1Click()) return false;
        s.map = false;
    }
    if (!saveTogether(s)) return false;
    if (s.map) {
        // As "Сохранить" leaves the modes.
        ws_.modes.CreateMode = false;
        ws_.modes.ClickCount = 0;
        ws_.view.blink.BlinkOn = false;
        if (modesChanged) modesChanged();
    }
    return true;
}

}  // namespace dm
