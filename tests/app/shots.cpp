// darvent-shots START OUT: the pictures of the documentation, taken on a
// real display (a virtual one: scripts/screenshots.sh) by driving the main
// window on the start folder START: the street list ("Список улиц"), the
// stops window, the address field, the route between two addresses and a
// district map opened from "Туманы".  Each picture is
// the part of the screen the windows cover, written as OUT/<name>.png.

#include "app/AddressField.h"
#include "app/DistrictDialogs.h"
#include "app/MainWindow.h"
#include "app/RouteInfoWindow.h"
#include "app/StopsWindow.h"
#include "app/StreetListDialog.h"
#include "app/Translation.h"
#include "common/ScriptedDialogs.h"
#include "display/RuntimeDir.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QKeyEvent>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <filesystem>

using namespace dm;
namespace fs = std::filesystem;

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool shot(const fs::path& out, const char* name) {
    settle(700);
    // The part of the screen the program's windows cover.
    QRect covered;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible()) covered |= t->frameGeometry();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0).copy(covered);
    const fs::path file = out / (std::string(name) + ".png");
    if (screen.isNull() || !screen.save(QString::fromStdString(file.string()))) {
        std::fprintf(stderr, "darvent-shots: could not write %s\n", file.c_str());
        return false;
    }
    std::printf("%s\n", file.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    EnsureRuntimeDir();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: darvent-shots START OUT\n");
        return 2;
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "darvent-shots: needs a display (scripts/screenshots.sh starts a virtual one)\n");
        return 2;
    }
    InstallRussianTranslation(app);
    const fs::path start = fs::absolute(argv[1]), out = fs::absolute(argv[2]);
    ScriptedDialogs dialogs;
    AppOptions o;
    o.startDir = start;
    o.dialogs = &dialogs;
    MainWindow w(o);
    w.resize(1400, 900);
    w.move(0, 0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) return 1;
    bool ok = true;

    // "Список улиц": the streets of the sample, a search typed.
    dialogs.onDialog = [&](QDialog& d) {
        auto* list = qobject_cast<StreetListDialog*>(&d);
        if (!list) return int(QDialog::Rejected);
        list->move(120, 90);
        list->show();
        list->searchField()->setText(QStringLiteral("ул"));
        ok &= shot(out, "street-list");
        list->hide();
        return int(QDialog::Rejected);
    };
    w.actions()["RueLoad"]->trigger();
    w.actions()["RueKarta"]->trigger();

    // The stops window, the first stop shown.
    w.actions()["OstnvMenu"]->trigger();
    StopsWindow* stops = w.stopsWindow();
    if (stops && stops->list()->count() > 0) {
        stops->list()->item(0)->setSelected(true);
        stops->listClicked();
        stops->toolButton("ShowButton")->click();
    }
    ok &= shot(out, "stops-window");
    if (stops) {
        dialogs.answers = {DialogPort::Answer::No};
        stops->close();
    }

    // The address field: an old street name and a number typed, the
    // candidates offered (the street that has the house first); the first
    // chosen, its house centred and blinking.
    if (AddressField* field = w.addressField()) {
        field->setFocus();
        QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("Карла Маркса 3"));
        QApplication::sendEvent(field, &typed);
        ok &= shot(out, "address-candidates");
        QTest::keyClick(field->popupCompleter()->popup(), Qt::Key_Down);
        QTest::keyClick(field->popupCompleter()->popup(), Qt::Key_Return);
        settle(1200);  // a blink or two
        ok &= shot(out, "address-found");
    }

    // The route between two addresses ("⇄"): "Откуда", "Куда", "Найти";
    // the whole route in the window.
    {
        const AddressIndex& idx = w.streetTools().addresses();
        const std::vector<AddressHit> from = idx.find("Карла Маркса 3", 1);
        // To a house of a street in the middle of the register.
        std::vector<AddressHit> to;
        const auto& all = w.streets().Streets;
        for (size_t k = all.size() / 2; k < all.size() && to.empty(); ++k)
            if (!all[k]->Houses.empty())
                to = {AddressHit{all[k], 0, true, false, 0, false, all[k]->Houses[0].X, all[k]->Houses[0].Y}};
        w.actions()["RouteAddresses"]->trigger();
        RouteInfoWindow* info = w.routeInfo();
        if (!from.empty() && !to.empty()) {
            info->fromField()->setText(QString::fromStdString(AddressText(from[0])));
            info->toField()->setText(QString::fromStdString(AddressText(to[0])));
            info->findButton()->click();
        }
        ok &= shot(out, "route-between-addresses");
        info->hide();
    }

    // "Туманы": the last district's map ("Вывести карту").
    dialogs.onDialog = [&](QDialog& d) {
        auto* districts = qobject_cast<TRayonDlg*>(&d);
        if (!districts || districts->list()->count() == 0) return int(QDialog::Rejected);
        districts->show();
        districts->list()->setCurrentRow(districts->list()->count() - 1);
        settle(200);
        districts->button("MapButton")->click();
        return d.result();
    };
    w.actions()["RayonDlgItem"]->trigger();
    ok &= shot(out, "district-map");
    w.workspace().map.MapModified = false;
    return ok ? 0 : 1;
}
