#pragma once
// A start folder with the sample classifier and a small hand-made city map,
// and the real main window opened on it, with scripted dialogs.

#include "app/MainWindow.h"
#include "app/MapImageWidget.h"
#include "app/StatusPanels.h"
#include "cli/SampleCity.h"
#include "common/ScriptedDialogs.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace dm {

// A start folder with the sample classifier and a small hand-made city map
// whose view is 1200 x 1200 pixels at one pixel per metre: the pixel
// (column, row) is the map point X = 1100 - row, Y = column - 100.
class SmallMapFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("dm_disp_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "Darvent");
        WriteListFile(dir_ / "sem100n.smn", sample::semanticLines());
        WriteZnakFile(dir_ / "sem100n.ris", sample::symbols());
        MapDoc doc;
        doc.Orientation = {1100, -100, 1100, -100, 0, 1, {0, 0, 0}, 10};
        auto add = [&](uint8_t kind, int code, std::vector<QPoint> px) {
            auto o = std::make_unique<TObj>();
            o->Kind = kind;
            o->Code = code;
            for (QPoint p : px) o->Points.push_back(toMap(p));
            doc.ObjList.append(std::move(o));
        };
        add(2, 3060, {{200, 300}, {400, 300}, {400, 500}});                         // 0: a street
        add(2, 3060, {{300, 200}, {300, 400}});                                     // 1: crosses it at (300, 300)
        add(3, 1010, {{600, 600}, {700, 600}, {700, 700}, {600, 700}, {600, 600}});  // 2: a house
        add(1, 2402, {{900, 900}});                                                 // 3: a tree
        add(2, 2130, {{100, 800}, {200, 800}});                                     // 4: a contour
        doc.ObjList[4]->Elevation = 415;
        WriteOrientation(dir_ / "Darvent" / "Darvent.or", doc.Orientation);
        SaveObjects(dir_ / "Darvent" / "Darvent.bin", doc.ObjList);
        writeCompanions();

        AppOptions o;
        o.startDir = dir_;
        o.screenWidth = 1000;
        o.dialogs = &dialogs_;
        o.journalDir = dir_ / "journal";
        w_ = std::make_unique<MainWindow>(o);
        w_->resize(800, 600);
        w_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
        // One pixel per metre.
        MapView& v = ws().view.view();
        v.Scale = 1;
        ws().view.image = QImage(v.imageSize(), QImage::Format_RGB32);
        RedrawWithProgress(ws());
        ASSERT_EQ(ws().view.image.size(), QSize(1200, 1200));
        ASSERT_TRUE(dialogs_.asked.empty());
    }
    // Other files beside the map, written before the program starts.
    virtual void writeCompanions() {}
    void TearDown() override {
        ws().map.MapModified = false;
        ws().files.NamesModified = false;
        ws().files.StreetsModified = false;
        w_.reset();
        std::filesystem::remove_all(dir_);
    }
    static TXY toMap(QPoint p) { return {1100.0 - p.y(), p.x() - 100.0}; }
    static QPoint toPixel(double x, double y) { return QPoint(int(y + 100), int(1100 - x)); }

    Workspace& ws() { return w_->workspace(); }
    QAction* act(const char* id) { return w_->actions()[id]; }
    QWidget* image() { return w_->imageWidget(); }
    void click(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseClick(image(), b, Qt::NoModifier, p); }
    void press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(image(), b, Qt::NoModifier, p); }
    void release(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(image(), b, Qt::NoModifier, p); }
    void move(QPoint p, Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), image()->mapToGlobal(QPointF(p)), Qt::NoButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(image(), &e);
    }
    QString panel(int i) { return w_->statusPanels()->text(i); }

    std::filesystem::path dir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<MainWindow> w_;
};


}  // namespace dm
