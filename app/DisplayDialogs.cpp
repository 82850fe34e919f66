#include "Translation.h"
#include "DisplayDialogs.h"

#include "classifier/Semantics.h"
#include "display/DialogPort.h"
#include "display/Layers.h"
#include "display/Render.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

// ---- "Формирование слоев" ---------------------------------------------------

LayerFormDialog::LayerFormDialog(const fs::path& startDir, const ActiveSemanticList& semantics, DialogPort& dialogs,
                                 QWidget* parent)
    : QDialog(parent), startDir_(startDir), semantics_(semantics), dialogs_(dialogs) {
    setObjectName(QStringLiteral("SloyForm"));
    setWindowTitle(QStringLiteral("Формирование слоев"));
    auto* lay = new QHBoxLayout(this);
    ListBox1 = new QListWidget;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::MultiSelection);
    for (const auto& line : semantics_.Lines) ListBox1->addItem(fromCp1251(SemanticField(line, 0)));
    lay->addWidget(ListBox1, 2);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Существующие слои")));
    RichEdit1 = new QPlainTextEdit;
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    right->addWidget(RichEdit1, 1);
    right->addWidget(new QLabel(QStringLiteral("Название  слоя")));
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    right->addWidget(Edit1);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Добавить"));
    add->setObjectName(QStringLiteral("AddButton"));
    auto* del = new QPushButton(QStringLiteral("Удалить"));
    del->setObjectName(QStringLiteral("DelButton"));
    auto* cancel = new QPushButton(StandardButtonText(QDialogButtonBox::Cancel));
    cancel->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(add);
    buttons->addWidget(del);
    buttons->addWidget(cancel);
    right->addLayout(buttons);
    lay->addLayout(right, 1);
    connect(add, &QPushButton::clicked, this, [this] { addClicked(); });
    connect(del, &QPushButton::clicked, this, [this] { removeClicked(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Text selected among the existing layers goes into the name field.
    connect(RichEdit1, &QPlainTextEdit::selectionChanged, this, [this] {
        const QString t = RichEdit1->textCursor().selectedText();
        if (!t.isEmpty()) Edit1->setText(t);
    });
    try {
        list_ = LoadLayerList(startDir_);
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
    }
    showList();
    resize(640, 480);
}

void LayerFormDialog::showList() {
    QStringList lines;
    for (const auto& n : list_) lines << fromCp1251(n);
    RichEdit1->setPlainText(lines.join(QLatin1Char('\n')));
}

void LayerFormDialog::addClicked() {
    const std::string name = toCp1251(Edit1->text());
    if (name.empty()) {
        dialogs_.message(QStringLiteral("Не указано название слоя!"));
        return;
    }
    std::vector<int> codes;
    std::vector<QListWidgetItem*> chosen;
    for (int i = 0; i < ListBox1->count(); ++i) {
        QListWidgetItem* it = ListBox1->item(i);
        if (!it->isSelected()) continue;
        if (size_t(i) < semantics_.Lines.size()) codes.push_back(std::atoi(SemanticField(semantics_.Lines[size_t(i)], 1).c_str()));
        chosen.push_back(it);
    }
    for (QListWidgetItem* it : chosen) it->setSelected(false);
    if (codes.empty()) {
        dialogs_.message(QStringLiteral("Не отобраны элементы слоя!"));
        return;
    }
    // Two layers whose names begin alike share one codes file: the other
    // layer's codes are not replaced without asking.
    if (const std::string* other = LayerSharingCodes(list_, name)) {
        const QString text = QStringLiteral("Слои «%1» и «%2» хранят коды в одном файле «%3.rtf». Заменить коды слоя «%1» "
                                            "кодами слоя «%2»?")
                                 .arg(fromCp1251(*other), fromCp1251(name), fromCp1251(name.substr(0, 5)));
        if (dialogs_.question(text) != DialogPort::Answer::Yes) {
            for (QListWidgetItem* it : chosen) it->setSelected(true);  // No: as it was
            return;
        }
    }
    try {
        AddLayer(startDir_, list_, name, codes);
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
    }
    showList();
}

void LayerFormDialog::removeClicked() {
    const QString sel = RichEdit1->textCursor().selectedText();
    try {
        if (RemoveLayer(startDir_, list_, toCp1251(sel))) showList();
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
    }
}

// ---- "Вывод по слоям" -----------------------------------------------------------

LayerShowDialog::LayerShowDialog(const std::vector<std::string>& layers, bool noAreaFill, QWidget* parent)
    : QDialog(parent), names_(layers) {
    setObjectName(QStringLiteral("SloyShow"));
    setWindowTitle(QStringLiteral("Вывод по слоям"));
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(new QLabel(QStringLiteral("Существующие слои")));
    CheckListBox1 = new QListWidget;
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    for (const auto& n : names_) {
        auto* it = new QListWidgetItem(fromCp1251(n), CheckListBox1);
        it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
        it->setCheckState(Qt::Unchecked);
    }
    lay->addWidget(CheckListBox1, 1);
    NoFill = new QPushButton(QStringLiteral("Без заливки фона"));
    NoFill->setObjectName(QStringLiteral("NoFillButton"));
    NoFill->setCheckable(true);
    NoFill->setChecked(noAreaFill);
    lay->addWidget(NoFill);
    auto* row = new QHBoxLayout;
    auto* showButton = new QPushButton(QStringLiteral("Показать"));
    showButton->setObjectName(QStringLiteral("ShowButton"));
    auto* close = new QPushButton(StandardButtonText(QDialogButtonBox::Close));
    close->setObjectName(QStringLiteral("CloseButton"));
    row->addWidget(showButton);
    row->addWidget(close);
    lay->addLayout(row);
    connect(NoFill, &QPushButton::toggled, this, [this](bool on) {
        if (noFillChanged) noFillChanged(on);
    });
    connect(showButton, &QPushButton::clicked, this, [this] {
        if (show && show(checkedLayers())) accept();
    });
    connect(close, &QPushButton::clicked, this, [this] {
        if (closed) closed();
        reject();
    });
    resize(360, 420);
}

std::vector<std::string> LayerShowDialog::checkedLayers() const {
    std::vector<std::string> out;
    for (int i = 0; i < CheckListBox1->count(); ++i)
        if (CheckListBox1->item(i)->checkState() == Qt::Checked) out.push_back(names_[size_t(i)]);
    return out;
}

// ---- "Растр" ----------------------------------------------------------------------

RasterDialog::RasterDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Rastr"));
    setWindowTitle(QStringLiteral("Растр"));
    auto* lay = new QVBoxLayout(this);
    Ves = new QRadioButton(QStringLiteral("Весь файл"));
    Ves->setObjectName(QStringLiteral("Ves"));
    Ramka = new QRadioButton(QStringLiteral("Рамку"));
    Ramka->setObjectName(QStringLiteral("Ramka"));
    Ves->setChecked(true);
    lay->addWidget(Ves);
    lay->addWidget(Ramka);
    auto* save = new QGroupBox(QStringLiteral("Сохранить"));
    auto* saveLay = new QVBoxLayout(save);
    VFile = new QCheckBox(QStringLiteral("В файле"));
    VFile->setObjectName(QStringLiteral("VFile"));
    VBufer = new QCheckBox(QStringLiteral("В буфере обмена"));
    VBufer->setObjectName(QStringLiteral("VBufer"));
    VBufer->setChecked(true);
    saveLay->addWidget(VFile);
    saveLay->addWidget(VBufer);
    lay->addWidget(save);
    SNazv = new QCheckBox(QStringLiteral("С названиями"));
    SNazv->setObjectName(QStringLiteral("SNazv"));
    SNazv->setChecked(true);
    BezNazv = new QCheckBox(QStringLiteral("Без названий"));
    BezNazv->setObjectName(QStringLiteral("BezNazv"));
    lay->addWidget(SNazv);
    lay->addWidget(BezNazv);
    // The two exclude each other: checking one clears the other.
    connect(SNazv, &QCheckBox::toggled, this, [this](bool on) { BezNazv->setChecked(!on); });
    connect(BezNazv, &QCheckBox::toggled, this, [this](bool on) { SNazv->setChecked(!on); });
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QDialogButtonBox::Ok);
    buttons->addButton(QDialogButtonBox::Cancel);
    RussianButtons(*buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    lay->addWidget(buttons);
}

bool RasterDialog::wholeFile() const { return Ves->isChecked(); }
bool RasterDialog::toFile() const { return VFile->isChecked(); }
bool RasterDialog::toClipboard() const { return VBufer->isChecked(); }
bool RasterDialog::withNames() const { return SNazv->isChecked(); }

// ---- "Color" ------------------------------------------------------------------------

namespace {
const char* const kPenHints[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot", "Clear"};
// Brush buttons in their order on the dialog, with the brush style each sets.
const int kBrushOrder[] = {0, 2, 3, 4, 5, 6, 7, 1};
const char* const kBrushHints[] = {"Сплошная", "Горизонтальная", "Вертикальная", "Диагональная вправо",
                                   "Диагональная влево", "Клетка", "Косая клетка", "Без заливки"};
}  // namespace

StyleDialog::StyleDialog(const QString& heading, WorkingStyle style, bool haveObject, int32_t objectBrushColor,
                         DialogPort& dialogs, QWidget* parent)
    : QDialog(parent), style_(style), haveObject_(haveObject), objectBrushColor_(objectBrushColor), dialogs_(dialogs) {
    setObjectName(QStringLiteral("ColorForm"));
    setWindowTitle(QStringLiteral("Color"));
    auto* lay = new QVBoxLayout(this);
    auto* head = new QLabel(heading);
    head->setObjectName(QStringLiteral("StaticText1"));
    lay->addWidget(head);
    auto* penRow = new QHBoxLayout;
    PenColorButton = new QPushButton(QStringLiteral("Выбор цвета"));
    PenColorButton->setObjectName(QStringLiteral("PenColorButton"));
    penRow->addWidget(PenColorButton);
    penRow->addWidget(new QLabel(QStringLiteral("Толщина линии")));
    Width = new QSpinBox;
    Width->setObjectName(QStringLiteral("Width"));
    Width->setRange(1, 16);
    Width->setValue(std::clamp(style_.PenWidth, 1, 16));
    penRow->addWidget(Width);
    lay->addLayout(penRow);
    auto* penStyles = new QHBoxLayout;
    for (int i = 0; i < 6; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(kPenHints[i]));
        b->setObjectName(QStringLiteral("Pen%1").arg(i));
        b->setToolTip(QString::fromLatin1(kPenHints[i]));
        penStyles->addWidget(b);
        penButtons_.push_back(b);
        connect(b, &QPushButton::clicked, this, [this, i] {
            style_.PenStyle = uint8_t(i);
            redrawSamples();
        });
    }
    lay->addLayout(penStyles);
    LineSample = new QLabel;
    LineSample->setObjectName(QStringLiteral("LineSample"));
    LineSample->setFixedSize(220, 20);
    lay->addWidget(LineSample);
    auto* brushStyles = new QHBoxLayout;
    for (int k = 0; k < 8; ++k) {
        auto* b = new QPushButton;
        b->setObjectName(QStringLiteral("Brush%1").arg(kBrushOrder[k]));
        b->setToolTip(QString::fromUtf8(kBrushHints[k]));
        QPixmap pm(18, 18);
        pm.fill(Qt::white);
        {
            QPainter p(&pm);
            p.setPen(Qt::black);
            p.setBrush(windowsBrush(0, uint8_t(kBrushOrder[k])));
            p.drawRect(0, 0, 17, 17);
        }
        b->setIcon(QIcon(pm));
        brushStyles->addWidget(b);
        brushButtons_.push_back(b);
        const int value = kBrushOrder[k];
        connect(b, &QPushButton::clicked, this, [this, value] {
            style_.BrushStyle = uint8_t(value);
            redrawSamples();
        });
    }
    lay->addLayout(brushStyles);
    FillColorButton = new QPushButton(QStringLiteral("Цвет заливки"));
    FillColorButton->setObjectName(QStringLiteral("FillColorButton"));
    lay->addWidget(FillColorButton);
    AreaSample = new QLabel;
    AreaSample->setObjectName(QStringLiteral("AreaSample"));
    AreaSample->setFixedSize(220, 40);
    lay->addWidget(AreaSample);
    auto* group = new QGroupBox(QStringLiteral("Принять "));
    auto* gl = new QVBoxLayout(group);
    ForObject = new QRadioButton(QStringLiteral("Для выбранного объекта"));
    ForObject->setObjectName(QStringLiteral("ForObject"));
    ForAll = new QRadioButton(QStringLiteral("Для всех объектов данного типа"));
    ForAll->setObjectName(QStringLiteral("ForAll"));
    gl->addWidget(ForObject);
    gl->addWidget(ForAll);
    lay->addWidget(group);
    auto* row = new QHBoxLayout;
    Accept = new QPushButton(QStringLiteral("Принять"));
    Accept->setObjectName(QStringLiteral("AcceptButton"));
    auto* cancel = new QPushButton(QStringLiteral("Отмена"));
    cancel->setObjectName(QStringLiteral("CancelButton"));
    row->addWidget(Accept);
    row->addWidget(cancel);
    lay->addLayout(row);

    connect(PenColorButton, &QPushButton::clicked, this, [this] {
        if (const auto c = dialogs_.chooseColor(colorFromTColor(style_.PenColor))) {
            style_.PenColor = tcolorFromColor(*c);
            redrawSamples();
        }
    });
    connect(FillColorButton, &QPushButton::clicked, this, [this] {
        if (!haveObject_) return;
        if (const auto c = dialogs_.chooseColor(colorFromTColor(objectBrushColor_))) {
            style_.BrushColor = tcolorFromColor(*c);
            redrawSamples();
        }
    });
    connect(Width, &QSpinBox::valueChanged, this, [this](int v) {
        style_.PenWidth = v;
        redrawSamples();
    });
    connect(Accept, &QPushButton::clicked, this, [this] { accepted(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    redrawSamples();
}

QPushButton* StyleDialog::penStyleButton(int style) const {
    return style >= 0 && style < 6 ? penButtons_[size_t(style)] : nullptr;
}

QPushButton* StyleDialog::brushStyleButton(int style) const {
    for (int k = 0; k < 8; ++k)
        if (kBrushOrder[k] == style) return brushButtons_[size_t(k)];
    return nullptr;
}

StyleDialog::Target StyleDialog::target() const {
    if (ForObject->isChecked()) return Target::Object;
    if (ForAll->isChecked()) return Target::AllOfCode;
    return Target::None;
}

QImage StyleDialog::lineSample() const {
    QImage img(LineSample->size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(windowsPen(style_.PenColor, style_.PenWidth, style_.PenStyle));
    // From 5 pixels from the left to 5 pixels from the right, at height 10.
    p.drawLine(5, 10, img.width() - 5, 10);
    return img;
}

QImage StyleDialog::areaSample() const {
    QImage img(AreaSample->size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(windowsPen(style_.PenColor, style_.PenWidth, style_.PenStyle));
    p.setBrush(windowsBrush(style_.BrushColor, style_.BrushStyle));
    p.drawRect(QRect(5, 5, img.width() - 11, img.height() - 11));
    return img;
}

void StyleDialog::redrawSamples() {
    LineSample->setPixmap(QPixmap::fromImage(lineSample()));
    AreaSample->setPixmap(QPixmap::fromImage(areaSample()));
}

void StyleDialog::accepted() {
    if (target() == Target::None) {
        dialogs_.message(QStringLiteral("Не указано что изменять"));
        reject();
        return;
    }
    accept();
}

}  // namespace dm
