// A map of the shared database edited live: each step written as it is
// made, the others' steps brought in as the server tells of them, the
// connection watched and taken up again after a loss.
#include "MainWindow.h"
#include "MapImageWidget.h"
#include "StopsWindow.h"
#include "UserAreaForm.h"

#include "editing/HitTest.h"
#include "store/LiveMap.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

namespace fs = std::filesystem;

namespace dm {

namespace {

void loadStopRecords(BinReader& in, std::vector<StopRef>& v, std::vector<uint64_t>* e) { LoadStops(in, v, e); }
void loadNameRecords(BinReader& in, std::vector<NameRef>& v, std::vector<uint64_t>* e) { LoadNames(in, v, e); }
void loadStreetRecords(BinReader& in, std::vector<StreetRef>& v, std::vector<uint64_t>* e) { LoadStreets(in, v, e); }
void loadAreaRecords(BinReader& in, std::vector<AreaRef>& v, std::vector<uint64_t>* e) { LoadUserAreas(in, v, e); }

// The register file's name as the database keeps it (the file's own letter case).
std::string fileKey(const fs::path& p) { return resolvePathCase(p).filename().string(); }

constexpr int kFirstPauseMs = 500, kLongestPauseMs = 30000;

}  // namespace

void MainWindow::startLive(const std::string& url, PulledRows rows, const std::string& stem, const QString& key,
                           const std::string& database) {
    const auto city = rows.mapIds.find(ws_.files.CityFolderName);
    const int cityMap = city == rows.mapIds.end() ? 0 : city->second;
    fs::path dir = options_.journalDir;
    if (dir.empty())
        dir = options_.settingsFile.empty() ? fs::path(QDir::tempPath().toStdString()) / "darvent-journal"
                                            : options_.settingsFile.parent_path() / "journal";
    std::error_code ec;
    fs::create_directories(dir, ec);
    PgConnection probe(url);
    const std::string user = probe.user();
    LiveMap::Target t;
    t.url = url;
    t.stem = stem;
    t.cityFolder = ws_.files.StartDir / ws_.files.CityFolderName;
    // One journal per database, map and operator.
    t.journal = dir / (key.toStdString() + "-" + stem + "-" + user + ".journal");
    live_ = std::make_unique<LiveMap>(t, std::move(rows), ws_.map, history_);
    LiveMap& live = *live_;
    live.askOverwrite = [this](const ConflictQuestion& q) { return askOverwrite(q); };
    live.changedAreas = [this](const TouchedAreas& a) {
        redrawTouched(a);
        Image->update();
    };
    live.refused = [this](const QString& why) {
        ws_.dialogs->message(why);
        RedrawMapView(ws_);
    };
    live.statusChanged = [this] { watchLive(); };
    live.recordsArrived = [this](const std::string& file) {
        if (file == fileKey(ws_.files.StreetsFileName)) streetTools_.restored();
        else if (file == "ostanov.dat") Ostnv->restored();
        else if (file == "places.dat") RovdForm->restored();
        else if (file == fileKey(ws_.files.NamesFileName)) names_.AllNames = names_.MapNames;
        RedrawMapView(ws_);
        Image->update();
    };
    // The registers in memory, as they are read.
    const int mapId = live.mapId();
    auto bindList = [this](auto& list, auto encode, auto load, const std::string& file, int map, const void* tag) {
        using T = typename std::decay_t<decltype(list)>::value_type::element_type;
        if (!live_) return;
        live_->unbindRecords(tag);
        auto r = std::make_unique<LiveRecordList<T>>(list, encode, load);
        live_->bindRecords(file, map, tag, r.get());
        liveRecords_[tag] = std::move(r);
    };
    nameTools_.labelsLoaded = [this, bindList, mapId] {
        bindList(names_.MapNames, EncodeName, loadNameRecords, fileKey(ws_.files.NamesFileName), mapId, &names_);
    };
    nameTools_.labelsChanged = [this](const QString& what) {
        if (live_) live_->recordsChanged(&names_, what);
    };
    streetTools_.streetsLoaded = [this, bindList, cityMap] {
        bindList(streets_.Streets, EncodeStreet, loadStreetRecords, fileKey(ws_.files.StreetsFileName), cityMap,
                 &streets_);
    };
    Ostnv->stopsLoaded = [this, bindList, cityMap](const fs::path& p) {
        if (p.parent_path() == ws_.files.StartDir / ws_.files.CityFolderName && p.filename() == "ostanov.dat")
            bindList(Ostnv->Stops, EncodeStop, loadStopRecords, "ostanov.dat", cityMap, Ostnv);
    };
    RovdForm->areasLoaded = [this, bindList, cityMap](const fs::path& p) {
        if (p.parent_path() == ws_.files.StartDir / ws_.files.CityFolderName && p.filename() == "places.dat")
            bindList(RovdForm->UserAreas, EncodeUserArea, loadAreaRecords, "places.dat", cityMap, RovdForm);
        else if (live_)
            live_->unbindRecords(RovdForm);
    };
    // What is already in memory: the labels of the map just opened.
    nameTools_.labelsLoaded();
    if (!streets_.Streets.empty()) streetTools_.streetsLoaded();

    // Steps of an earlier run that never reached the server.
    if (const size_t n = live.waiting()) {
        const QString when = QDateTime::fromSecsSinceEpoch(live.journal().pending().front().time)
                                 .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        if (ws_.dialogs->question(QStringLiteral("Не отправлено %1 изменений от %2. Отправить?").arg(n).arg(when)) ==
            DialogPort::Answer::Yes) {
            live.sendWaiting();
        } else {
            const fs::path kept = live.keepJournalAside();
            ws_.dialogs->message(QStringLiteral("Неотправленные изменения сохранены в файле %1")
                                     .arg(QString::fromStdString(kept.string())));
        }
    }
    live.caughtUp();

    if (!dbStatus_) {
        dbStatus_ = new QLabel(this);
        dbStatus_->setObjectName(QStringLiteral("dbStatus"));
        statusBar()->addPermanentWidget(dbStatus_);
        liveRetry_ = new QTimer(this);
        liveRetry_->setSingleShot(true);
        connect(liveRetry_, &QTimer::timeout, this, [this] {
            if (!live_) return;
            if (liveAsking_) {
                liveRetry_->start(kFirstPauseMs);
                return;
            }
            if (live_->reconnect()) liveBackoffMs_ = 0;
            watchLive();
        });
        liveCount_ = new QTimer(this);
        liveCount_->setInterval(5000);
        connect(liveCount_, &QTimer::timeout, this, [this] {
            if (!live_ || liveAsking_) return;
            liveOperators_ = live_->operators();
            showLiveStatus();
        });
    }
    dbStatus_->show();
    liveCount_->start();
    liveOperators_ = live.operators();
    liveBackoffMs_ = 0;
    watchLive();
    caption_ = QStringLiteral("Электронная карта г.Дарвента — база «%1», карта «%2», оператор «%3»")
                   .arg(QString::fromStdString(database), databaseMap_, QString::fromStdString(user));
}

void MainWindow::stopLive() {
    delete liveNotifier_;
    liveNotifier_ = nullptr;
    if (liveRetry_) liveRetry_->stop();
    if (liveCount_) liveCount_->stop();
    if (dbStatus_) dbStatus_->hide();
    nameTools_.labelsLoaded = nullptr;
    nameTools_.labelsChanged = nullptr;
    streetTools_.streetsLoaded = nullptr;
    Ostnv->stopsLoaded = nullptr;
    RovdForm->areasLoaded = nullptr;
    live_.reset();
    liveRecords_.clear();
}

void MainWindow::watchLive() {
    if (!live_) return;
    const int socket = live_->socket();
    if (liveNotifier_ && (socket < 0 || int(liveNotifier_->socket()) != socket)) {
        delete liveNotifier_;
        liveNotifier_ = nullptr;
    }
    if (socket >= 0 && !liveNotifier_) {
        liveNotifier_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(liveNotifier_, &QSocketNotifier::activated, this, [this] {
            if (live_ && !liveAsking_ && !live_->poll()) watchLive();
        });
    }
    if (socket < 0 && !liveRetry_->isActive()) {
        // Growing pauses: half a second, then twice as long each time, at most half a minute.
        liveBackoffMs_ = liveBackoffMs_ == 0 ? kFirstPauseMs : std::min(liveBackoffMs_ * 2, kLongestPauseMs);
        liveRetry_->start(liveBackoffMs_);
    }
    showLiveStatus();
}

QString MainWindow::databaseStatus() const { return dbStatus_ && live_ ? dbStatus_->text() : QString(); }

void MainWindow::showLiveStatus() {
    if (!live_ || !dbStatus_) return;
    QString text;
    if (!live_->online())
        text = QStringLiteral("Нет связи с базой: %1 изменений ждут").arg(live_->waiting());
    else
        text = QStringLiteral("База: %1 операторов").arg(liveOperators_);
    if (!live_->lastArrival().isEmpty()) text += QStringLiteral("   ") + live_->lastArrival();
    dbStatus_->setText(text);
}

bool MainWindow::askOverwrite(const ConflictQuestion& q) {
    // The object in question blinks while the question is open.
    // (The objects named are those of the open map's list.)
    TObj* shown = q.objects.empty() ? nullptr : const_cast<TObj*>(q.objects.front());
    const bool blinked = ws_.view.blink.BlinkOn;
    TObj* before = ws_.map.CurObj;
    if (shown) {
        ws_.map.CurObj = shown;
        FillEditPoints(*shown, ws_.view.view(), ws_.map.EditPoints);
        ws_.view.blink.BlinkOn = true;
    }
    // The others' steps wait until the question is answered.
    liveAsking_ = true;
    if (liveNotifier_) liveNotifier_->setEnabled(false);
    const bool yes = ws_.dialogs->question(q.text) == DialogPort::Answer::Yes;
    liveAsking_ = false;
    if (liveNotifier_) liveNotifier_->setEnabled(true);
    QTimer::singleShot(0, this, [this] {
        if (live_ && live_->online() && !live_->poll()) watchLive();
    });
    if (shown) {
        ws_.view.blink.BlinkOn = blinked;
        ws_.map.CurObj = before;
        ws_.map.EditPoints.clear();
        RedrawMapView(ws_);
    }
    return yes;
}

}  // namespace dm
