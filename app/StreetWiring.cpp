// The menu "Улицы", the street list dialog and the house form, wired to
// the street operations.
#include "HouseForm.h"
#include "MainWindow.h"
#include "MapImageWidget.h"
#include "StreetListDialog.h"

#include "mapdata/Cp1251.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>

namespace dm {

void MainWindow::wireStreets() {
    StreetTools& t = streetTools_;
    t.setItemEnabled = [this](const char* id, bool on) {
        if (QString::fromLatin1(id) == QLatin1String("RueKorAxeMenu")) {
            if (QMenu* m = actions_.menu(QStringLiteral("RueKorAxeMenu"))) m->menuAction()->setEnabled(on);
            return;
        }
        actions_.setAvailable(id, on);
    };
    t.buttonsChanged = [this] { syncButtons(); };
    t.mapNamesOff = [this] { actions_["MapNamesItem"]->setChecked(false); };
    t.chooseStreet = [this](const std::vector<StreetRow>& rows,
                            StreetOrder order) -> std::optional<std::pair<std::string, std::string>> {
        if (!streetList_) streetList_ = new StreetListDialog(this);
        streetList_->fill(rows, order);
        if (ws_.dialogs->exec(*streetList_) != QDialog::Accepted) return std::nullopt;
        // Back to the map: its keys work again.
        Image->setFocus(Qt::OtherFocusReason);
        return std::make_pair(toCp1251(streetList_->upperText()), toCp1251(streetList_->lowerText()));
    };
    t.chosenStreetRow = [this] { return streetList_ ? streetList_->chosenStreet() : -1; };
    t.showHouseForm = [this] {
        if (!houseForm_) {
            houseForm_ = new HouseForm(streetTools_, this);
            houseForm_->setProperty("dmToolWindow", true);
        }
        houseForm_->showForStreet();
    };
    t.housesChanged = [this] {
        if (houseForm_) houseForm_->refresh();
    };
    t.houseFields = [this] {
        if (!houseForm_) return HouseFields{};
        return HouseFields{houseForm_->numberEdit()->text(), houseForm_->floorsEdit()->text(),
                           houseForm_->infoEdit()->text()};
    };
    t.streetChanged = [this] {
        if (!houseForm_ || !houseForm_->isVisible()) return;
        // The form shows the houses of the current street, or goes.
        if (streetTools_.state().CurrentStreet) houseForm_->showForStreet();
        else houseForm_->hide();
    };
    creation_.finishStreetAxis = [&t] { t.finishAxis(); };
    t.endObjectDrawing = [this] { creation_.OtmenaCreaClick(); };
    lifecycle_.saveStreets = [&t](FileBatch* batch) { return t.saveStreets(batch) != StreetTools::Saved::Failed; };

    connect(actions_.menu(QStringLiteral("RueMenu")), &QMenu::aboutToShow, this, [&t] { t.RueMenuOpened(); });
    actions_.wire("RueLoad", [&t] { t.RueLoadClick(); });
    actions_.wire("RueShowAll", [&t] { t.RueShowAllClick(); });
    actions_.wire("RueNazFind", [&t] { t.RueNazFindClick(); });
    actions_.wire("RueKarta", [&t] { t.RueKartaClick(); });
    actions_.wire("RueChangeMenu", [&t] { t.RueChangeMenuClick(); });
    actions_.wire("RueKorrMenu", [&t] { t.RueKorrMenuClick(); });
    actions_.wire("ShowRueAxe", [&t] { t.ShowRueAxeClick(); });
    actions_.wire("RueAxeMovePoint", [&t] { t.RueAxeMovePointClick(); });
    actions_.wire("RueAxeInsert", [&t] { t.RueAxeInsertClick(); });
    actions_.wire("RueShriftChange", [&t] { t.RueShriftChangeClick(); });
    actions_.wire("RueDoma", [&t] { t.RueDomaClick(); });
    actions_.wire("RueSortNew", [&t] { t.RueSortNewClick(); });
    actions_.wire("RueSortOld", [&t] { t.RueSortOldClick(); });
    actions_.wire("RueDelete", [&t] { t.RueDeleteClick(); });
    actions_.wire("RueNewCreaMenu", [&t] { t.RueNewCreaMenuClick(); });
    actions_.wire("RueSave", [&t] { t.RueSaveClick(); });
    actions_.wire("RueOtmena", [&t] { t.RueOtmenaClick(); });
    // Until a map is opened only "Загрузить" and "Отмена" are there.
    t.afterOpen();
}

}  // namespace dm
