// The menu items, the tool button and the mouse rows of the regions and
// districts.
#include "DistrictDialogs.h"
#include "MainWindow.h"

#include "admin/Boundaries.h"

#include <QAction>

namespace fs = std::filesystem;

namespace dm {

void MainWindow::wireDistricts() {
    DistrictTools& d = districtTools_;
    d.openDistrictMap = [this](const fs::path& orPath) { return lifecycle_.OpenDistrictMap(orPath); };
    d.saveChangesFirst = [this] { return lifecycle_.SaveChangesFirst(); };
    d.openKept = [this] { return lifecycle_.lastOpenKept(); };
    d.layerFilterOff = [this] {
        ws_.view.LayerDisplay = false;
        actions_["SloyOtkl"]->setChecked(false);
    };
    // The tools have dropped what they kept (the map's own notice); the
    // buttons follow.
    d.mapReplaced = [this] { syncButtons(); };
    d.buttonsChanged = [this] { syncButtons(); };
    d.scrollToOrigin = [this] { scrollToTopLeft(); };
    d.saveFilters = MapLifecycle::saveFilters();

    actions_.wire("Viloyat1", [this] {
        ListEditorDialog dlg(ListEditorDialog::Regions, ws_.files.StartDir / "Viloyats.txt", *ws_.dialogs, this);
        ws_.dialogs->exec(dlg);
    });
    actions_.wire("Tuman", [this] {
        ws_.files.CityDisplayName = QString::fromUtf8("г.Дарвент");
        ws_.files.CityFolderName = "Darvent";
        ListEditorDialog dlg(ListEditorDialog::Districts,
                             DistrictListPath(ws_.files.StartDir, ws_.files.CityFolderName), *ws_.dialogs, this);
        ws_.dialogs->exec(dlg);
    });
    actions_.wire("RayonDlgItem", [this] { showDistrictsDialog(); });
    actions_.wire("TumanMapButton", [this, &d] { d.TumanMapButtonClick(actions_["TumanMapButton"]->isChecked()); });
    actions_.wire("LassoGrn", [&d] { d.LassoGrnClick(); });
    actions_.wire("SaveLasso", [&d] { d.SaveLassoClick(); });
    actions_.wire("SaveRay", [this, &d] {
        if (!d.SaveRayBegin()) return;
        showDistrictsDialog([&d] { d.SaveRayFinish(); });
    });
    actions_.wire("AnklvSave", [] {});
    actions_.setAvailable("SaveRay", false);
    actions_.setAvailable("AnklvSave", false);
}

bool MainWindow::showDistrictsDialog(const std::function<void()>& onAccept) {
    TRayonDlg dlg(districtTools_, districts_, *ws_.dialogs, options_.allTools, this);
    if (!dlg.RayName(ws_.files.CityFolderName)) return false;
    if (ws_.dialogs->exec(dlg) == QDialog::Accepted && onAccept) onAccept();
    return true;
}

void MainWindow::districtsAfterOpen() {
    if (lifecycle_.openedKind() != MapLifecycle::MapKind::City) return;
    districts_.DistrictName.clear();
    districts_.DistrictFile.clear();
    districts_.DistrictBounds.clear();
    // The list is there, empty when the city has no "frontier.tum" (that is
    // not worth a message at every opening): a click of "Карты районов"
    // then finds no district.
    districts_.BoundsLoaded = true;
    const fs::path frontier = districtTools_.regionDir() / "frontier.tum";
    if (fileExistsCI(frontier)) districtTools_.LoadBoundaries(frontier);
}

}  // namespace dm
