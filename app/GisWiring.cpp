// "Экспорт..." and "Импорт..." of the file menu (GIS files through GDAL),
// the recent maps and the settings kept between runs.
#include "AppSettings.h"
#include "MainWindow.h"

#include "interop/GisExchange.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QMenu>

namespace fs = std::filesystem;

namespace dm {

namespace {
QString qpath(const fs::path& p) { return QString::fromStdString(p.string()); }
}  // namespace

void MainWindow::wireGis() {
    actions_.wire("ExportGis", [this] { ExportGisClick(); });
    actions_.wire("ImportGis", [this] { ImportGisClick(); });
    QMenu* recent = actions_.menu("RecentMenu");
    connect(recent, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    fillRecentMenu();
    lifecycle_.opened = [this] {
        if (openingFromDatabase_) return;  // a copy in the cache, not a map of the operator's
        settings_->addRecentMap(qpath(ws_.files.MapFileName));
        settings_->setLastFolder(qpath(ws_.files.LastDialogFolder));
        fillRecentMenu();
    };
    ws_.files.LastDialogFolder = fs::path(settings_->lastFolder().toStdString());
}

void MainWindow::fillRecentMenu() {
    QMenu* menu = actions_.menu("RecentMenu");
    menu->clear();
    const QStringList maps = settings_->recentMaps();
    for (const QString& path : maps) {
        QAction* a = menu->addAction(QDir::toNativeSeparators(path));
        connect(a, &QAction::triggered, this, [this, path] { openRecentMap(path); });
    }
    if (maps.isEmpty()) menu->addAction(QStringLiteral("(нет)"))->setEnabled(false);
}

void MainWindow::openRecentMap(const QString& path) {
    const fs::path p(path.toStdString());
    std::error_code ec;
    if (!fs::exists(resolvePathCase(withExtension(p, ".or")), ec)) {
        ws_.dialogs->error(QStringLiteral("Файл ") + QDir::toNativeSeparators(path) + QStringLiteral(" не существует"));
        settings_->removeRecentMap(path);
        fillRecentMenu();
        return;
    }
    lifecycle_.OpenMapFile(p);
}

void MainWindow::ExportGisClick() {
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Карта не открыта."));
        return;
    }
    const auto chosen = ws_.dialogs->saveFileName(QStringLiteral("Экспорт"), lifecycle_.dialogFolder(),
                                                  {QStringLiteral("GeoPackage (*.gpkg)"),
                                                   QStringLiteral("GeoJSON (*.geojson)")});
    if (!chosen) return;
    const fs::path out(chosen->toStdString());
    ws_.files.LastDialogFolder = out.parent_path();
    settings_->setLastFolder(qpath(out.parent_path()));
    // The file's system: the map's own, or another one the coordinates are
    // transformed into.
    const auto system = ws_.dialogs->inputText(
        QStringLiteral("Экспорт"), QStringLiteral("Система координат файла (например EPSG:4326; пусто — система карты):"),
        QString());
    if (!system) return;
    ExportCrs crs;
    crs.definition = system->trimmed().toStdString();
    ExportData d;
    d.orientation = &ws_.map.Orientation;
    d.objects = &ws_.map.ObjList;
    d.semantics = &ws_.classifier.ActiveSemantics;
    d.labels = &names_.MapNames;
    // The street register when it was loaded.
    if (!streets_.Streets.empty()) d.streets = &streets_.Streets;
    try {
        ExportReport r;
        {
            BusyScope busy(this);
            r = ExportMap(out, d, crs);
        }
        ws_.dialogs->message(QString::fromUtf8(r.summary()));
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
}

void MainWindow::ImportGisClick() {
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Карта не открыта."));
        return;
    }
    const auto chosen = ws_.dialogs->openFileName(
        QStringLiteral("Импорт"), lifecycle_.dialogFolder(),
        {QStringLiteral("Файлы ГИС (*.gpkg *.geojson *.json *.shp *.kml *.gml *.tab *.mif *.dxf *.csv)"),
         QStringLiteral("Все файлы (*)")});
    if (!chosen) return;
    const fs::path in(chosen->toStdString());
    ws_.files.LastDialogFolder = in.parent_path();
    settings_->setLastFolder(qpath(in.parent_path()));
    // The file's own attribute names to choose the code and the name from.
    std::vector<std::string> fields;
    try {
        BusyScope busy(this);
        fields = ImportFieldNames(in);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        return;
    }
    QStringList fieldNames;
    for (const std::string& f : fields) fieldNames << QString::fromStdString(f);
    auto likely = [&fieldNames](std::initializer_list<const char*> wanted) -> int {
        for (const char* w : wanted)
            for (int i = 0; i < fieldNames.size(); ++i)
                if (fieldNames[i].compare(QString::fromUtf8(w), Qt::CaseInsensitive) == 0) return i;
        return -1;
    };
    const QString fixedCode = QStringLiteral("(один код для всех объектов)");
    const int codeGuess = likely({"code", "kod", "код"});
    const auto codeChoice =
        ws_.dialogs->chooseItem(QStringLiteral("Импорт"), QStringLiteral("Поле с кодом объекта:"),
                                fieldNames + QStringList{fixedCode}, codeGuess >= 0 ? codeGuess : 0);
    if (!codeChoice) return;
    ImportOptions opt;
    if (*codeChoice >= 0 && *codeChoice < fieldNames.size()) {
        opt.codeField = fields[size_t(*codeChoice)];
    } else {
        const auto codeAnswer = ws_.dialogs->inputText(QStringLiteral("Импорт"),
                                                       QStringLiteral("Код для всех объектов:"), QString());
        if (!codeAnswer) return;
        bool isNumber = false;
        const int fixed = codeAnswer->trimmed().toInt(&isNumber);
        if (!isNumber) {
            ws_.dialogs->message(QStringLiteral("«%1» — не целое число.").arg(codeAnswer->trimmed()));
            return;
        }
        opt.code = fixed;
    }
    const QString noNames = QStringLiteral("(без названий)");
    const int nameGuess = likely({"name", "nazv", "название", "title"});
    const auto nameChoice =
        ws_.dialogs->chooseItem(QStringLiteral("Импорт"), QStringLiteral("Поле с названием объекта:"),
                                QStringList{noNames} + fieldNames, nameGuess >= 0 ? nameGuess + 1 : 0);
    if (!nameChoice) return;
    if (*nameChoice >= 1 && *nameChoice <= fieldNames.size()) opt.nameField = fields[size_t(*nameChoice - 1)];
    ImportResult r;
    try {
        BusyScope busy(this);
        r = ImportFeatures(in, ws_.map.Orientation, opt, &ws_.classifier.ActiveSemantics);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        return;
    }
    if (!r.objects.empty()) {
        // Where the new objects lie, to bring them into the window.
        ObjectIndex::Box box;
        for (const auto& o : r.objects) {
            const ObjectIndex::Box b = ObjectIndex::extentOf(*o);
            if (!b.valid()) continue;
            box = box.valid() ? ObjectIndex::Box{std::min(box.xmin, b.xmin), std::max(box.xmax, b.xmax),
                                                 std::min(box.ymin, b.ymin), std::max(box.ymax, b.ymax)}
                              : b;
        }
        // One step of the undo history: "Отменить" takes the whole import back.
        history_.begin(QStringLiteral("Импорт"));
        for (auto& o : r.objects) history_.added(ws_.map.ObjList.append(std::move(o)));
        ws_.map.MapModified = true;
        history_.commit();
        syncButtons();
        if (box.valid()) showMapBox(box);
    }
    ws_.dialogs->message(QString::fromUtf8(r.summary()));
}

void MainWindow::restoreSemantic() {
    const auto code = settings_->semanticCode();
    if (!code) return;
    const auto& lines = ws_.classifier.ActiveSemantics.Lines;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto s = ParseSemanticLine(lines[i]);
        if (s && s->Code == *code) {
            if (dm::KodSem(ws_.classifier.ActiveSemantics, int(i), ws_.classifier.CurrentSemantic).empty())
                ComboBox1->setCurrentIndex(int(i));
            return;
        }
    }
}

void MainWindow::showAsRemembered() {
    const QByteArray g = settings_->geometry();
    if (!g.isEmpty() && restoreGeometry(g)) {
        if (!isMaximized() && !isFullScreen()) KeepOnScreen(this);
        show();
        return;
    }
    // Without a window manager "maximised" means nothing: take the screen.
    if (const QScreen* s = QGuiApplication::primaryScreen()) setGeometry(s->availableGeometry());
    showMaximized();
}

}  // namespace dm
