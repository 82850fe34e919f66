// "Открыть из базы…" and "Сохранить в базу…": a city of the shared
// database opened (its files pulled into a cache folder of the program,
// which stands for the start folder while the map is open; edited live by
// editors, read only by readers), and the open city pushed into the
// database as a new map.
#include "AppSettings.h"
#include "MainWindow.h"

#include "store/CityStore.h"
#include "store/LiveMap.h"
#include "store/Schema.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QProgressDialog>
#include <QStandardPaths>

namespace fs = std::filesystem;

namespace dm {

namespace {
const QString kReadOnly = QStringLiteral("Карта из базы открыта только для чтения");
const QString kSavedLive = QStringLiteral("Карта из базы: каждое изменение сразу записывается в базу");
}  // namespace

void MainWindow::wireDatabase() {
    actions_.wire("FileOpenDb", [this] { openFromDatabase(); });
    actions_.wire("FileSaveDb", [this] { saveToDatabase(); });
    history_.refused = [this](const QString& why) {
        ws_.dialogs->message(why);
        RedrawMapView(ws_);
        updateCaption();
    };
    // Opening the city or a file: the map from the database goes.
    lifecycle_.leavingDatabase = [this] {
        if (openingFromDatabase_ || databaseMap_.isEmpty()) return;
        stopLive();
        ws_.files.StartDir = homeStartDir_;
        databaseMap_.clear();
        history_.readOnly.clear();
        caption_ = QStringLiteral("Электронная карта г.Дарвента");
        actions_.setAvailable("FileSave", true);
        if (QAction* save = actions_.action("FileSave")) save->setToolTip(QString());
    };
}

std::optional<QString> MainWindow::askDatabaseUrl(const QString& caption) {
    const auto url = ws_.dialogs->inputText(caption, QStringLiteral("Строка соединения с базой (PostgreSQL):"),
                                            settings_->databaseUrl());
    if (!url || url->trimmed().isEmpty()) return std::nullopt;
    // Kept without its password.
    settings_->setDatabaseUrl(QString::fromStdString(ConnectionWithoutPassword(url->trimmed().toStdString())));
    return url->trimmed();
}

bool MainWindow::openFromDatabase() {
    const auto url = askDatabaseUrl(QStringLiteral("Открыть из базы"));
    if (!url) return false;
    try {
        PgConnection c(url->toStdString());
        const StoreSummary s = DescribeStore(c);
        if (s.maps.empty()) {
            ws_.dialogs->message(QStringLiteral("В базе нет карт."));
            return false;
        }
        QStringList items;
        for (const MapSummary& m : s.maps)
            items << QStringLiteral("%1 — объектов %2, названий %3, улиц %4, домов %5, остановок %6, областей %7")
                         .arg(QString::fromStdString(m.name))
                         .arg(m.objects)
                         .arg(m.labels)
                         .arg(m.streets)
                         .arg(m.houses)
                         .arg(m.stops)
                         .arg(m.areas);
        const auto pick = ws_.dialogs->chooseItem(QStringLiteral("Открыть из базы"), QStringLiteral("Карта:"), items, 0);
        if (!pick || *pick < 0 || *pick >= int(s.maps.size())) return false;
        const std::string chosen = s.maps[size_t(*pick)].name;
        const size_t slash = chosen.find('/');
        const std::string city = chosen.substr(0, slash), stem = slash == std::string::npos ? "" : chosen.substr(slash + 1);
        if (!lifecycle_.SaveChangesFirst()) return false;
        // The city's files in a cache folder of the database; the start
        // folder's own files (the classifier, layers, the road network) beside them.
        const QString key = QString::fromLatin1(
            QCryptographicHash::hash(QByteArray::fromStdString(c.describe() + "|" + city), QCryptographicHash::Sha1)
                .toHex()
                .left(16));
        const fs::path cache =
            fs::path(QStandardPaths::writableLocation(QStandardPaths::CacheLocation).toStdString()) / "database" /
            key.toStdString();
        const fs::path home = databaseMap_.isEmpty() ? ws_.files.StartDir : homeStartDir_;
        std::error_code ec;
        fs::remove_all(cache, ec);
        fs::create_directories(cache, ec);
        const bool editor = c.exec("select pg_has_role('darvent_editor', 'member') or "
                                   "pg_has_role('darvent_admin', 'member')")
                                .text(0, 0) == "t";
        // Whatever kept the last database map goes before its map does.
        stopLive();
        PulledRows rows;
        {
            BusyScope busy(this);
            PullCity(c, city, cache, &rows);
            for (const auto& e : fs::directory_iterator(home, ec))
                if (e.is_regular_file(ec)) fs::copy_file(e.path(), cache / e.path().filename(), fs::copy_options::overwrite_existing, ec);
        }
        homeStartDir_ = home;
        openingFromDatabase_ = true;
        ws_.files.StartDir = cache;
        const bool opened = stem.empty()
                                ? lifecycle_.OpenCityMap()
                                : lifecycle_.OpenDistrictMap(cache / "Darvent" / (stem + ".or"));
        openingFromDatabase_ = false;
        if (!opened) {
            if (databaseMap_.isEmpty()) ws_.files.StartDir = home;
            else history_.readOnly = kReadOnly;  // the last database map stays, no longer kept with the database
            return false;
        }
        databaseMap_ = QString::fromStdString(chosen);
        actions_.setAvailable("FileSave", false);
        if (editor) {
            history_.readOnly.clear();
            if (QAction* save = actions_.action("FileSave")) save->setToolTip(kSavedLive);
            try {
                startLive(url->toStdString(), std::move(rows), stem.empty() ? ws_.files.CityFolderName : stem, key,
                          c.database());
            } catch (const std::exception& e) {
                stopLive();
                history_.readOnly = kReadOnly;
                ws_.dialogs->error(QString::fromUtf8(e.what()));
            }
        }
        if (!live_) {
            history_.readOnly = kReadOnly;
            caption_ = QStringLiteral("Электронная карта г.Дарвента — база «%1», карта «%2» (только чтение)")
                           .arg(QString::fromStdString(c.database()), databaseMap_);
        }
        updateCaption();
        return true;
    } catch (const std::exception& e) {
        openingFromDatabase_ = false;
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        return false;
    }
}

bool MainWindow::saveToDatabase() {
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Нет карты."));
        return false;
    }
    // What goes into the database is the city as its files hold it.
    if (!lifecycle_.SaveChangesFirst()) return false;
    const auto url = askDatabaseUrl(QStringLiteral("Сохранить в базу"));
    if (!url) return false;
    const auto name = ws_.dialogs->inputText(QStringLiteral("Сохранить в базу"), QStringLiteral("Имя новой карты в базе:"),
                                             QString::fromStdString(ws_.files.CityFolderName));
    if (!name || name->trimmed().isEmpty()) return false;
    try {
        PgConnection c(url->toStdString());
        QProgressDialog progress(QStringLiteral("Загрузка в базу…"), QStringLiteral("Отмена"), 0, 100, this);
        progress.setWindowTitle(QStringLiteral("Сохранить в базу"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        PushOptions o;
        o.mapName = name->trimmed().toStdString();
        o.progress = [&progress](int percent) {
            progress.setValue(std::min(percent, 99));
            QApplication::processEvents();
            return !progress.wasCanceled();
        };
        const PushReport r = PushCity(c, databaseMap_.isEmpty() ? ws_.files.StartDir : homeStartDir_, o);
        progress.setValue(100);
        ws_.dialogs->message(QStringLiteral("Карта «%1» сохранена в базу: объектов %2.")
                                 .arg(QString::fromStdString(r.mapName))
                                 .arg(r.objects));
        return true;
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        return false;
    }
}

}  // namespace dm
