#include "MainWindow.h"
#include "AppSettings.h"

#include "AboutBox.h"
#include "ClassifierEditorDialog.h"
#include "DisplayDialogs.h"
#include "DefaultFontDialog.h"
#include "RouteInfoWindow.h"
#include "StopsWindow.h"
#include "UserTableDialog.h"
#include "UserAreaForm.h"
#include "MapImageWidget.h"
#include "QtDialogPort.h"
#include "StatusPanels.h"

#include "mapdata/Cp1251.h"
#include "store/LiveMap.h"

#include <QApplication>

#include <cmath>

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

MainWindow::MainWindow(const AppOptions& options, QWidget* parent) : QMainWindow(parent), options_(options) {
    setObjectName(QStringLiteral("Form1"));
    caption_ = QStringLiteral("Электронная карта г.Дарвента");
    setWindowTitle(caption_);
    if (!options_.dialogs) {
        qtDialogs_ = std::make_unique<QtDialogPort>(this);
        qtDialogs_->afterModal = [this] { takeKeys(); };
        options_.dialogs = qtDialogs_.get();
    }
    ws_.dialogs = options_.dialogs;
    ws_.surface = this;
    settings_ = std::make_unique<AppSettings>(options_.settingsFile);
    buildWidgets();
    wireActions();
    lifecycle_.preload = options_.preload;
    FormCreate();
    lifecycle_.preload = nullptr;
    qApp->installEventFilter(this);
    // The map picture has the keys ("+", "-", the arrows) from the start.
    Image->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

void MainWindow::buildWidgets() {
    toolbar_ = addToolBar(QStringLiteral("ToolBar1"));
    toolbar_->setObjectName(QStringLiteral("ToolBar1"));
    toolbar_->setMovable(false);
    toolbar_->setIconSize(QSize(24, 24));
    actions_.build(this, toolbar_, options_.allTools);

    ComboBox1 = new QComboBox(toolbar_);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setMinimumWidth(260);
    ComboBox1->setMaxVisibleItems(30);
    ComboBox1->setPlaceholderText(QStringLiteral("Семантика не выбрана"));
    toolbar_->addSeparator();
    QAction* chooser = toolbar_->addWidget(ComboBox1);
    chooser->setObjectName(QStringLiteral("ComboBox1Action"));
    connect(ComboBox1, &QComboBox::activated, this, [this](int i) { KodSem(i); });
    connect(actions_["SemnShow"], &QAction::toggled, chooser, &QAction::setVisible);

    auto* central = new QWidget(this);
    auto* lay = new QVBoxLayout(central);
    lay->setContentsMargins(0, 0, 0, 0);
    ScrollBox1 = new MapScrollArea(central);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox1->setBackgroundRole(QPalette::Dark);
    Image = new MapImageWidget(&ws_.view.image);
    ScrollBox1->setWidget(Image);
    lay->addWidget(ScrollBox1);
    setCentralWidget(central);

    MonthCalendar1 = new QCalendarWidget(central);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    MonthCalendar1->setGridVisible(true);
    MonthCalendar1->move(8, 8);
    MonthCalendar1->resize(MonthCalendar1->sizeHint());
    MonthCalendar1->hide();

    StatusBar1 = new StatusPanels(this);
    statusBar()->addWidget(StatusBar1, 1);
    statusBar()->setSizeGripEnabled(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { timerTick(); });
}

void MainWindow::wireActions() {
    actions_.wire("FergKartaMenu", [this] { lifecycle_.OpenCityMap(); });
    actions_.wire("FileOpen", [this] { lifecycle_.OpenFileClick(); });
    actions_.wire("FileSave", [this] { lifecycle_.SaveFileClick(); });
    actions_.wire("FileSaveAs", [this] { lifecycle_.SaveAs1Click(); });
    actions_.wire("SaveOrn", [this] { lifecycle_.OrnSaveClick(); });
    actions_.wire("N6", [this] { close(); });
    actions_.wire("CalndrButton", [this] {
        MonthCalendar1->setVisible(!MonthCalendar1->isVisible());
        MonthCalendar1->raise();
    });
    actions_.wire("AboutButton", [this] {
        AboutBox box(this);
        ws_.dialogs->exec(box);
    });
    actions_.wire("KfUm", [this] { KfUmClick(); });
    actions_.wire("ShowButton", [this] { ShowButtonClick(); });
    actions_.wire("SemnShow", [] {});
    actions_.wire("ClassifMenu", [this] { ClassifMenuClick(); });
    lifecycle_.modesChanged = [this] { syncButtons(); };

    // The map image and the modes of the editor.
    MapEditor& e = editor_;
    Image->onMouseDown = [this](QMouseEvent* ev) { editor_.ImageMouseDown(ev->button(), ev->position().toPoint()); };
    Image->onMouseMove = [this](QMouseEvent* ev) { editor_.ImageMouseMove(ev->position().toPoint()); };
    Image->onMouseUp = [this](QMouseEvent* ev) { editor_.ImageMouseUp(ev->button(), ev->position().toPoint()); };
    e.buttonsChanged = [this] { syncButtons(); };
    e.objectCommands = [this](bool on) {
        for (const char* const* id = kObjectCommands; *id; ++id) actions_.setAvailable(*id, on);
    };
    actions_.wire("KfUv", [&e] { e.KfUvClick(); });
    actions_.wire("GeocordButton", [&e] { e.GeocordButtonClick(); });
    actions_.wire("MoveRastrButton", [&e] { e.MoveRastrButtonClick(); });
    actions_.wire("FindButton", [&e] { e.FindButtonClick(); });
    actions_.wire("BlickButton", [this, &e] { e.BlickButtonClick(actions_["BlickButton"]->isChecked()); });
    actions_.wire("SuitButton", [&e] { e.SuitButtonClick(); });
    actions_.wire("OtmenaRedk", [&e] { e.OtmenaRedkClick(); });
    actions_.wire("CursCrois", [&e] { e.CursCroisClick(); });
    actions_.wire("CursDefault", [&e] { e.CursDefaultClick(); });
    actions_.wire("Precision", [this, &e] { e.PrecisionClick(actions_["Precision"]->isChecked()); });
    actions_.wire("BringToFirst", [&e] { e.BringToFirstClick(); });
    actions_.wire("SendToLast", [&e] { e.SendToLastClick(); });
    actions_.wire("Bringtofront", [&e] { e.BringtofrontClick(); });
    actions_.wire("SendToBack", [&e] { e.SendToBackClick(); });
    e.DisableObjectCommands();

    // Name labels.
    NameTools& n = nameTools_;
    n.buttonsChanged = [this] { syncButtons(); };
    lifecycle_.afterOpen = [this, &n] {
        // A district's map has no names file.
        if (lifecycle_.openedKind() == MapLifecycle::MapKind::District) {
            names_.MapNames.clear();
            names_.AllNames.clear();
        } else {
            n.loadForMap();
        }
        districtsAfterOpen();
        streetTools_.afterOpen();
    };
    lifecycle_.saveNames = [&n](FileBatch* batch) { return n.saveNames(batch); };
    connect(actions_.menu("Nazvania"), &QMenu::aboutToShow, this, [&n] { n.NazvaniaMenuOpened(); });
    actions_.wire("NazVyvod", [&n] { n.NazVyvodClick(); });
    actions_.wire("MoveNazv", [&n] { n.MoveNazvClick(); });
    actions_.wire("DelNazv", [&n] { n.DelNazvClick(); });
    actions_.wire("KorrNazv", [&n] { n.KorrNazvClick(); });
    actions_.wire("CreaNazv", [&n] { n.CreaNazvClick(); });
    actions_.wire("NazErase", [&n] { n.NazEraseClick(); });
    actions_.wire("JoinNazObj", [&n] { n.JoinNazObjClick(); });
    actions_.wire("NazSave", [&n] { n.NazSaveClick(); });
    actions_.wire("NazOtmena", [&n] { n.NazOtmenaClick(); });
    actions_.wire("NazDefFont", [this] {
        DefaultFontDialog d(names_.NameFont, this);
        ws_.dialogs->exec(d);
    });
    actions_.wire("MapNamesItem", [] {});
    connect(actions_["MapNamesItem"], &QAction::toggled, this, [&n](bool on) { n.MapNamesItemClick(on); });
    actions_.wire("SpecNamesItem", [] {});
    actions_.wire("AllNamesFont", [&n] { n.AllNamesFontClick(); });
    actions_.wire("FontButton", [&n] { n.FontButtonClick(); });

    // Object edits and creation, with undo.
    ObjectEdits& ed = edits_;
    actions_.wire("DeleteButton", [&ed] { ed.DeleteButtonClick(); });
    actions_.wire("ChangeButton", [&ed] { ed.ChangeButtonClick(); });
    actions_.wire("DelPointButton", [&ed] { ed.DelPointButtonClick(); });
    actions_.wire("MovPoinButton", [&ed] { ed.MovPoinButtonClick(); });
    actions_.wire("Udline", [&ed] { ed.UdlineClick(); });
    actions_.wire("IsertFagmBitton", [&ed] { ed.IsertFagmBittonClick(); });
    actions_.wire("ChangDirection", [&ed] { ed.ChangDirectionClick(); });
    actions_.wire("ChangeSem", [&ed] { ed.ChangeSemClick(); });
    actions_.wire("zmknut", [&ed] { ed.zmknutClick(); });
    actions_.wire("RazmkMenu", [&ed] { ed.RazmkMenuClick(); });
    actions_.wire("TurnObj", [&ed] { ed.TurnObjClick(); });
    actions_.wire("DivideButton", [&ed] { ed.DivideButtonClick(); });
    actions_.wire("DivPiketsMenu", [&ed] { ed.DivPiketsMenuClick(); });
    ObjectCreation& cr = creation_;
    actions_.wire("LineButton", [&cr] { cr.LineButtonClick(); });
    actions_.wire("AreaButton", [&cr] { cr.AreaButtonClick(); });
    actions_.wire("PointButton", [&cr] { cr.PointButtonClick(); });
    actions_.wire("OtmenaCrea", [&cr] { cr.OtmenaCreaClick(); });
    actions_.wire("SostObjMenu", [&cr] { cr.SostObjMenuClick(); });
    actions_.wire("PiketButton", [&cr] { cr.PiketButtonClick(); });
    actions_.wire("ToolsCre", [this] {
        QAction* m = actions_.menu("FormObjMenu")->menuAction();
        m->setVisible(!m->isVisible());
    });
    actions_.wire("OtborObj", [&cr] { cr.OtborObjClick(); });
    actions_.wire("Add1", [&cr] { cr.Add1Click(); });
    actions_.wire("tip2", [&cr] { cr.tip2Click(); });
    actions_.wire("tip3", [&cr] { cr.tip3Click(); });
    actions_.wire("Formir", [&cr] { cr.FormirClick(); });
    actions_.wire("SaveNewObj1", [&cr] { cr.SaveNewObj1Click(); });
    actions_.wire("DeleteOldObj", [&cr] { cr.DeleteOldObjClick(); });
    actions_.wire("CancelNewObj", [&cr] { cr.CancelNewObjClick(); });
    actions_.setAvailable("SaveNewObj1", false);
    actions_.setAvailable("DeleteOldObj", false);
    cr.setItemEnabled = [this](const char* id, bool on) { actions_.setAvailable(id, on); };
    cr.setItemVisible = [this](const char* id, bool on) {
        if (QAction* a = actions_[id]) a->setVisible(on || options_.allTools);
    };
    cr.setItemChecked = [this](const char* id, bool on) {
        if (QAction* a = actions_[id]) a->setChecked(on);
    };
    cr.clearChooser = [this] { ComboBox1->setCurrentIndex(-1); };
    cr.elevationLabel = [&n](TObj& obj, QPoint click, const QString& text) { return n.addMarkLabel(obj, click, text); };
    editor_.setHistory(&history_);
    history_.changedAreas = [this](const TouchedAreas& t) { redrawTouched(t); };
    // Steps of the tool windows too (stops, user areas): Ctrl+Z follows at once.
    history_.stepsChanged = [this] {
        actions_.setAvailable("UndoAction", history_.canUndo());
        actions_.setAvailable("RedoAction", history_.canRedo());
    };

    // Routes.
    Info = new RouteInfoWindow(this);
    Info->setAnchor(ScrollBox1);
    routes_.showInfo = [this](const QStringList& lines) {
        // A route of two clicks is not the one of the addresses shown.
        if (!routingAddresses_) Info->clearAddresses();
        Info->showLines(lines);
    };
    routes_.buttonsChanged = [this] { syncButtons(); };
    actions_.wire("ItenererButton", [this] { routes_.ItenererButtonClick(); });
    actions_.wire("UndoAction", [this] { UndoClick(); });
    actions_.wire("RedoAction", [this] { RedoClick(); });
    wireStreets();
    wireDisplay();
    wireDistricts();
    wireNavigation();
    wireAddresses();
    wireGis();
    wireDatabase();
    // Stops and metro stations.
    Ostnv = new StopsWindow(ws_, history_, this, options_.allTools);
    Ostnv->setProperty("dmToolWindow", true);
    actions_.wire("OstnvMenu", [this] { Ostnv->OstnvMenuClick(); });
    // User areas: the form is made at start (it sets the name font).
    RovdForm = new UserAreaForm(ws_, names_, history_, this, options_.allTools);
    RovdForm->setProperty("dmToolWindow", true);
    actions_.wire("RayOtdelMenu", [this] {
        RovdForm->show();
        RovdForm->raise();
    });
    editor_.dispatch().attach(6, [this](const MouseClick& c) {
        RovdForm->click(c.pos);
        return Flow::Done;
    });
    editor_.dispatch().attach(7, [this](const MouseClick& c) {
        RovdForm->click(c.pos);
        return Flow::Done;
    });
    editor_.extraBands.push_back([this](QPoint pos) { return RovdForm->band(pos); });
    mapSubscriptions_.push_back(
        std::make_unique<MapSubscription>(ws_.map.events, [this](const MapEvent& e) { RovdForm->mapChanged(e); }));
    // The user table: made for each use, gone when closed.
    actions_.wire("TableButton", [this] {
        UserTableDialog d(*ws_.dialogs, this);
        ws_.dialogs->exec(d);
    });
    editor_.dispatch().attach(5, [this](const MouseClick& c) {
        Ostnv->placeStop(c.pos);
        return Flow::Done;
    });
    // One mode at a time: a mode started by another button ends "Что здесь?".
    actions_.beforeEach = [this] { modesBefore_ = ws_.modes.modeBits(); };
    actions_.afterEach = [this] {
        const uint64_t started = ws_.modes.modeBits() & ~modesBefore_ & ~InteractionState::kWhatIsHereBit;
        if (started && ws_.modes.WhatIsHereMode) ws_.modes.WhatIsHereMode = false;
        syncButtons();
    };
}

void MainWindow::FormCreate() {
    ws_.view.ctx.SeriesSelector = 10;
    MonthCalendar1->setSelectedDate(QDate::currentDate());
    ws_.view.CanvasFont = QFont(QStringLiteral("Arial"), 8);
    ws_.view.CanvasFont.setItalic(true);
    ws_.files.StartDir = options_.startDir.empty() ? fs::current_path() : options_.startDir;
    ws_.classifier.CurrentSemantic.Code = -1;
    loadClassifier(ws_.files.StartDir / "sem100n.smn", ws_.files.StartDir / "sem100n.ris");
    restoreSemantic();
    ws_.files.MapFileName.clear();
    ws_.files.NamesFileName.clear();
    ws_.files.StreetsModified = ws_.files.NamesModified = ws_.map.OrientationModified = false;
    ws_.modes.ResetModes(ws_.view.blink);
    ws_.files.CityFolderName = "Darvent";
    Timer1->start();
    if (options_.openCityMap) lifecycle_.OpenCityMap();
    syncButtons();
}

void MainWindow::loadClassifier(const fs::path& smn, const fs::path& ris) {
    try {
        ws_.classifier.Znaks.LoadZnakIndex(ris);
        ws_.view.ctx.znaks = &ws_.classifier.Znaks;
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
    try {
        ws_.classifier.ActiveSemantics = LoadSemantics(smn);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
    ComboBox1->clear();
    for (const auto& name : ws_.classifier.ActiveSemantics.Names) ComboBox1->addItem(fromCp1251(name));
    ComboBox1->setCurrentIndex(-1);
}

void MainWindow::ClassifMenuClick() {
    ws_.classifier.CurrentSemantic.Code = -1;
    ClassifierEditorDialog d(*ws_.dialogs, this);
    // "Учесть измениения немедленно?" Yes: the saved classifier becomes the
    // active one.
    d.apply = [this](const fs::path& smn) { loadClassifier(smn, withExtension(smn, ".ris")); };
    ws_.dialogs->exec(d);
}

void MainWindow::KodSem(int index) {
    const std::string msg = dm::KodSem(ws_.classifier.ActiveSemantics, index, ws_.classifier.CurrentSemantic);
    if (!msg.empty())
        ws_.dialogs->message(fromCp1251(msg));
    else
        settings_->setSemanticCode(ws_.classifier.CurrentSemantic.Code);
}

void MainWindow::ShowButtonClick() { RedrawMapView(ws_); }

void MainWindow::mapRedrawn() {
    // A redraw shows the objects only; labels come back with "Вывести".
    actions_["MapNamesItem"]->setChecked(false);
    syncButtons();
}

void MainWindow::showScaleReadout(int width) {
    MapView& v = ws_.view.view();
    v.computeScaleDenominator(ws_.view.image.height(), ws_.map.Orientation.CoordKind == 2,
                              ws_.map.Orientation.AxialMeridian);
    setPanelText(0, ScaleReadout(v.ScaleDenominator, width));
}

void MainWindow::KfUmClick() {
    if (ws_.files.MapFileName.empty() || ws_.view.image.isNull()) return;
    // The map point in the middle of the window stays there.
    const QPoint middle(ScrollBox1->viewport()->width() / 2, ScrollBox1->viewport()->height() / 2);
    const TXY centre = mapPointAtViewport(middle);
    MapView& v = ws_.view.view();
    v.zoomOut();
    fillWindow(v);
    const QSize size = v.imageSize();
    if (size != ws_.view.image.size()) ws_.view.image = QImage(size, QImage::Format_RGB32);
    RedrawMapView(ws_);
    showScaleReadout(5);
    setPanelText(4, QString());
    ws_.modes.EditStep = 0;
    Image->imageChanged();
    const TGn at = v.toPixel(centre);
    ScrollBox1->horizontalScrollBar()->setValue(at.PX - middle.x());
    ScrollBox1->verticalScrollBar()->setValue(at.PY - middle.y());
}

void MainWindow::timerTick() {
    if (!ws_.view.image.isNull() && ws_.view.blink.BlinkOn && !ws_.map.EditPoints.empty()) {
        QPainter p(&ws_.view.image);
        ws_.view.blink.tick(&p, ws_.map.EditPoints, ws_.modes.CollectMode);
        Image->update();
    } else {
        ws_.view.blink.tick(nullptr, ws_.map.EditPoints);
    }
    setPanelText(1, QTime::currentTime().toString(QStringLiteral("h:mm:ss")));
    updateCaption();
}

void MainWindow::redrawTouched(const TouchedAreas& t) {
    QImage& img = ws_.view.image;
    if (img.isNull()) return;
    const MapView& v = ws_.view.view();
    const std::vector<int>* filter = ws_.view.activeLayerFilter();
    if (t.everything || !(v.Scale > 0)) {
        RedrawArea(img, ws_.map, ws_.view.ctx, img.rect(), scratch_, filter);
    } else {
        const double m = VisibilityMargin(ws_.view.ctx);
        std::vector<QRect> rects;
        for (const ObjectIndex::Box& b : t.boxes) {
            // The object's pixels and what its drawing can reach beyond them;
            // in doubles first, a far-off object must not overflow.
            const double left = (b.ymin - v.ViewYMin) * v.Scale - m, right = (b.ymax - v.ViewYMin) * v.Scale + m;
            const double top = (v.ViewXMax - b.xmax) * v.Scale - m, bottom = (v.ViewXMax - b.xmin) * v.Scale + m;
            if (right < 0 || bottom < 0 || left > img.width() || top > img.height()) continue;
            QRect r(QPoint(int(std::max(0.0, std::floor(left))), int(std::max(0.0, std::floor(top)))),
                    QPoint(int(std::min(double(img.width() - 1), std::ceil(right))),
                           int(std::min(double(img.height() - 1), std::ceil(bottom)))));
            // Overlapping parts (an object's old and new place) are drawn once.
            for (bool merged = true; merged;) {
                merged = false;
                for (auto it = rects.begin(); it != rects.end(); ++it)
                    if (it->intersects(r)) {
                        r = r.united(*it);
                        rects.erase(it);
                        merged = true;
                        break;
                    }
            }
            rects.push_back(r);
        }
        for (const QRect& r : rects) RedrawArea(img, ws_.map, ws_.view.ctx, r, scratch_, filter);
    }
    Image->update();
}

SavedState::Flags MainWindow::changeFlags() {
    return {ws_.map.MapModified, ws_.files.NamesModified, ws_.files.StreetsModified};
}

SavedState::Sources MainWindow::savedSources() {
    return {ws_.map, names_.MapNames, streets_.Streets, history_.topStep()};
}

void MainWindow::UndoClick() {
    saved_.look(changeFlags(), savedSources());
    if (!history_.undo()) return;
    saved_.backToSaved(changeFlags(), savedSources());
    editor_.DisableObjectCommands();
    RedrawMapView(ws_);
    updateCaption();
}

void MainWindow::RedoClick() {
    saved_.look(changeFlags(), savedSources());
    if (!history_.redo()) return;
    saved_.backToSaved(changeFlags(), savedSources());
    editor_.DisableObjectCommands();
    RedrawMapView(ws_);
    updateCaption();
}

void MainWindow::syncButtons() {
    updateCaption();
    actions_.setAvailable("UndoAction", history_.canUndo());
    actions_.setAvailable("RedoAction", history_.canRedo());
    const auto set = [this](const char* id, bool on) {
        if (QAction* a = actions_[id]; a && a->isChecked() != on) a->setChecked(on);
    };
    set("FindButton", ws_.modes.SelectMode);
    set("BlickButton", ws_.view.blink.BlinkOn);
    set("KfUv", ws_.modes.ZoomBoxDown);
    set("GeocordButton", ws_.modes.MeasureMode);
    set("MoveRastrButton", ws_.modes.PanMode);
    set("TumanMapButton", ws_.modes.DistrictPickMode);
    set("WhatIsHere", ws_.modes.WhatIsHereMode);
}

void MainWindow::setPanelText(int panel, const QString& text) { StatusBar1->setText(panel, text); }
QString MainWindow::panelText(int panel) const { return StatusBar1->text(panel); }
void MainWindow::showProgress(int percent) { StatusBar1->setProgress(percent); }
void MainWindow::endProgress() { StatusBar1->endProgress(); }

void MainWindow::setBusy(bool busy) {
    if (busy) {
        if (busy_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busy_ > 0 && --busy_ == 0) {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::imageChanged() { Image->imageChanged(); }

void MainWindow::scrollToTopLeft() {
    ScrollBox1->horizontalScrollBar()->setValue(0);
    ScrollBox1->verticalScrollBar()->setValue(0);
}

int MainWindow::screenWidth() const {
    if (options_.screenWidth > 0) return options_.screenWidth;
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 1024;
}

void MainWindow::setCaption(const QString& caption) {
    caption_ = caption;
    updateCaption();
}

void MainWindow::updateCaption() {
    if (!databaseMap_.isEmpty()) {
        // A map of the database opened for reading never changes (every
        // step is taken back): nothing to save or to ask about.
        ws_.map.MapModified = false;
        ws_.files.NamesModified = false;
        ws_.files.StreetsModified = false;
    }
    saved_.look(changeFlags(), savedSources());
    // Unsaved changes of the map, its labels or its streets: a trailing "*".
    const bool changed = ws_.map.MapModified || ws_.files.NamesModified || ws_.files.StreetsModified;
    const QString title = changed ? caption_ + QLatin1Char('*') : caption_;
    if (windowTitle() != title) setWindowTitle(title);
}

void MainWindow::scrollBy(int dx, int dy) {
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() + dx);
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() + dy);
}

void MainWindow::setImageCursor(Qt::CursorShape shape) { Image->setCursor(shape); }

void MainWindow::takeKeys() {
    if (!isVisible() || QApplication::activeModalWidget()) return;
    activateWindow();
    Image->setFocus(Qt::OtherFocusReason);
}

void MainWindow::showPicturePart(const QRect& part) {
    if (part.isNull()) return;
    const QRect r = part.normalized();
    const QSize view = ScrollBox1->viewport()->size();
    // The middle of the part, with room for all of it when it fits.
    const int mx = r.width() < view.width() ? r.width() / 2 + 8 : 0;
    const int my = r.height() < view.height() ? r.height() / 2 + 8 : 0;
    ScrollBox1->ensureVisible(r.center().x(), r.center().y(), std::min(mx, view.width() / 2),
                              std::min(my, view.height() / 2));
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!lifecycle_.FormCloseQuery()) {
        e->ignore();
        return;
    }
    Timer1->stop();
    ws_.map.events.notify(MapEvent::Closed);
    settings_->setGeometry(saveGeometry());
    for (const auto& t : toolWindows_)
        if (t) settings_->setToolGeometry(t->objectName(), t->saveGeometry());
    settings_->setLastFolder(QString::fromStdString(ws_.files.LastDialogFolder.string()));
    e->accept();
}

bool MainWindow::scrollKey(int key) {
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    switch (key) {
        case Qt::Key_PageUp: v->setValue(v->value() - height()); return true;
        case Qt::Key_PageDown: v->setValue(v->value() + height()); return true;
        case Qt::Key_End: h->setValue(h->value() + width()); return true;
        case Qt::Key_Home: h->setValue(h->value() - width()); return true;
        case Qt::Key_Left: h->setValue(h->value() - 8); return true;
        case Qt::Key_Up: v->setValue(v->value() - 8); return true;
        case Qt::Key_Right: h->setValue(h->value() + 8); return true;
        case Qt::Key_Down: v->setValue(v->value() + 8); return true;
        default: return false;
    }
}

void KeepOnScreen(QWidget* w) {
    const QScreen* s = QGuiApplication::screenAt(w->frameGeometry().center());
    if (!s) s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect room = s->availableGeometry();
    QRect f = w->frameGeometry();
    const QSize frame = f.size() - w->size();
    if (f.width() > room.width() || f.height() > room.height()) {
        w->resize(std::min(f.width(), room.width()) - frame.width(), std::min(f.height(), room.height()) - frame.height());
        f = w->frameGeometry();
    }
    const int x = std::clamp(f.x(), room.left(), room.right() + 1 - f.width());
    const int y = std::clamp(f.y(), room.top(), room.bottom() + 1 - f.height());
    if (x != f.x() || y != f.y()) w->move(x, y);
}

void MainWindow::placeToolWindow(QWidget* w) {
    for (const auto& t : toolWindows_)
        if (t == w) return;
    toolWindows_.emplace_back(w);
    const QByteArray g = settings_->toolGeometry(w->objectName());
    if (g.isEmpty() || !w->restoreGeometry(g)) {
        const QPoint corner = ScrollBox1->viewport()->mapToGlobal(QPoint(ScrollBox1->viewport()->width(), 0));
        w->move(corner.x() - w->frameGeometry().width() - 8, corner.y() + 8);
    }
    KeepOnScreen(w);
}

namespace {
bool isTextField(const QObject* o) {
    if (qobject_cast<const QLineEdit*>(o) || qobject_cast<const QAbstractSpinBox*>(o)) return true;
    if (const auto* t = qobject_cast<const QTextEdit*>(o)) return !t->isReadOnly();
    if (const auto* t = qobject_cast<const QPlainTextEdit*>(o)) return !t->isReadOnly();
    if (const auto* c = qobject_cast<const QComboBox*>(o)) return c->isEditable();
    return false;
}
}  // namespace

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    // A tool window about to show for the first time: its place.
    if (e->type() == QEvent::Show && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow() && w->parentWidget() == this && w->property("dmToolWindow").toBool()) placeToolWindow(w);
    }
    // A tool window of ours closed and no window is active: the main window
    // and its map take the keys (no window manager does it for us).
    if (e->type() == QEvent::Hide && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow() && w != this && w->parentWidget() == this && !w->isModal())
            QTimer::singleShot(0, this, [this] {
                if (!QApplication::activeWindow()) takeKeys();
            });
    }
    // A text field keeps the keys typed into it: no shortcut of a single key
    // (or a key with Shift) acts while it has the focus ("пр-т", "+7").
    if ((e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) && isTextField(watched)) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (!(k->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
            if (e->type() == QEvent::ShortcutOverride) {
                e->accept();  // the key goes to the field, not to a shortcut
                return true;
            }
            return QMainWindow::eventFilter(watched, e);
        }
    }
    // The window sees every key before its controls (the chooser keeps its own keys).
    if (e->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        // The chooser and the calendar keep their own keys.
        const bool ownKeys = w == ComboBox1 || ComboBox1->isAncestorOf(w) || w == MonthCalendar1 ||
                             MonthCalendar1->isAncestorOf(w);
        if (w->window() == this && !ownKeys && QApplication::activeModalWidget() == nullptr) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->modifiers() == Qt::NoModifier && scrollKey(k->key())) return true;
            // "+" and "-" zoom about the middle of the window.
            if ((k->key() == Qt::Key_Plus || k->key() == Qt::Key_Minus) && !(k->modifiers() & Qt::ControlModifier)) {
                const QPoint middle(ScrollBox1->viewport()->width() / 2, ScrollBox1->viewport()->height() / 2);
                zoomAt(middle, k->key() == Qt::Key_Plus ? 2.0 : 0.5);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

}  // namespace dm
