#include "Translation.h"
#include "StopsWindow.h"

#include "mapdata/Cp1251.h"

#include <QDialogButtonBox>
#include <QCloseEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QCollator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

namespace {
std::string cut(const QString& s, size_t max) {
    std::string t = toCp1251(s);
    if (t.size() > max) t.resize(max);
    return t;
}
}  // namespace

StopsWindow::StopsWindow(Workspace& ws, UndoHistory& history, QWidget* parent, bool allTools)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ws_(ws), history_(history) {
    setObjectName(QStringLiteral("OstnvFrm"));
    setWindowTitle(QStringLiteral("OstnvFrm"));
    for (int i = 0; i < 9; ++i) {
        edits_[i] = new QLineEdit;
        edits_[i]->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
    }
    auto* lay = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* creation = new QGroupBox(QStringLiteral("Создание"));
    auto* cl = new QGridLayout(creation);
    cl->addWidget(new QLabel(QStringLiteral("Название")), 0, 0);
    cl->addWidget(edits_[0], 0, 1);
    auto* routes = new QGroupBox(QStringLiteral("Номера маршрутов"));
    auto* rl = new QGridLayout(routes);
    rl->addWidget(new QLabel(QStringLiteral("Автобус")), 0, 0);
    rl->addWidget(edits_[1], 0, 1);
    rl->addWidget(new QLabel(QStringLiteral("Трамвай")), 1, 0);
    rl->addWidget(edits_[2], 1, 1);
    rl->addWidget(new QLabel(QStringLiteral("Троллейбус")), 2, 0);
    rl->addWidget(edits_[3], 2, 1);
    cl->addWidget(routes, 1, 0, 1, 2);
    cl->addWidget(new QLabel(QStringLiteral("Ближайшая ст.метро")), 2, 0);
    cl->addWidget(edits_[4], 2, 1);
    auto* buttons = new QHBoxLayout;
    auto push = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    QPushButton* crea = push("CreaOstButton", QStringLiteral("Создать"));
    QPushButton* remember = push("Button2", QStringLiteral("Запомнить"));
    remember->setEnabled(false);
    QPushButton* saveB = push("SaveButton", QStringLiteral("Сохранить"));
    buttons->addWidget(crea);
    buttons->addWidget(remember);
    buttons->addWidget(saveB);
    cl->addLayout(buttons, 3, 0, 1, 2);
    QPushButton* metroAdd = push("Button1", QStringLiteral("ЗапМетро"));
    QPushButton* metroSave = push("Button3", QStringLiteral("SaveMetro"));
    metroAdd->setVisible(allTools);
    metroSave->setVisible(allTools);
    left->addWidget(creation);
    auto* found = new QGroupBox;
    auto* fl = new QGridLayout(found);
    const char* labels[] = {"Автобус", "Трамвай", "Троллейбус", "Ближайшая ст.метро"};
    for (int i = 0; i < 4; ++i) {
        fl->addWidget(new QLabel(QString::fromUtf8(labels[i])), i, 0);
        fl->addWidget(edits_[5 + i], i, 1);
    }
    left->addWidget(found);
    auto* tools = new QHBoxLayout;
    auto tool = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        return b;
    };
    QToolButton* showB = tool("ShowButton", QStringLiteral("Пк"), QStringLiteral("Показать остановки"));
    QToolButton* blick = tool("BlickButton", QStringLiteral("✱"), QStringLiteral("Мигание"));
    blick->setCheckable(true);
    QToolButton* korr = tool("KorrButton", QStringLiteral("✎"), QStringLiteral("Корректировать остановки"));
    QToolButton* del = tool("DelButton", QStringLiteral("−"), QStringLiteral("Удалить остановку"));
    QToolButton* metro = tool("SpeedButton1", QStringLiteral("M"), QStringLiteral("Показать станции метро"));
    QPushButton* close = push("BitBtn1", StandardButtonText(QDialogButtonBox::Close));
    for (QWidget* w : std::initializer_list<QWidget*>{showB, blick, korr, del, metro}) tools->addWidget(w);
    tools->addStretch();
    tools->addWidget(close);
    left->addLayout(tools);
    left->addWidget(metroAdd);
    left->addWidget(metroSave);
    lay->addLayout(left, 1);
    ListBox1 = new QListWidget;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::MultiSelection);
    lay->addWidget(ListBox1, 1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { tick(); });
    connect(crea, &QPushButton::clicked, this, [this] { create(); });
    connect(remember, &QPushButton::clicked, this, [this] { this->remember(); });
    connect(saveB, &QPushButton::clicked, this, [this] { save(); });
    // The selection, by a click or by the keyboard, shows the stop's data.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { listClicked(); });
    connect(showB, &QToolButton::clicked, this, [this] { showStops(); });
    connect(blick, &QToolButton::toggled, this, [this](bool on) { blink_ = on; });
    connect(korr, &QToolButton::clicked, this, [this] { correct(); });
    connect(del, &QToolButton::clicked, this, [this] { remove(); });
    connect(metro, &QToolButton::clicked, this, [this] { showMetro(); });
    connect(close, &QPushButton::clicked, this, [this] { this->close(); });
    connect(metroAdd, &QPushButton::clicked, this, [this] { addMetro(); });
    connect(metroSave, &QPushButton::clicked, this, [this] { saveMetro(); });
    resize(560, 380);
}

QLineEdit* StopsWindow::edit(int i) const { return i >= 1 && i <= 9 ? edits_[i - 1] : nullptr; }
QPushButton* StopsWindow::pushButton(const char* name) const { return findChild<QPushButton*>(QString::fromLatin1(name)); }
QToolButton* StopsWindow::toolButton(const char* name) const { return findChild<QToolButton*>(QString::fromLatin1(name)); }

fs::path StopsWindow::file(const char* name) const {
    return resolvePathCase(ws_.files.StartDir / ws_.files.CityFolderName / name);
}

void StopsWindow::OstnvMenuClick() {
    std::error_code ec;
    const fs::path metro = file("metro.dat");
    if (fs::is_regular_file(metro, ec)) {
        metroPartial_.clear();
        try {
            LoadMetro(metro, MetroStations);
        } catch (const std::exception& e) {
            ws_.dialogs->error(QString::fromUtf8(e.what()));
            metroPartial_.set(metro, MetroStations.size());
        }
    }
    show();
    raise();
}

void StopsWindow::showEvent(QShowEvent* e) {
    if (!open_ && !e->spontaneous()) {
        open_ = true;
        // Changes made while the window was closed (an undo, a redo) are
        // not read over without a question; Cancel keeps the list.
        bool read = true;
        if (StopsModified && !dropOnShow_) {
            const auto a = ws_.dialogs->question(QStringLiteral("Сохранить изменения?"), true);
            if (a == DialogPort::Answer::Yes) save();
            // A save that failed keeps them too.
            read = a == DialogPort::Answer::No || (a == DialogPort::Answer::Yes && !StopsModified);
        }
        dropOnShow_ = false;
        if (read) loadStops();
        for (int i = 6; i <= 9; ++i) edit(i)->clear();
        blinkOff();
    }
    Timer1->start();
    QWidget::showEvent(e);
}

void StopsWindow::hideEvent(QHideEvent* e) {
    // Minimising hides the window spontaneously; it stays open.
    if (!e->spontaneous()) open_ = false;
    QWidget::hideEvent(e);
}

void StopsWindow::loadStops() {
    std::error_code ec;
    const fs::path path = file("ostanov.dat");
    if (!fs::is_regular_file(path, ec)) return;  // the lists stay as they are
    std::vector<StopRef> loaded;
    stopsPartial_.clear();
    try {
        LoadStops(path, loaded);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        // The stops read before the damage stay; they are not the file.
        stopsPartial_.set(path, loaded.size());
    }
    stopsFile_ = path;
    Stops = std::move(loaded);
    history_.forget(this);  // the steps of the stops read before
    CurrentStop.reset();
    StopsModified = stopsPartial_.any();
    fillList();
    if (stopsLoaded) stopsLoaded(path);
}

void StopsWindow::fillList() {
    // A sorted list: alphabetical, letter case ignored.
    QStringList lines;
    for (const auto& s : Stops) lines << fromCp1251(StopListLine(*s));
    QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(lines.begin(), lines.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    const QSignalBlocker quiet(ListBox1);
    ListBox1->clear();
    ListBox1->addItems(lines);
}

StopRef StopsWindow::stopOfLine(const QString& line) const {
    const int32_t n = StopLineNumber(toCp1251(line));
    for (const auto& s : Stops)
        if (s->Number == n) return s;
    return nullptr;
}

QStringList StopsWindow::selectedLines() const {
    QStringList out;
    for (int i = 0; i < ListBox1->count(); ++i)
        if (ListBox1->item(i)->isSelected()) out << ListBox1->item(i)->text();
    return out;
}

QPoint StopsWindow::screenPoint(double x, double y) const {
    const TGn g = ws_.view.view().toPixel({x, y});
    return QPoint(g.PX, g.PY);
}

void StopsWindow::blinkOff() {
    blink_ = false;
    if (QToolButton* b = toolButton("BlickButton")) b->setChecked(false);
}

void StopsWindow::create() {
    if (edit(1)->text().isEmpty()) {
        ws_.dialogs->message(QStringLiteral("Введите название остановки."));
        return;
    }
    ws_.modes.CreateMode = false;
    ws_.view.blink.BlinkOn = false;
    ws_.modes.StopPlaceMode = true;
    blinkOff();
    pushButton("Button2")->setEnabled(true);
    pushButton("CreaOstButton")->setEnabled(false);
    // A new record: the stop of the list in hand is not touched.
    newStop_ = std::make_shared<TOstnv>();
    placed_ = false;
}

void StopsWindow::placeStop(QPoint click) {
    if (!newStop_) newStop_ = std::make_shared<TOstnv>();
    placed_ = true;
    const TXY p = ws_.view.view().toMap(click.x(), click.y());
    newStop_->X = p.X;
    newStop_->Y = p.Y;
    ws_.modes.StopPlaceMode = false;
    if (ws_.view.image.isNull()) return;
    QPainter painter(&ws_.view.image);
    painter.setPen(QPen(QColor(255, 0, 0), 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(click.x() - 3, click.y() - 3, 6, 6));
    painter.end();
    ws_.surface->imageChanged();
}

void StopsWindow::remember() {
    // The place first: a stop stored before its click would stand at the
    // map's origin.
    if (!placed_) {
        ws_.dialogs->message(QStringLiteral("Укажите место остановки на карте."));
        return;
    }
    placed_ = false;
    RegisterEdit<TOstnv> step(Stops);
    if (!newStop_) newStop_ = std::make_shared<TOstnv>();
    CurrentStop = std::move(newStop_);
    TOstnv& s = *CurrentStop;
    s.Name = cut(edit(1)->text(), kStopNameMax);
    s.BusRoutes = cut(edit(2)->text(), kStopRoutesMax);
    s.TramRoutes = cut(edit(3)->text(), kStopRoutesMax);
    s.TrolleybusRoutes = cut(edit(4)->text(), kStopRoutesMax);
    s.NearestMetro = cut(edit(5)->text(), kStopMetroMax);
    s.Number = int32_t(Stops.size());
    Stops.push_back(CurrentStop);
    fillList();
    pushButton("Button2")->setEnabled(false);
    if (!ws_.view.image.isNull()) {
        const QPoint at = screenPoint(s.X, s.Y);
        QPainter painter(&ws_.view.image);
        painter.setPen(Qt::black);
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(QPoint(at.x() + 5, at.y() + painter.fontMetrics().ascent()), fromCp1251(s.Name));
        painter.end();
        ws_.surface->imageChanged();
    }
    ws_.modes.CreateMode = false;
    ws_.modes.StopPlaceMode = false;
    ws_.view.blink.BlinkOn = false;
    StopsModified = true;
    step.commit(history_, this, QStringLiteral("Запомнить остановку"), [this] { restored(); });
    pushButton("CreaOstButton")->setEnabled(true);
}

void StopsWindow::restored() {
    StopsModified = true;
    dropOnShow_ = false;
    if (CurrentStop && std::find(Stops.begin(), Stops.end(), CurrentStop) == Stops.end()) CurrentStop.reset();
    for (int i = 6; i <= 9; ++i) edit(i)->clear();
    fillList();
}

void StopsWindow::save() {
    // The stops go back where they were read from, whatever region became
    // current since.
    const fs::path path = stopsFile_.empty() ? file("ostanov.dat") : stopsFile_;
    if (!ConfirmPartialSave(*ws_.dialogs, stopsPartial_, path)) return;
    try {
        SaveStops(path, Stops);
        stopsFile_ = path;
        StopsModified = false;
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
}

void StopsWindow::saveMetro() {
    const fs::path path = file("metro.dat");
    if (!ConfirmPartialSave(*ws_.dialogs, metroPartial_, path)) return;
    try {
        SaveMetro(path, MetroStations);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
}

void StopsWindow::addMetro() {
    TMetro m;
    m.Name = cut(edit(1)->text(), kMetroNameMax);
    MetroStations.push_back(m);
}

void StopsWindow::listClicked() {
    for (int i = 6; i <= 9; ++i) edit(i)->clear();
    for (const QString& line : selectedLines()) {
        const StopRef s = stopOfLine(line);
        if (!s) continue;
        CurrentStop = s;
        edit(6)->setText(fromCp1251(s->BusRoutes));
        edit(7)->setText(fromCp1251(s->TramRoutes));
        edit(8)->setText(fromCp1251(s->TrolleybusRoutes));
        edit(9)->setText(fromCp1251(s->NearestMetro));
    }
}

void StopsWindow::showStops() {
    if (ws_.view.image.isNull()) return;
    QPainter painter(&ws_.view.image);
    for (const QString& line : selectedLines()) {
        const StopRef s = stopOfLine(line);
        if (!s || !FinitePoint(s->X, s->Y)) continue;  // damaged: not drawn
        ws_.map.EditPoints.clear();
        CurrentStop = s;
        const QPoint at = screenPoint(s->X, s->Y);
        ws_.map.EditPoints.push_back({at.x(), at.y()});
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(255, 255, 0), 0));
        painter.drawRect(QRect(at.x() - 3, at.y() - 3, 6, 6));
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(QPoint(at.x() + 5, at.y() + painter.fontMetrics().ascent()), fromCp1251(s->Name));
    }
    painter.end();
    ws_.surface->imageChanged();
    // The stop that blinks is brought into the window.
    ws_.surface->showPicturePoints(ws_.map.EditPoints);
}

void StopsWindow::tick() {
    ws_.view.BlinkPhase = ws_.view.BlinkPhase % 4 + 1;
    if (!blink_ || ws_.view.image.isNull() || ws_.map.EditPoints.empty()) return;
    QPainter painter(&ws_.view.image);
    painter.setPen(QPen(ws_.view.BlinkPhase % 2 ? QColor(255, 0, 0) : QColor(255, 255, 0), 0));
    painter.setBrush(Qt::NoBrush);
    for (const TGn& g : ws_.map.EditPoints) painter.drawRect(QRect(g.PX - 3, g.PY - 3, 6, 6));
    painter.end();
    ws_.surface->imageChanged();
}

void StopsWindow::correct() {
    const QStringList sel = selectedLines();
    if (sel.size() >= 2) {
        ws_.dialogs->message(QStringLiteral("Укажите одну остановку."));
        return;
    }
    if (sel.isEmpty() || !CurrentStop) {
        ws_.dialogs->message(QStringLiteral("Укажите остановку."));
        return;
    }
    RegisterEdit<TOstnv> step(Stops, CurrentStop);
    CurrentStop->BusRoutes = cut(edit(6)->text(), kStopRoutesMax);
    CurrentStop->TramRoutes = cut(edit(7)->text(), kStopRoutesMax);
    CurrentStop->TrolleybusRoutes = cut(edit(8)->text(), kStopRoutesMax);
    CurrentStop->NearestMetro = cut(edit(9)->text(), kStopMetroMax);
    StopsModified = true;
    step.commit(history_, this, QStringLiteral("Корректировать остановку"), [this] { restored(); });
}

void StopsWindow::remove() {
    const QStringList sel = selectedLines();
    if (sel.size() >= 2) {
        ws_.dialogs->message(QStringLiteral("Укажите одну остановку."));
        return;
    }
    const QString line = sel.isEmpty() ? QString() : sel.first();
    const QString namePart = line.section(QLatin1Char(';'), 0, 0);
    if (line.isEmpty() || namePart.isEmpty()) {
        ws_.dialogs->message(QStringLiteral("Укажите остановку."));
        return;
    }
    const int32_t n = StopLineNumber(toCp1251(line));
    RegisterEdit<TOstnv> step(Stops);
    for (auto it = Stops.begin(); it != Stops.end(); ++it)
        if ((*it)->Number == n) {
            // The stop in hand goes with it: a later correction must not
            // write into a stop that is no longer in the list.
            if (CurrentStop == *it) CurrentStop.reset();
            Stops.erase(it);
            break;
        }
    for (int i = 0; i < ListBox1->count(); ++i)
        if (ListBox1->item(i)->isSelected()) {
            delete ListBox1->takeItem(i);
            break;
        }
    StopsModified = true;
    step.commit(history_, this, QStringLiteral("Удалить остановку"), [this] { restored(); });
}

void StopsWindow::showMetro() {
    ws_.map.EditPoints.clear();
    if (ws_.view.image.isNull()) return;
    QPainter painter(&ws_.view.image);
    for (const TMetro& m : MetroStations) {
        if (!FinitePoint(m.X, m.Y)) continue;
        const QPoint at = screenPoint(m.X, m.Y);
        ws_.map.EditPoints.push_back({at.x(), at.y()});
        painter.setPen(QPen(QColor(255, 0, 0), 0));
        painter.setBrush(QColor(255, 0, 0));
        painter.drawEllipse(QRect(at.x() - 4, at.y() - 4, 8, 8));
        painter.setBrush(Qt::NoBrush);
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(QPoint(at.x() + 5, at.y() + 5 + painter.fontMetrics().ascent()), fromCp1251(m.Name));
    }
    painter.end();
    ws_.surface->imageChanged();
}

void StopsWindow::closeEvent(QCloseEvent* e) {
    // Blinking goes off however the question is answered.
    blinkOff();
    if (StopsModified) {
        const auto a = ws_.dialogs->question(QStringLiteral("Сохранить изменения?"), true);
        if (a == DialogPort::Answer::Cancel) {
            e->ignore();
            return;
        }
        if (a == DialogPort::Answer::Yes) save();
        // No: the next opening reads the file over them without asking.
        dropOnShow_ = a == DialogPort::Answer::No;
    }
    Timer1->stop();
    e->accept();
}

}  // namespace dm
