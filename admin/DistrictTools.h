#pragma once
// The districts of the current region: finding and opening a district's own
// map, the boundary files (drawing, saving, recolouring, the outline, the
// common "frontier.tum"), cutting the open map to a lasso or to a district
// outline, and the merge of the settlement files.
#include "AdminLists.h"
#include "Settlements.h"
#include "editing/MapEditor.h"
#include "editing/ObjectCreation.h"
#include "editing/Workspace.h"
#include "names/Names.h"

#include <QStringList>
#include <functional>
#include <optional>

namespace dm {

struct DistrictState {
    std::string DistrictName;   // Windows-1251; empty: none chosen
    std::string DistrictFile;   // the stem of the district's files
    TObjList DistrictBounds;
    bool BoundsLoaded = false;  // the list exists (row 50 needs it)
    int32_t ChosenFillColor = 0xFFFFFF;
    int ChosenBrushStyle = 1;
    SettlementList Settlements;
};

// Whether a lasso drawn on the picture encloses anything: three points or
// more, not all on one line, not all within one pixel.
bool LassoHasArea(const std::vector<QPoint>& lasso);

class DistrictTools {
public:
    DistrictTools(Workspace& ws, DistrictState& st, NameState& names, ObjectCreation& creation, MapEditor& editor);

    // Hooks into the window.
    std::function<bool(const std::filesystem::path& orPath)> openDistrictMap;  // OpenDistrictMap
    std::function<bool()> saveChangesFirst;  // before another map replaces the open one
    // The last opening was given up before anything changed (Cancel on the
    // question about unsaved changes, or their save failed).
    std::function<bool()> openKept;
    std::function<void()> layerFilterOff;    // layer display off, "Отключить/Включить" unchecked
    std::function<void()> mapReplaced;       // objects changed outside the undo history
    std::function<void()> buttonsChanged;
    std::function<void()> scrollToOrigin;    // both scroll bars to 0
    QStringList saveFilters;                 // of the main window's save dialog

    const std::filesystem::path& startDir() const { return ws_.files.StartDir; }
    // StartDir/<CityFolderName>
    std::filesystem::path regionDir() const;
    // StartDir/<CityFolderName>/<DistrictFile><ext>
    std::filesystem::path districtPath(const char* ext) const;
    // The district list of the current region, or a message and nothing.
    std::optional<std::vector<ListEntry>> districtList();

    // "Карты районов": ResetModes, the pick mode follows the button, the
    // layer filter off.
    void TumanMapButtonClick(bool down);
    // Row 50: the district under the click (the dispatch's part included).
    Flow pickDistrict(const MouseClick& c);
    // The first district under the pixel whose name is listed opens.
    void FindDistrictAt(int x, int y);
    // "Вывести карту" of the districts dialog.  Kept: the operator cancelled
    // the question about unsaved changes, and nothing changed.
    enum class MapShown { Opened, NotOpened, Kept };
    MapShown MapButtonClick();

    // The boundaries of the city map, read without drawing (a missing file:
    // message).
    bool LoadBoundaries(const std::filesystem::path& path);
    // Reads, draws and appends every boundary of a file.
    bool LoadAndDrawBoundaries(const std::filesystem::path& path);

    // "Сохранить границы  в File" before the dialog: false when there is no
    // composed object (message) ; ends the collection and makes the
    // Fergana region current (its folder created).
    bool SaveRayBegin();
    // After the dialog's OK: the composed object becomes the boundary file
    // of the chosen district.
    bool SaveRayFinish();
    // Writes the composed object as the only boundary of `path` and draws it.
    bool SaveBoundary(const std::filesystem::path& path);
    // "Сохранить" of the dialog: the district's ".grn" with the chosen name,
    // colour and style.
    bool Recolour();
    // "Показать границы ": the ".gtm" outline in red.
    bool ShowOutline();
    // "tum": "frontier.tum" from the districts' ".grn" files.
    bool BuildFrontier(const std::vector<ListEntry>& districts);
    // "Обновить список": the region's ".nsp" from the districts' files.
    bool MergeSettlementFiles(const std::vector<ListEntry>& districts);
    // "Создать карту": the district's map cut from the region map.
    bool CreateDistrictMap();

    // "Вырезать границу" and the lasso drawn with the left button.
    void LassoGrnClick();
    Flow lassoStart(const MouseClick& c);  // row 19
    bool lassoBand(QPoint pos);            // the move
    void lassoReleased();                  // the release: the cut
    // "Сохранить " of "Вырезать карту".
    bool SaveLassoClick();
    bool SaveCutMap(const std::filesystem::path& binPath);

private:
    void progress(int percent);
    // The chosen district's file with this extension; a message and nothing
    // when no district is chosen or the file is missing.
    std::optional<std::filesystem::path> chosenDistrictFile(const char* ext, const QString& noneChosen);
    Workspace& ws_;
    DistrictState& st_;
    NameState& names_;
    ObjectCreation& creation_;
    MapEditor& editor_;
    QPoint lassoPen_;
};

}  // namespace dm
