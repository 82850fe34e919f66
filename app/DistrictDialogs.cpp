#include "Translation.h"
#include "DistrictDialogs.h"

#include "display/DialogPort.h"
#include "display/Render.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

namespace {
QStringList lines(const QTextEdit* e) {
    QString text = e->toPlainText();
    if (text.isEmpty()) return {};
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text.split(QLatin1Char('\n'));
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = {}) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) b->setToolTip(hint);
    return b;
}
}  // namespace

// ---- the list editors ---------------------------------------------------------------

ListEditorDialog::ListEditorDialog(Kind kind, const fs::path& listFile, DialogPort& dialogs, QWidget* parent)
    : QDialog(parent), kind_(kind), path_(listFile), dialogs_(dialogs) {
    const bool regions = kind == Regions;
    setObjectName(regions ? QStringLiteral("SpisokViloyat") : QStringLiteral("SpisokTumans"));
    setWindowTitle(regions ? QStringLiteral("Список вилоятов") : QStringLiteral("Список туманов"));
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit2 = new QTextEdit(this);
    RichEdit2->setObjectName(QStringLiteral("RichEdit2"));
    for (QTextEdit* e : {RichEdit1, RichEdit2}) {
        e->setAcceptRichText(false);
        e->setLineWrapMode(QTextEdit::NoWrap);
    }
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(regions ? QStringLiteral("Вилояты") : QStringLiteral("Туманы"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Имя файла"), this), 0, 1);
    grid->addWidget(RichEdit1, 1, 0);
    grid->addWidget(RichEdit2, 1, 1);
    auto* buttons = new QHBoxLayout;
    QPushButton* saveBtn = pushButton(this, regions ? "SaveFile" : "SaveBtn", QStringLiteral("Сохранить"));
    QPushButton* exitBtn = pushButton(this, regions ? "BitBtn2" : "ExitBotton", QStringLiteral("Выход"));
    buttons->addWidget(saveBtn);
    buttons->addWidget(exitBtn);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(saveBtn, &QPushButton::clicked, this, [this] {
        // The region list's button also closes the window.
        if (save() && kind_ == Regions) accept();
    });
    connect(exitBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(520, 420);

    if (fileExistsCI(path_)) {
        try {
            QStringList n, f;
            for (const ListEntry& e : ReadPlainList(path_)) {
                n << fromCp1251(e.name);
                f << fromCp1251(e.file);
            }
            RichEdit1->setPlainText(n.join(QLatin1Char('\n')));
            RichEdit2->setPlainText(f.join(QLatin1Char('\n')));
        } catch (const std::exception& e) {
            dialogs_.error(QString::fromUtf8(e.what()));
        }
    }
}

QPushButton* ListEditorDialog::button(const char* name) const { return findChild<QPushButton*>(QLatin1String(name)); }

std::vector<ListEntry> ListEditorDialog::entries() const {
    const QStringList n = lines(RichEdit1), f = lines(RichEdit2);
    std::vector<ListEntry> out;
    for (int i = 0; i < n.size(); ++i) {
        ListEntry e;
        e.name = toCp1251(n[i]);
        if (i < f.size()) e.file = toCp1251(f[i]);
        e.line = i + 1;
        out.push_back(std::move(e));
    }
    return out;
}

bool ListEditorDialog::save() {
    try {
        if (kind_ == Districts) {
            // A stem that could name a file outside the region folder is
            // not written.
            std::vector<std::string> refused;
            for (const ListEntry& e : entries())
                if (!SafeStem(e.file)) refused.push_back(UnsafeStemText(path_, e) + ". Список не сохранён.");
            if (!refused.empty()) throw FileError(joinLines(refused));
            std::error_code ec;
            fs::create_directories(path_.parent_path(), ec);
            if (ec) throw FileError("Не удалось создать папку " + pathText(path_.parent_path()) + ": " + ReasonText(ec));
        }
        WritePlainList(resolvePathCase(path_), entries());
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

// ---- "Туманы" ---------------------------------------------------------------------------

TRayonDlg::TRayonDlg(DistrictTools& tools, DistrictState& st, DialogPort& dialogs, bool allTools, QWidget* parent)
    : QDialog(parent), tools_(tools), st_(st), dialogs_(dialogs) {
    setObjectName(QStringLiteral("RayonDlg"));
    setWindowTitle(QStringLiteral("Туманы"));
    auto* top = new QHBoxLayout(this);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setMinimumWidth(220);
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->hide();
    top->addWidget(ListBox1, 1);
    connect(ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { chooseDistrict(ListBox1->currentRow()); });
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this](int row) { chooseDistrict(row); });

    auto* side = new QVBoxLayout;
    top->addLayout(side);
    auto* colorBtn = new QToolButton(this);
    colorBtn->setObjectName(QStringLiteral("ColorButton"));
    colorBtn->setText(QStringLiteral("Цвет"));
    colorBtn->setToolTip(QStringLiteral("Выбор цвета района"));
    connect(colorBtn, &QToolButton::clicked, this, [this] { ColorButtonClick(); });
    side->addWidget(colorBtn);
    auto* group = new QGroupBox(QStringLiteral("Стиль заливки"), this);
    auto* g = new QGridLayout(group);
    static const char* const kBrushes[] = {"SolidBrush", "ClearBrush", "HorizontalBrush", "VerticalBrush",
                                           "FDiagonalBrush", "BDiagonalBrush", "CrossBrush", "DiagCrossBrush"};
    for (int i = 0; i < 8; ++i) {
        auto* b = new QToolButton(group);
        b->setObjectName(QLatin1String(kBrushes[i]));
        b->setFixedSize(28, 28);
        QPixmap pm(20, 20);
        pm.fill(Qt::white);
        {
            QPainter p(&pm);
            p.setPen(Qt::black);
            p.setBrush(windowsBrush(0, uint8_t(i)));
            p.drawRect(0, 0, 19, 19);
        }
        b->setIcon(QIcon(pm));
        connect(b, &QToolButton::clicked, this, [this, i] { SetBrushStyle(i); });
        g->addWidget(b, i / 4, i % 4);
    }
    side->addWidget(group);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(120, 40);
    side->addWidget(Image1);

    QPushButton* saveBtn = pushButton(this, "SaveButton", QStringLiteral("Сохранить"), QStringLiteral("Сохранить изменения цветов"));
    QPushButton* showGrn = pushButton(this, "ShowGrnButton", QStringLiteral("Показать границы "), QStringLiteral("Показать границы района"));
    QPushButton* mapBtn = pushButton(this, "MapButton", QStringLiteral("Вывести карту"), QStringLiteral("Вывести карту района"));
    QPushButton* okBtn = pushButton(this, "OKBtn", QStringLiteral("Показать"), QStringLiteral("Показать закраску"));
    QPushButton* okBit = pushButton(this, "OkBitBtn", StandardButtonText(QDialogButtonBox::Ok));
    QPushButton* cancel = pushButton(this, "CancelBtn", QStringLiteral("&Отмена"));
    QPushButton* cut = pushButton(this, "SpeedButton1", QStringLiteral("Создать карту"));
    QPushButton* join = pushButton(this, "JoinNspButton", QStringLiteral("Обновить список"),
                                   QStringLiteral("Обновить список населенных пунктов на область"));
    QPushButton* tum = pushButton(this, "CreaFrontierTum", QStringLiteral("tum"), QStringLiteral("Создать общий файл границ"));
    QPushButton* button1 = pushButton(this, "Button1", QStringLiteral("Сохранить границы "));
    for (QPushButton* b : {saveBtn, showGrn, mapBtn, okBtn, okBit, cancel, cut, join, tum, button1}) {
        b->setAutoDefault(false);
        side->addWidget(b);
    }
    for (QPushButton* b : {cut, join, tum, button1}) b->setVisible(allTools);
    side->addStretch(1);

    connect(saveBtn, &QPushButton::clicked, this, [this] { tools_.Recolour(); });
    connect(showGrn, &QPushButton::clicked, this, [this] { tools_.ShowOutline(); });
    connect(mapBtn, &QPushButton::clicked, this, [this] {
        // The dialog only closes: the flow that opened it does not go on.
        if (tools_.MapButtonClick() != DistrictTools::MapShown::Kept) done(kMapShownResult);
    });
    connect(okBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(okBit, &QPushButton::clicked, this, &QDialog::accept);
    connect(button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    connect(cut, &QPushButton::clicked, this, [this] { tools_.CreateDistrictMap(); });
    connect(join, &QPushButton::clicked, this, [this] { tools_.MergeSettlementFiles(entries()); });
    connect(tum, &QPushButton::clicked, this, [this] { tools_.BuildFrontier(entries()); });
    FormShow();
}

QPushButton* TRayonDlg::button(const char* name) const { return findChild<QPushButton*>(QLatin1String(name)); }

bool TRayonDlg::RayName(const std::string& folder) {
    ListBox1->clear();
    ListBox2->clear();
    std::vector<ListEntry> list;
    std::vector<std::string> refused;
    try {
        list = ReadDistrictList(DistrictListPath(tools_.startDir(), folder), &refused);
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
        return false;
    }
    // A line whose file stem could name a file elsewhere is left out.
    if (!refused.empty()) dialogs_.error(QString::fromStdString(joinLines(refused)));
    const QSignalBlocker block(ListBox1);
    for (const ListEntry& e : list) {
        ListBox1->addItem(fromCp1251(e.name));
        ListBox2->addItem(fromCp1251(e.file));
    }
    return true;
}

std::vector<ListEntry> TRayonDlg::entries() const {
    std::vector<ListEntry> out;
    for (int i = 0; i < ListBox1->count(); ++i) {
        ListEntry e;
        e.name = toCp1251(ListBox1->item(i)->text());
        if (i < ListBox2->count()) e.file = toCp1251(ListBox2->item(i)->text());
        out.push_back(std::move(e));
    }
    return out;
}

void TRayonDlg::chooseDistrict(int index) {
    if (index < 0 || index >= ListBox1->count()) return;
    st_.DistrictName = toCp1251(ListBox1->item(index)->text());
    st_.DistrictFile = index < ListBox2->count() ? toCp1251(ListBox2->item(index)->text()) : std::string();
}

void TRayonDlg::ColorButtonClick() {
    const auto c = dialogs_.chooseColor(colorFromTColor(st_.ChosenFillColor));
    st_.ChosenFillColor = c ? tcolorFromColor(*c) : 0xFFFFFF;
    paintSample();
}

void TRayonDlg::SetBrushStyle(int style) {
    st_.ChosenBrushStyle = style >= 0 && style <= 7 ? style : 1;
    paintSample();
}

void TRayonDlg::CancelBtnClick() {
    st_.DistrictName.clear();
    st_.DistrictFile.clear();
    st_.ChosenFillColor = 0xFFFFFF;
    st_.ChosenBrushStyle = 1;
    reject();
}

void TRayonDlg::FormShow() {
    st_.DistrictName.clear();
    st_.DistrictFile.clear();
    st_.ChosenFillColor = 0xFFFFFF;
    st_.ChosenBrushStyle = 0;
    QPixmap pm(Image1->size());
    pm.fill(Qt::white);
    Image1->setPixmap(pm);
}

void TRayonDlg::paintSample() {
    QPixmap pm(Image1->size());
    pm.fill(Qt::white);
    {
        QPainter p(&pm);
        p.setPen(Qt::black);
        p.setBrush(windowsBrush(st_.ChosenFillColor, uint8_t(st_.ChosenBrushStyle)));
        p.drawRect(0, 0, pm.width() - 1, pm.height() - 1);
    }
    Image1->setPixmap(pm);
}

}  // namespace dm
