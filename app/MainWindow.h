#pragma once
// The main window "Электронная карта г.Дарвента": menus, tool bar, the
// scroll box with the map image, the six-panel status bar and the timer.
// It owns the program's state (Workspace) and wires the menu items to the
// code of the subsystems.

#include "SavedState.h"
#include "ActionTable.h"
#include "MapLifecycle.h"
#include "admin/DistrictTools.h"
#include "editing/MapEditor.h"
#include "editing/ObjectCreation.h"
#include "editing/ObjectEdits.h"
#include "editing/UndoHistory.h"
#include "editing/Workspace.h"
#include "names/NameTools.h"
#include "routing/RouteTool.h"
#include "streets/AddressIndex.h"
#include "streets/StreetTools.h"

#include <QMainWindow>
#include <QPointer>

#include <map>
#include <memory>

class QCalendarWidget;
class QComboBox;
class QLabel;
class QSocketNotifier;
class QScrollArea;
class QTimer;
class QToolBar;

namespace dm {

class MapImageWidget;
class AppSettings;
class StatusPanels;
class QtDialogPort;

struct AppOptions {
    std::filesystem::path startDir;  // empty: the current directory
    bool allTools = false;           // show the items the delivered layout hides
    int screenWidth = 0;             // 0: the width of the screen
    DialogPort* dialogs = nullptr;   // null: Qt dialogs
    bool openCityMap = true;
    // The city map read while the splash showed (null: read on opening).
    class StartupPreload* preload = nullptr;
    // Where the window's place, the last folders, the semantic and the
    // recent maps are kept between runs; empty: nothing is kept.
    std::filesystem::path settingsFile;
    // Where the steps made on a database map wait until the server takes
    // them; empty: "journal" beside the settings file (else the temporary folder).
    std::filesystem::path journalDir;
};

// Moves (and if need be shrinks) a window so that all of it is on its screen.
void KeepOnScreen(QWidget* w);

class MainWindow : public QMainWindow, public MapSurface {
    Q_OBJECT
public:
    explicit MainWindow(const AppOptions& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    Workspace& workspace() { return ws_; }
    MapLifecycle& lifecycle() { return lifecycle_; }
    MapEditor& editor() { return editor_; }
    NameState& names() { return names_; }
    UndoHistory& history() { return history_; }
    const SavedState& savedState() const { return saved_; }
    RouteTool& routes() { return routes_; }
    class RouteInfoWindow* routeInfo() const { return Info; }
    ObjectEdits& edits() { return edits_; }
    ObjectCreation& creation() { return creation_; }
    // Redraws the parts of the picture an edit touched from the objects.
    void redrawTouched(const TouchedAreas& t);
    void UndoClick();  // "Отменить действие"
    void ExportGisClick();  // "Экспорт..."
    void ImportGisClick();  // "Импорт..."
    // Shows the window where it stood when last closed (maximised the first time).
    void showAsRemembered();
    AppSettings& settings() { return *settings_; }
    void RedoClick();  // "Вернуть действие"
    NameTools& nameTools() { return nameTools_; }
    StreetTools& streetTools() { return streetTools_; }
    DistrictState& districts() { return districts_; }
    DistrictTools& districtTools() { return districtTools_; }
    // The districts dialog "Туманы" for the current region, shown modally;
    // `onAccept` runs when it closes with OK.  False when its list cannot
    // be read.
    bool showDistrictsDialog(const std::function<void()>& onAccept = {});
    StreetState& streets() { return streets_; }
    class HouseForm* houseForm() const { return houseForm_; }
    class StreetListDialog* streetList() const { return streetList_; }
    class StopsWindow* stopsWindow() const { return Ostnv; }
    class UserAreaForm* userAreaForm() const { return RovdForm; }
    ActionTable& actions() { return actions_; }
    QScrollArea* scrollBox() const { return ScrollBox1; }
    MapImageWidget* imageWidget() const { return Image; }
    StatusPanels* statusPanels() const { return StatusBar1; }
    QComboBox* semanticChooser() const { return ComboBox1; }
    QCalendarWidget* calendar() const { return MonthCalendar1; }

    // Map picture operations of the tool bar.
    void ShowButtonClick();   // "Обновить экран"
    void KfUmClick();         // "Уменьшить"
    // Zooms by `factor` (2: in, 0.5: out) keeping the map point under the
    // viewport pixel `at` there; the picture keeps its size.
    bool zoomAt(QPoint at, double factor);
    // The address search: the field of the tool bar (Ctrl+F), a candidate
    // shown (the map centred on it at street level or nearer, its house or
    // axis blinking), what is at a picture pixel ("Что здесь?").
    class AddressField* addressField() const { return AddressEdit; }
    void chooseAddress(const AddressHit& hit);
    bool centreOn(const TXY& p);
    QString addressAt(QPoint pixel);
    class QMenu* mapMenu() const { return mapMenu_; }
    void WholeMapClick();     // "Вся карта": the orientation extent in the window
    // Moves the map with a drag of the middle button by `delta` pixels.
    void dragMap(QPoint delta);
    // The map point under a pixel of the scroll box's viewport.
    TXY mapPointAtViewport(QPoint at) const;
    void KodSem(int index);   // the semantic chooser
    void ClassifMenuClick();  // "Классификатор"
    // Makes a classifier the active one: its symbols and its semantic list.
    void loadClassifier(const std::filesystem::path& smn, const std::filesystem::path& ris);

    // MapSurface
    void setPanelText(int panel, const QString& text) override;
    QString panelText(int panel) const override;
    void showProgress(int percent) override;
    void endProgress() override;
    void setBusy(bool busy) override;
    void imageChanged() override;
    void scrollToTopLeft() override;
    int screenWidth() const override;
    void setCaption(const QString& caption) override;
    void scrollBy(int dx, int dy) override;
    void setImageCursor(Qt::CursorShape shape) override;
    void mapRedrawn() override;
    void showPicturePart(const QRect& part) override;
    // The window active and the map picture with the keys (after a dialog
    // or one of the tool windows closed).
    // The map shown over an extent, fitted into the window (false: it
    // cannot be shown, the view unchanged).
    bool fitExtent(const OrientationRecord& o);
    // Brings a part of the map into the window when some of it is not.
    void showMapBox(const ObjectIndex::Box& box);
    // A tool window (stops, user areas, houses) as it first shows: where
    // it was at the last run, else inside the map area's top right corner;
    // on the screen either way.
    void placeToolWindow(QWidget* w);
    void takeKeys();

    // Layers, printing, raster export and the style of objects.
    bool DrawByLayers(const std::vector<std::string>& checked);  // "Показать" of "Вывод по слоям"
    bool openFromDatabase();     // "Открыть из базы…"
    bool saveToDatabase();       // "Сохранить в базу…"
    const QString& databaseMap() const { return databaseMap_; }
    // The database map open for editing, kept with the database (null otherwise).
    class LiveMap* liveMap() const { return live_.get(); }
    // The database's line of the status bar ("База: 2 операторов …").
    QString databaseStatus() const;
    void PrintMapClick();        // "Печать карты"
    void PrintPreviewClick();    // "Предварительный просмотр"
    bool printTo(class QPrinter& printer, bool watchEsc);
    // The page and the file offered before the print dialog.
    void offerPrinter(class QPrinter& printer);
    void ExportRaster();         // "Сохранить в буфере обмена"
    void ExportRasterBox(int left, int top, int right, int bottom);
    void AreaLineButtonClick();  // "Изменить цвет"
    int32_t StyleTypeCode = 0;   // the code of the object the style dialog last showed
    bool isPrinting() const { return printing_; }
    bool isBusy() const { return busy_ > 0; }
    // Sees each print job before it runs (tests plant faults in it).
    std::function<void(struct PrintJob&)> printJobHook;

    // The tool buttons follow the mode flags.
    void syncButtons();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void buildWidgets();
    void wireActions();
    void wireStreets();
    void wireDisplay();
    void wireDistricts();
    void districtsAfterOpen();
    void timerTick();
    void showScaleReadout(int width);
    void updateCaption();
    bool scrollKey(int key);
    void wireNavigation();
    void wireAddresses();
    // A right click that no mode takes: the map's own menu.
    bool rightClickTaken(QPoint pixel);
    void wireGis();
    void wireDatabase();
    std::optional<QString> askDatabaseUrl(const QString& caption);
    // Editing a database map live: its steps written as they are made, the
    // others' brought in as they arrive.
    void startLive(const std::string& url, struct PulledRows rows, const std::string& stem, const QString& key,
                   const std::string& database);
    void stopLive();
    void watchLive();     // the notifier on the connection, else a retry
    void showLiveStatus();
    void bindRegisters();  // the registers held in memory, bound to their records
    bool askOverwrite(const struct ConflictQuestion& q);
    void fillRecentMenu();
    void openRecentMap(const QString& path);
    void restoreSemantic();
    void finishZoom();
    // Widens the view's extent so that its picture covers the window.
    void fillWindow(MapView& v) const;
    // The map area's size without scroll bars.
    QSize windowRoom() const;
    int wheelAngle_ = 0;  // eighths of a degree not yet used
    QImage scratch_;      // a second picture for redrawing parts of the map
    // The middle button: pressed (a click or a drag), dragging.
    bool middlePending_ = false;
    bool middleDragging_ = false;
    QPoint middlePress_, middleStart_, middleLast_;

    AppOptions options_;
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<QtDialogPort> qtDialogs_;
    Workspace ws_;
    // The windows' answers to the map's life cycle (gone before the map).
    std::vector<std::unique_ptr<MapSubscription>> mapSubscriptions_;
    SavedState saved_;  // what the files hold, for the caption after undo
    // Another map: what was noted of the last one no longer holds.  Told
    // before the tools below, which may look at the new map (and note it).
    MapSubscription savedForget_{ws_.map.events, [this](const MapEvent& e) {
                                     if (e.everything()) saved_.forget();
                                 }};
    std::vector<QPointer<QWidget>> toolWindows_;  // placed, their geometry kept at the end
    SavedState::Flags changeFlags();
    SavedState::Sources savedSources();
    MapLifecycle lifecycle_{ws_};
    MapEditor editor_{ws_};
    NameState names_;
    NameTools nameTools_{ws_, names_, editor_};
    UndoHistory history_{ws_.map};
    ObjectEdits edits_{ws_, editor_, history_};
    ObjectCreation creation_{ws_, editor_, history_};
    RouteTool routes_{ws_, editor_};
    StreetState streets_;
    StreetTools streetTools_{ws_, streets_, names_, editor_, history_};
    DistrictState districts_;
    DistrictTools districtTools_{ws_, districts_, names_, creation_, editor_};
    class HouseForm* houseForm_ = nullptr;
    class StreetListDialog* streetList_ = nullptr;
    class RouteInfoWindow* Info = nullptr;
    class StopsWindow* Ostnv = nullptr;
    class UserAreaForm* RovdForm = nullptr;
    ActionTable actions_;
    QToolBar* toolbar_ = nullptr;
    QScrollArea* ScrollBox1 = nullptr;  // a MapScrollArea
    MapImageWidget* Image = nullptr;
    StatusPanels* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    class AddressField* AddressEdit = nullptr;
    class QMenu* mapMenu_ = nullptr;
    QPoint menuPixel_;  // where the map's menu was asked for
    QCalendarWidget* MonthCalendar1 = nullptr;
    int busy_ = 0;
    QString caption_;  // the window caption without the change mark
    std::unique_ptr<class RasterDialog> rasterDialog_;  // kept for the rectangle export
    int32_t styleBrushColor_ = 0;                        // the style dialog's own brush colour
    bool printing_ = false;
    bool routingAddresses_ = false;
    // A map of the shared database is open (its name), from a copy of its
    // city in a cache folder that stands for the start folder meanwhile.
    QString databaseMap_;
    std::filesystem::path homeStartDir_;
    bool openingFromDatabase_ = false;
    // The registers' lists as the database map sees them.
    std::map<const void*, std::unique_ptr<class LiveRecords>> liveRecords_;  // by the register's tag
    // The database map being edited live (destroyed before the history and
    // the map it follows).
    std::unique_ptr<class LiveMap> live_;
    QSocketNotifier* liveNotifier_ = nullptr;
    QTimer* liveRetry_ = nullptr;   // reconnecting, with growing pauses
    int liveBackoffMs_ = 0;
    QTimer* liveCount_ = nullptr;   // the operators counted now and then
    int liveOperators_ = 0;
    bool liveAsking_ = false;       // a conflict is being asked: the connection waits
    QLabel* dbStatus_ = nullptr;
    uint64_t modesBefore_ = 0;  // the modes on before a menu item or button acts  // the route window's "Найти" is drawing its route
    // Brings the last route found into the window, zooming out when it is
    // larger than the window.
    void showWholeRoute(const TXY& from, const TXY& to);
};

}  // namespace dm
