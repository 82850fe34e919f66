#pragma once
// Opening, saving and closing a map: "Карта города", "Открыть",
// "Сохранить", "Сохранить как...", "Сохранить ориентировку" and the
// questions asked before the window closes.

#include "editing/Workspace.h"

#include <functional>

namespace dm {

class StartupPreload;

class MapLifecycle {
public:
    explicit MapLifecycle(Workspace& ws) : ws_(ws) {}

    // Each returns false when the operation did not happen (cancelled or
    // failed with a message); the map and its flags are then as they were.
    bool OpenCityMap();
    bool OpenFileClick();
    // Opens a map file by name (the recent maps); asks about unsaved changes first.
    bool OpenMapFile(const std::filesystem::path& path);
    bool SaveFileClick();
    bool SaveAs1Click();
    bool OrnSaveClick();
    // A district's map: scale factor 1.2, no names file; "Карта не создана."
    // when its orientation file is missing.
    bool OpenDistrictMap(const std::filesystem::path& orPath);
    enum class MapKind { City, Chosen, District };
    // What the last successful opening opened.
    MapKind openedKind() const { return openedKind_; }
    // The questions on closing; false keeps the window open (a save failed).
    bool FormCloseQuery();
    // Before another map replaces this one: offers to save unsaved changes
    // (Yes / No / Cancel); false when the operator cancels or a save fails.
    bool SaveChangesFirst();
    // The last request to open a map was given up before anything changed:
    // Cancel on the question about unsaved changes, or their save failed.
    bool lastOpenKept() const { return kept_; }
    // The city map made while the program started (used by the first
    // opening of the city map, then forgotten).
    StartupPreload* preload = nullptr;

    // Filled in by the subsystems that own the companions of a map.
    std::function<void()> afterOpen;          // e.g. load the names file
    // false on failure; with a batch the file takes its name with the batch
    std::function<bool(FileBatch*)> saveNames;
    std::function<bool(FileBatch*)> saveStreets;
    std::function<void()> modesChanged;       // tool buttons follow the modes
    std::function<void()> opened;             // after any map was opened
    // The city map or a map file is about to replace a map of the shared
    // database (the questions about unsaved changes answered).
    std::function<void()> leavingDatabase;

    // The folder a map file dialog starts in.
    QString dialogFolder() const;

    static QStringList openFilters();
    static QStringList saveFilters();

private:
    // The extent of the record is the city map's.
    bool recordIsTheCitys(const OrientationRecord& r) const;
    bool openMap(const std::filesystem::path& orPath, MapKind kind);
    bool writeObjects(const std::filesystem::path& binPath);
    struct SaveSet {
        bool map = false;
        bool orientation = false;  // the ".or" too when its record changed
        bool skipEmptyMap = false;
        bool names = false;
        bool streets = false;
    };
    bool saveTogether(const SaveSet& s);
    void progress(int percent);

    Workspace& ws_;
    MapKind openedKind_ = MapKind::Chosen;
    bool kept_ = false;
};

}  // namespace dm
