// The districts in the program: "Карты районов" and a click inside a
// district, the districts dialog, the list editors, the lasso cut and the
// boundary of a composed object, driven through the real main window.
#include "admin/Boundaries.h"
#include "admin/Settlements.h"
#include "app/DistrictDialogs.h"
#include "common/SmallMapFixture.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextEdit>

using namespace dm;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<TObj> boundary(const char* name, std::vector<QPoint> px, int32_t color = 0x00FF00) {
    auto b = std::make_unique<TObj>();
    b->Kind = KindArea;
    b->Name = name;
    b->BrushColor = color;
    b->BrushStyle = 0;
    for (QPoint p : px) b->Points.push_back({1100.0 - p.y(), p.x() - 100.0});
    return b;
}

std::vector<QPoint> square(int l, int t, int r, int b) { return {{l, t}, {r, t}, {r, b}, {l, b}, {l, t}}; }

class Districts : public SmallMapFixture {
protected:
    fs::path city() const { return dir_ / "Darvent"; }
    void writeRay(const std::string& text) {
        writeFileAtomically(city() / "Darvent.ray", std::vector<uint8_t>(text.begin(), text.end()));
    }
    void writeCompanions() override {
        // Two districts side by side and one unlisted on top of the first;
        // "Центр" (a) is listed, "Заря" (b) as well, "Lost" is not.
        writeRay("\xD6\xE5\xED\xF2\xF0;a;\r\n\xC7\xE0\xF0\xFF;b;\r\n");
        TObjList tum;
        tum.appendAsIs(boundary("Lost", square(50, 50, 150, 150)));
        tum.appendAsIs(boundary("\xD6\xE5\xED\xF2\xF0", square(100, 100, 500, 500)));
        tum.appendAsIs(boundary("\xC7\xE0\xF0\xFF", square(500, 100, 900, 500)));
        WriteBoundaries(city() / "frontier.tum", tum);
        TObjList a;
        a.appendAsIs(boundary("\xD6\xE5\xED\xF2\xF0", square(100, 100, 500, 500), 0x0000FF));
        RewriteBoundaryFile(city() / "a.grn", a);
        RewriteBoundaryFile(city() / "a.gtm", a);
        // District a's own map: the extent of its square, two objects and a
        // names file that a district map does not read.
        WriteOrientation(city() / "a.or", {1000, 600, 400, 0, 0, 1, {0, 0, 0}, 0});
        TObjList objs;
        auto o = std::make_unique<TObj>();
        o->Kind = KindLine;
        o->Code = 3060;
        o->Points = {{900, 100}, {700, 300}};
        objs.append(std::make_unique<TObj>(*o));
        objs.append(std::move(o));
        SaveObjects(city() / "a.bin", objs);
        auto n = std::make_shared<TNaz>();
        n->OldName = "Label";
        SaveNames(city() / "a.nam", {n});
    }
    void pickAt(QPoint p) {
        act("TumanMapButton")->trigger();
        ASSERT_TRUE(ws().modes.DistrictPickMode);
        click(p);
    }
    std::vector<QString> messages() {
        std::vector<QString> out;
        for (const auto& a : dialogs_.asked)
            if (a.kind == "message" || a.kind == "error") out.push_back(a.text);
        return out;
    }
};

}  // namespace

TEST_F(Districts, ClickInsideADistrictOpensItsMapWithoutNames) {
    ASSERT_TRUE(w_->districts().BoundsLoaded);
    ASSERT_EQ(w_->districts().DistrictBounds.size(), 3u);
    ASSERT_FALSE(act("TumanMapButton")->isVisible());  // hidden in the delivered layout
    pickAt({120, 120});  // in "Lost" and in "Центр": the listed one opens
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(w_->districts().DistrictFile, "a");
    EXPECT_EQ(w_->districts().DistrictName, "\xD6\xE5\xED\xF2\xF0");
    EXPECT_EQ(ws().files.MapFileName, city() / "a.or");
    EXPECT_EQ(ws().map.ObjList.size(), 2u);
    // The screen is 1000 wide, the district 400: scale 2.5 x 1.2.
    EXPECT_DOUBLE_EQ(ws().view.view().Scale, 3.0);
    EXPECT_EQ(ws().view.image.size(), QSize(1200, 1200));
    EXPECT_TRUE(w_->names().MapNames.empty());
    EXPECT_TRUE(w_->names().AllNames.empty());
    EXPECT_FALSE(ws().modes.DistrictPickMode);
    EXPECT_FALSE(act("TumanMapButton")->isChecked());
    EXPECT_EQ(panel(4), QString());
    EXPECT_EQ(panel(5), QString());
}

TEST_F(Districts, NoDistrictUnderTheClickOrUnlistedNames) {
    pickAt({950, 950});  // outside every boundary, none chosen before
    EXPECT_EQ(messages(), (std::vector<QString>{QStringLiteral("Не выбран туман")}));
    EXPECT_EQ(ws().files.MapFileName, city() / "Darvent.or");
    dialogs_.clear();
    pickAt({60, 60});  // only in "Lost", which the list does not name
    EXPECT_EQ(messages(), (std::vector<QString>{QStringLiteral("Не выбран туман")}));
    dialogs_.clear();
    pickAt({600, 300});  // "Заря": listed, but its map was never made
    EXPECT_EQ(messages(), (std::vector<QString>{QStringLiteral("Карта не создана.")}));
    EXPECT_EQ(ws().files.MapFileName, city() / "Darvent.or");
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    // A city without "frontier.tum": the click still answers, and does not
    // reach the other modes.
    fs::remove(city() / "frontier.tum");
    act("FergKartaMenu")->trigger();
    act("FindButton")->trigger();
    dialogs_.clear();
    pickAt({300, 300});
    EXPECT_EQ(messages(), (std::vector<QString>{QStringLiteral("Не выбран туман")}));
    EXPECT_FALSE(ws().modes.DistrictPickMode);
    EXPECT_EQ(panel(3), QString());  // no object was selected
}

TEST_F(Districts, UnsafeStemsAndAMissingListAreReportedNotFollowed) {
    // The unsafe line is refused alone: the other district still opens.
    writeRay("\xD6\xE5\xED\xF2\xF0;../../a;\r\n\xC7\xE0\xF0\xFF;b;\r\n");
    pickAt({300, 300});
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_TRUE(messages()[0].contains(QStringLiteral("Darvent.ray"))) << messages()[0].toStdString();
    EXPECT_TRUE(messages()[0].contains(QStringLiteral("строка 1"))) << messages()[0].toStdString();
    EXPECT_EQ(messages()[1], QStringLiteral("Не выбран туман"));
    EXPECT_EQ(ws().files.MapFileName, city() / "Darvent.or");
    dialogs_.clear();
    pickAt({700, 300});
    ASSERT_EQ(messages().size(), 2u);  // the refusal, then "Карта не создана." for b
    EXPECT_EQ(messages()[1], QStringLiteral("Карта не создана."));
    EXPECT_EQ(w_->districts().DistrictFile, "b");
    dialogs_.clear();
    fs::remove(city() / "Darvent.ray");
    pickAt({300, 300});
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_TRUE(messages()[0].contains(QStringLiteral("не существует")));
    // The districts dialog is not shown without its list.
    dialogs_.clear();
    act("RayonDlgItem")->trigger();
    for (const auto& a : dialogs_.asked) EXPECT_NE(a.kind, "dialog");
}

TEST_F(Districts, DistrictsDialogChoosesColoursShowsAndOpens) {
    // District a's boundary file of two records: a line of another name and
    // colour first, then its area.
    {
        TObjList a;
        a.appendAsIs(boundary("Old", square(120, 120, 480, 480), 0x00FFFF));
        a[0]->Kind = KindLine;
        a.appendAsIs(boundary("\xD6\xE5\xED\xF2\xF0", square(100, 100, 500, 500), 0x0000FF));
        RewriteBoundaryFile(city() / "a.grn", a);
    }
    bool checked = false;
    dialogs_.colors.push_back(QColor(0, 0, 255));
    dialogs_.onDialog = [&](QDialog& d) {
        auto& dlg = static_cast<TRayonDlg&>(d);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Туманы"));
        EXPECT_EQ(dlg.list()->count(), 2);
        EXPECT_EQ(dlg.list()->item(1)->text(), QStringLiteral("Заря"));
        EXPECT_FALSE(dlg.files()->isVisibleTo(&dlg));
        for (const char* hidden : {"SpeedButton1", "JoinNspButton", "CreaFrontierTum", "Button1"})
            EXPECT_FALSE(dlg.button(hidden)->isVisibleTo(&dlg)) << hidden;
        EXPECT_EQ(dlg.button("MapButton")->toolTip(), QStringLiteral("Вывести карту района"));
        DistrictState& st = w_->districts();
        EXPECT_EQ(st.ChosenBrushStyle, 0);
        EXPECT_EQ(st.ChosenFillColor, 0xFFFFFF);
        // Nothing chosen: the map cannot be shown.
        dlg.button("MapButton")->click();
        EXPECT_EQ(messages().back(), QStringLiteral("Не выбран туман"));
        dlg.list()->setCurrentRow(0);
        EXPECT_EQ(st.DistrictFile, "a");
        dlg.ColorButtonClick();
        EXPECT_EQ(st.ChosenFillColor, 0xFF0000);  // blue as a Windows colour
        dlg.SetBrushStyle(6);
        EXPECT_EQ(st.ChosenBrushStyle, 6);
        dlg.SetBrushStyle(9);
        EXPECT_EQ(st.ChosenBrushStyle, 1);
        // The buttons in the Part's order: horizontal lines 2, vertical 3.
        dlg.findChild<QToolButton*>(QStringLiteral("HorizontalBrush"))->click();
        EXPECT_EQ(st.ChosenBrushStyle, 2);
        dlg.findChild<QToolButton*>(QStringLiteral("VerticalBrush"))->click();
        EXPECT_EQ(st.ChosenBrushStyle, 3);
        dlg.findChild<QToolButton*>(QStringLiteral("DiagCrossBrush"))->click();
        EXPECT_EQ(st.ChosenBrushStyle, 7);
        dlg.SetBrushStyle(0);
        const QImage sample = dlg.sample()->pixmap().toImage();
        EXPECT_EQ(sample.pixel(20, 20), qRgb(0, 0, 255));
        // "Сохранить": the boundary file takes the chosen name, colour and style.
        dlg.button("SaveButton")->click();
        TObjList back;
        ReadBoundaryFile(city() / "a.grn", back);
        EXPECT_EQ(back.size(), 2u);
        for (const auto& rec : back) {  // every record, the line made an area
            EXPECT_EQ(rec->Kind, KindArea);
            EXPECT_EQ(rec->BrushColor, 0xFF0000);
            EXPECT_EQ(rec->BrushStyle, 0);
            EXPECT_EQ(rec->Name, "\xD6\xE5\xED\xF2\xF0");
            EXPECT_EQ(rec->PenWidth, 1);  // as stored
        }
        // "Показать границы ": the outline in red on the map picture.
        ws().view.image.fill(Qt::white);
        dlg.button("ShowGrnButton")->click();
        EXPECT_EQ(ws().view.image.pixel(300, 100), qRgb(255, 0, 0));
        checked = true;
        dlg.button("MapButton")->click();
        return dlg.result();
    };
    act("RayonDlgItem")->trigger();
    EXPECT_TRUE(checked);
    EXPECT_EQ(ws().files.MapFileName, city() / "a.or");
    EXPECT_EQ(ws().map.ObjList.size(), 2u);
}

TEST_F(Districts, CancelClearsTheChoice) {
    dialogs_.onDialog = [&](QDialog& d) {
        auto& dlg = static_cast<TRayonDlg&>(d);
        dlg.list()->setCurrentRow(1);
        dlg.SetBrushStyle(4);
        dlg.button("CancelBtn")->click();
        return dlg.result();
    };
    act("RayonDlgItem")->trigger();
    const DistrictState& st = w_->districts();
    EXPECT_EQ(st.DistrictName, "");
    EXPECT_EQ(st.DistrictFile, "");
    EXPECT_EQ(st.ChosenFillColor, 0xFFFFFF);
    EXPECT_EQ(st.ChosenBrushStyle, 1);
}

TEST_F(Districts, LassoCutSavedUnderANewNameAndReopened) {
    // Two labels: one starts inside the lasso, one outside.
    auto label = [](QPoint at, const char* text) {
        auto n = std::make_shared<TNaz>();
        n->OldName = text;
        const TXY p = toMap(at), q = toMap(at + QPoint(40, 0));
        n->X1 = p.X;
        n->Y1 = p.Y;
        n->X2 = q.X;
        n->Y2 = q.Y;
        return n;
    };
    w_->names().AllNames = {label({700, 300}, "out"), label({300, 300}, "in")};
    w_->names().MapNames = w_->names().AllNames;
    ws().files.NamesFileName = dir_ / "Darvent" / "Darvent.nam";
    act("LassoGrn")->trigger();
    press({150, 150});
    EXPECT_TRUE(ws().modes.LassoDrawing);
    for (QPoint p : {QPoint(151, 150), QPoint(650, 150), QPoint(650, 650), QPoint(150, 650)}) move(p, Qt::LeftButton);
    EXPECT_EQ(ws().modes.InputPoints.size(), 4u);
    release({150, 650});
    EXPECT_FALSE(ws().modes.LassoDrawing);
    const TObjList& list = ws().map.ObjList;
    // The two streets lie inside; the house crosses the lasso; the tree and
    // the contour are outside.
    EXPECT_EQ(list[0]->PointCount(), 3);
    EXPECT_EQ(list[1]->PointCount(), 2);
    EXPECT_GT(list[2]->PointCount(), 0);
    EXPECT_EQ(list[3]->PointCount(), 0);
    EXPECT_EQ(list[4]->PointCount(), 0);
    EXPECT_EQ(w_->creation().SelectedObjects().size(), 3u);
    EXPECT_FALSE(ws().map.MapModified);

    // The kind and meridian are those read by "Открыть" (kept for the
    // district maps), not those of the record in hand.
    ws().files.OpenedCoordKind = 2;
    ws().files.OpenedAxialMeridian = 69;
    ws().map.Orientation.CoordKind = 1;
    ws().map.Orientation.AxialMeridian = 0;
    dialogs_.files.push_back(QString::fromStdString((dir_ / "cut.map").string()));
    act("SaveLasso")->trigger();
    EXPECT_EQ(ws().files.MapFileName, dir_ / "cut.bin");
    ASSERT_TRUE(fs::exists(dir_ / "cut.or"));
    const OrientationRecord o = ReadOrientation(dir_ / "cut.or");
    EXPECT_EQ(o.XMax, 1100);  // the view's extent
    EXPECT_EQ(o.YMin, -100);
    EXPECT_EQ(o.CoordKind, 2);
    EXPECT_EQ(o.AxialMeridian, 69);
    EXPECT_EQ(o.NextNode, 10);
    // Only the label inside goes with the cut map.
    std::vector<NameRef> saved;
    LoadNames(dir_ / "cut.nam", saved);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0]->OldName, "in");

    dialogs_.files.push_back(QString::fromStdString((dir_ / "cut.bin").string()));
    act("FileOpen")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), 3u);
    for (const auto& obj : ws().map.ObjList)
        for (const TXY& p : obj->Points) {
            EXPECT_GE(p.Y, 150 - 100 - 2);
            EXPECT_LE(p.Y, 650 - 100 + 2);
            EXPECT_LE(p.X, 1100 - 150 + 2);
            EXPECT_GE(p.X, 1100 - 650 - 2);
        }
}

TEST_F(Districts, AClickWithoutALassoCutsNothing) {
    act("LassoGrn")->trigger();
    press({300, 300});
    release({300, 300});
    for (const auto& o : ws().map.ObjList) EXPECT_GT(o->PointCount(), 0);
    EXPECT_FALSE(ws().map.MapModified);
}

TEST_F(Districts, ComposedObjectSavedAsTheBoundaryOfAFerganaDistrict) {
    fs::create_directories(dir_ / "fergaobl");
    const std::string ray = "Dist;dist;\r\n";
    writeFileAtomically(dir_ / "fergaobl" / "fergaobl.ray", std::vector<uint8_t>(ray.begin(), ray.end()));
    // Compose an area from the first street.
    ObjectCreation& cr = w_->creation();
    cr.OtborObjClick();
    click({300, 300});
    cr.Add1Click();
    cr.tip3Click();
    ws().classifier.CurrentSemantic.Code = 1010;
    cr.FormirClick();
    cr.SaveNewObj1Click();
    ASSERT_TRUE(act("SaveRay")->isEnabled());
    dialogs_.onDialog = [&](QDialog& d) {
        auto& dlg = static_cast<TRayonDlg&>(d);
        EXPECT_EQ(dlg.list()->count(), 1);
        dlg.list()->setCurrentRow(0);
        dlg.button("OKBtn")->click();
        return dlg.result();
    };
    act("SaveRay")->trigger();
    EXPECT_EQ(ws().files.CityFolderName, "fergaobl");
    EXPECT_EQ(ws().files.CityDisplayName, QStringLiteral("Ферганский"));
    TObjList back;
    ReadBoundaryFile(dir_ / "fergaobl" / "dist" / "dist.grn", back);
    ASSERT_EQ(back.size(), 1u);
    const TObj& b = *back[0];
    EXPECT_EQ(b.Number, 0);
    EXPECT_EQ(b.StartNode, -1);
    EXPECT_EQ(b.EndNode, -1);
    EXPECT_EQ(b.Kind, 3);
    EXPECT_EQ(b.Code, 1010);
    EXPECT_EQ(b.Name, "Dist");
    EXPECT_EQ(b.BrushColor, 0xFFFFFF);  // no colour chosen
    EXPECT_EQ(b.BrushStyle, 0);
    EXPECT_EQ(b.PenColor, 0);
    EXPECT_EQ(b.PenWidth, 0);
    EXPECT_EQ(b.ExtraInt, -1);
    // The street's three vertices and the closing one.
    ASSERT_EQ(b.PointCount(), 4);
    EXPECT_EQ(b.Points[0], toMap({200, 300}));
    EXPECT_EQ(b.Points[2], toMap({400, 500}));
    EXPECT_EQ(b.Points[3], b.Points[0]);
    EXPECT_FALSE(act("SaveRay")->isEnabled());
    EXPECT_FALSE(act("AnklvSave")->isEnabled());
}

TEST_F(Districts, ListEditorsReadAndWriteTheListFiles) {
    const std::string vil = "\xC3\xEE\xF0\xEE\xE4;Darvent;\r\nB;bb;\r\n";
    writeFileAtomically(dir_ / "Viloyats.txt", std::vector<uint8_t>(vil.begin(), vil.end()));
    dialogs_.onDialog = [&](QDialog& d) {
        auto& e = static_cast<ListEditorDialog&>(d);
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Список вилоятов"));
        EXPECT_EQ(e.names()->toPlainText(), QStringLiteral("Город\nB"));
        EXPECT_EQ(e.files()->toPlainText(), QStringLiteral("Darvent\nbb"));
        // A second editor with fewer lines: empty file fields.
        e.names()->setPlainText(QStringLiteral("Город\nB\nC"));
        e.files()->setPlainText(QStringLiteral("Darvent"));
        e.button("SaveFile")->click();
        EXPECT_EQ(e.result(), QDialog::Accepted);  // it also closes
        return e.result();
    };
    act("Viloyat1")->trigger();
    const auto written = readWholeFile(dir_ / "Viloyats.txt");
    EXPECT_EQ(std::string(written.begin(), written.end()), "\xC3\xEE\xF0\xEE\xE4;Darvent;\r\nB;;\r\nC;;\r\n");

    // The district list of the city: its folder is made when missing.
    fs::remove_all(city());
    dialogs_.onDialog = [&](QDialog& d) {
        auto& e = static_cast<ListEditorDialog&>(d);
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Список туманов"));
        EXPECT_TRUE(e.names()->toPlainText().isEmpty());
        e.names()->setPlainText(QStringLiteral("Север"));
        e.files()->setPlainText(QStringLiteral("sever"));
        e.button("SaveBtn")->click();
        EXPECT_TRUE(e.isVisible() || e.result() != QDialog::Accepted);  // stays open
        return QDialog::Rejected;
    };
    act("Tuman")->trigger();
    const auto ray = readWholeFile(city() / "Darvent.ray");
    EXPECT_EQ(std::string(ray.begin(), ray.end()), "\xD1\xE5\xE2\xE5\xF0;sever;\r\n");
    // A stem that would name a file elsewhere is not saved.
    dialogs_.clear();
    dialogs_.onDialog = [&](QDialog& d) {
        auto& e = static_cast<ListEditorDialog&>(d);
        e.names()->setPlainText(QStringLiteral("Север\nЮг"));
        e.files()->setPlainText(QStringLiteral("sever\n../yug"));
        e.button("SaveBtn")->click();
        return QDialog::Rejected;
    };
    act("Tuman")->trigger();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_TRUE(messages()[0].contains(QStringLiteral("строка 2: недопустимое имя файла тумана \"../yug\"")))
        << messages()[0].toStdString();
    EXPECT_EQ(readWholeFile(city() / "Darvent.ray"), ray);
}

TEST_F(Districts, HiddenButtonsBuildFrontierMergeSettlementsAndCutADistrictMap) {
    // A second window with every tool shown.
    w_.reset();
    const std::string vil = "";
    // District b gets a boundary file too; a settlement file for each.
    TObjList b;
    b.appendAsIs(boundary("\xC7\xE0\xF0\xFF", square(500, 100, 900, 500)));
    RewriteBoundaryFile(city() / "b.grn", b);
    fs::create_directories(city() / "a");
    fs::create_directories(city() / "b");
    SettlementList s;
    s.push_back(std::make_unique<TNasPunkt>());
    s[0]->Text1 = "one";
    s[0]->setText6("six");
    BinWriter w;
    EncodeSettlement(w, *s[0]);
    writeFileAtomically(city() / "b" / "b.nsp", w.data());
    AppOptions o;
    o.startDir = dir_;
    o.screenWidth = 1000;
    o.dialogs = &dialogs_;
    o.allTools = true;
    w_ = std::make_unique<MainWindow>(o);
    MapView& v = ws().view.view();
    v.Scale = 1;
    ws().view.image = QImage(v.imageSize(), QImage::Format_RGB32);
    RedrawWithProgress(ws());
    dialogs_.clear();

    dialogs_.onDialog = [&](QDialog& d) {
        auto& dlg = static_cast<TRayonDlg&>(d);
        for (const char* shown : {"SpeedButton1", "JoinNspButton", "CreaFrontierTum", "Button1"})
            EXPECT_TRUE(dlg.button(shown)->isVisibleTo(&dlg)) << shown;
        dlg.button("CreaFrontierTum")->click();
        dlg.button("JoinNspButton")->click();
        dlg.list()->setCurrentRow(0);
        dlg.button("SpeedButton1")->click();
        return QDialog::Rejected;
    };
    act("RayonDlgItem")->trigger();
    EXPECT_TRUE(messages().empty()) << messages().front().toStdString();
    // "frontier.tum": the two districts' boundaries in list order, pen width 2.
    TObjList tum;
    ReadBoundaryFile(city() / "frontier.tum", tum);
    ASSERT_EQ(tum.size(), 2u);
    EXPECT_EQ(tum[0]->Name, "\xD6\xE5\xED\xF2\xF0");
    EXPECT_EQ(tum[1]->Name, "\xC7\xE0\xF0\xFF");
    EXPECT_EQ(tum[0]->PenWidth, 2);
    // The region's settlements: only b has a file.
    EXPECT_EQ(readWholeFile(city() / "Darvent.nsp"), w.data());
    // "Создать карту": a's map cut from the city; the boundary comes first,
    // then the objects inside: both streets and the house are inside the
    // square 100..500 in part or whole; the tree and the contour are not.
    TObjList cut;
    LoadObjects(city() / "a.bin", cut);
    ASSERT_GE(cut.size(), 3u);
    EXPECT_EQ(cut[0]->Name, "\xD6\xE5\xED\xF2\xF0");
    EXPECT_EQ(cut[1]->Code, 3060);
    EXPECT_EQ(cut[1]->PointCount(), 3);
    EXPECT_EQ(cut[2]->Code, 3060);
    EXPECT_EQ(cut.size(), 3u);
    // The orientation is the city's; the district's map is open now.
    EXPECT_EQ(ReadOrientation(city() / "a.or").XMax, 1100);
    EXPECT_EQ(ws().files.MapFileName, city() / "a.or");
    EXPECT_FALSE(ws().map.MapModified);
}

namespace {
// The generated sample city in a start folder of its own, and the program
// opened on it with scripted dialogs.
class SampleCityDistricts : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("dm_sample_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        sample::writeStartFolder(dir_, {});
    }
    void TearDown() override {
        if (w_) w_->workspace().map.MapModified = false;
        w_.reset();
        fs::remove_all(dir_);
    }
    MainWindow& open(bool allTools) {
        AppOptions o;
        o.startDir = dir_;
        o.screenWidth = 1000;
        o.dialogs = &dialogs_;
        o.allTools = allTools;
        w_ = std::make_unique<MainWindow>(o);
        w_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
        return *w_;
    }
    fs::path dir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<MainWindow> w_;
};
}  // namespace

TEST_F(SampleCityDistricts, ButtonShownWithAllToolsOpensTheDistrictUnderTheClick) {
    MainWindow* w = &open(true);
    const fs::path& dir = dir_;
    ScriptedDialogs& dialogs = dialogs_;
    QAction* button = w->actions()["TumanMapButton"];
    EXPECT_TRUE(button->isVisible());
    ASSERT_EQ(w->districts().DistrictBounds.size(), 5u);
    // The middle of the south-eastern district on the screen.
    const TObj& b = *w->districts().DistrictBounds[4];
    double x = 0, y = 0;
    for (size_t i = 0; i + 1 < b.Points.size(); ++i) {
        x += b.Points[i].X;
        y += b.Points[i].Y;
    }
    const TGn px = w->workspace().view.view().toPixel({x / 4, y / 4});
    button->trigger();
    QTest::mouseClick(w->imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(px.PX, px.PY));
    EXPECT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();
    EXPECT_EQ(w->workspace().files.MapFileName, dir / "Darvent" / "yugvost.or");
    TObjList expected;
    LoadObjects(dir / "Darvent" / "yugvost.bin", expected);
    EXPECT_EQ(w->workspace().map.ObjList.size(), expected.size());
    EXPECT_FALSE(button->isChecked());
}

TEST_F(Districts, AnUnlistedBoundaryForgetsTheFileAClickOutsideReopensTheLastDistrict) {
    pickAt({300, 300});
    ASSERT_EQ(ws().files.MapFileName, city() / "a.or");
    // Back to the city: the choice is forgotten on opening it.
    act("FergKartaMenu")->trigger();
    ASSERT_EQ(w_->districts().DistrictFile, "");
    MapView& v = ws().view.view();
    v.Scale = 1;
    ws().view.image = QImage(v.imageSize(), QImage::Format_RGB32);
    pickAt({300, 300});
    ASSERT_EQ(ws().files.MapFileName, city() / "a.or");
    act("FergKartaMenu")->trigger();
    v.Scale = 1;
    ws().view.image = QImage(v.imageSize(), QImage::Format_RGB32);
    // A district chosen, then a click in the unlisted boundary only: no file.
    w_->districts().DistrictName = "\xD6\xE5\xED\xF2\xF0";
    w_->districts().DistrictFile = "a";
    dialogs_.clear();
    pickAt({60, 60});
    EXPECT_EQ(messages(), (std::vector<QString>{QStringLiteral("Не выбран туман")}));
    EXPECT_EQ(ws().files.MapFileName, city() / "Darvent.or");
    // A click outside every boundary reopens the district chosen last.
    w_->districts().DistrictFile = "a";
    dialogs_.clear();
    pickAt({950, 950});
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(ws().files.MapFileName, city() / "a.or");
}

TEST_F(SampleCityDistricts, ALassoCutSavedUnderANewNameAndReopenedShowsOnlyTheCutPart) {
    MainWindow* w = &open(false);
    const fs::path& dir = dir_;
    ScriptedDialogs& dialogs = dialogs_;
    Workspace& ws = w->workspace();
    const size_t all = ws.map.ObjList.size();
    // A square lasso over the middle of the picture.
    const QSize size = ws.view.image.size();
    const int l = size.width() / 3, t = size.height() / 3, r = 2 * size.width() / 3, b = 2 * size.height() / 3;
    QWidget* img = w->imageWidget();
    w->actions()["LassoGrn"]->trigger();
    QTest::mousePress(img, Qt::LeftButton, Qt::NoModifier, QPoint(l, t));
    for (QPoint p : {QPoint(l + 1, t), QPoint(r, t), QPoint(r, b), QPoint(l, b)}) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), img->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(img, &e);
    }
    QTest::mouseRelease(img, Qt::LeftButton, Qt::NoModifier, QPoint(l, b));
    const size_t kept = w->creation().SelectedObjects().size();
    ASSERT_GT(kept, 10u);
    ASSERT_LT(kept, all);
    dialogs.files.push_back(QString::fromStdString((dir / "Darvent" / "middle.bin").string()));
    w->actions()["SaveLasso"]->trigger();
    dialogs.files.push_back(QString::fromStdString((dir / "Darvent" / "middle.bin").string()));
    w->actions()["FileOpen"]->trigger();
    EXPECT_EQ(ws.files.MapFileName, dir / "Darvent" / "middle.bin");
    EXPECT_EQ(ws.map.ObjList.size(), kept);
    // Every vertex lies in the lasso's square (a crossing on its edge).
    MapView opening;
    opening.setExtent(ReadOrientation(dir / "Darvent" / "Darvent.or"));
    opening.FitScaleToScreen(1000);
    opening.Scale *= kOpenZoom;
    for (const auto& obj : ws.map.ObjList)
        for (const TXY& p : obj->Points) {
            const TGn g = opening.toPixel(p);
            EXPECT_TRUE(g.PX >= l - 1 && g.PX <= r + 1 && g.PY >= t - 1 && g.PY <= b + 1) << g.PX << "," << g.PY;
        }
}

TEST_F(SampleCityDistricts, ADistrictMapIsShownOverItsOwnObjectsFromTheTopLeft) {
    MainWindow* w = &open(true);
    w->resize(1200, 800);
    QApplication::processEvents();
    // Scrolled away on the city first.
    auto* box = w->findChild<QScrollArea*>();
    ASSERT_NE(box, nullptr);
    box->horizontalScrollBar()->setValue(box->horizontalScrollBar()->maximum());
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    const TObj& b = *w->districts().DistrictBounds[4];
    double x = 0, y = 0;
    for (size_t i = 0; i + 1 < b.Points.size(); ++i) {
        x += b.Points[i].X;
        y += b.Points[i].Y;
    }
    const TGn px = w->workspace().view.view().toPixel({x / 4, y / 4});
    w->actions()["TumanMapButton"]->trigger();
    QTest::mouseClick(w->imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(px.PX, px.PY));
    ASSERT_EQ(w->workspace().files.MapFileName, dir_ / "Darvent" / "yugvost.or");
    QApplication::processEvents();
    // The extent of the district's own points (its record holds the city's).
    TObjList objects;
    LoadObjects(dir_ / "Darvent" / "yugvost.bin", objects);
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (const auto& o : objects)
        for (const TXY& p : o->Points) {
            xmin = std::min(xmin, p.X), xmax = std::max(xmax, p.X);
            ymin = std::min(ymin, p.Y), ymax = std::max(ymax, p.Y);
        }
    const OrientationRecord rec = ReadOrientation(dir_ / "Darvent" / "yugvost.or");
    ASSERT_LT(ymax - ymin, 0.7 * (rec.YMax - rec.YMin));  // the case that went wrong
    const MapView& v = w->workspace().view.view();
    EXPECT_DOUBLE_EQ(v.ViewXMax, xmax);
    EXPECT_DOUBLE_EQ(v.ViewXMin, xmin);
    EXPECT_DOUBLE_EQ(v.ViewYMax, ymax);
    EXPECT_DOUBLE_EQ(v.ViewYMin, ymin);
    // 1.2 screens wide (the screen: 1000 pixels), from the top-left.
    EXPECT_EQ(w->workspace().view.image.width(), 1200);
    EXPECT_EQ(box->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(box->verticalScrollBar()->value(), 0);
    // The window shows the district: most of what is in view is drawn on.
    const QImage shown = w->workspace().view.image.copy(QRect(QPoint(0, 0), box->viewport()->size()));
    int white = 0;
    for (int r = 0; r < shown.height(); r += 4)
        for (int c = 0; c < shown.width(); c += 4) white += shown.pixel(c, r) == qRgb(255, 255, 255);
    EXPECT_LT(white, (shown.height() / 4) * (shown.width() / 4) / 2);
    // "Вся карта" after zooming in: the district's extent in the window, no unused band.
    QTest::keyClick(w->imageWidget(), Qt::Key_Plus);
    ASSERT_NE(v.ViewYMin, ymin);
    w->actions()["WholeMap"]->trigger();
    EXPECT_DOUBLE_EQ(v.ViewXMax, xmax);
    EXPECT_DOUBLE_EQ(v.ViewYMin, ymin);
    // The picture fills the window, without scroll bars.
    QApplication::processEvents();
    EXPECT_EQ(w->workspace().view.image.size(), box->viewport()->size());
    EXPECT_FALSE(box->horizontalScrollBar()->isVisible() || box->verticalScrollBar()->isVisible());
}
