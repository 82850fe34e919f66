#include "ClassifierEditorDialog.h"

#include "classifier/Semantics.h"
#include "display/DialogPort.h"
#include "display/Render.h"
#include "mapdata/Cp1251.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

// ---- the grid -------------------------------------------------------------------

ZnakGridWidget::ZnakGridWidget(ZnakGrid& grid, QWidget* parent) : QWidget(parent), grid_(grid) {
    setObjectName(QStringLiteral("ZnakGrid"));
    setFixedSize(190, 170);
}

QImage ZnakGridWidget::picture() const {
    QImage img(size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    // Cells of 10 pixels: column c from x = 10c + 10, row r from y = 10r.
    for (int c = 1; c <= 15; ++c)
        for (int r = 1; r <= 15; ++r)
            if (grid_.at(c, r)) p.fillRect(QRect(10 * c + 10, 10 * r, 10, 10), Qt::black);
    if (anchorMarked_) p.fillRect(QRect(10 * 8 + 11, 10 * 8 + 1, 9, 9), QColor(0, 0, 255));  // the anchor cell
    p.setPen(QColor(255, 0, 0));
    for (int x = 20; x <= 170; x += 10) p.drawLine(x, 10, x, 160);
    for (int y = 10; y <= 160; y += 10) p.drawLine(20, y, 170, y);
    return img;
}

void ZnakGridWidget::redraw() {
    anchorMarked_ = true;
    update();
}

void ZnakGridWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture());
}

void ZnakGridWidget::mousePressEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::RightButton) {
        if (composed) composed();
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    if (const auto cell = GridCellAt(pos.x(), pos.y())) {
        grid_.toggle(cell->first, cell->second);
        if (*cell == std::make_pair(8, 8)) anchorMarked_ = false;
        update();
    }
}

// ---- the editor ---------------------------------------------------------------------

namespace {
QPushButton* makeButton(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
const char* const kPenHints[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot", "Clear"};
}  // namespace

ClassifierEditorDialog::ClassifierEditorDialog(DialogPort& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("ClassifForm"));
    setWindowTitle(QStringLiteral("Классификатор"));
    model_.ask = [this](const std::string& q) {
        return dialogs_.question(QString::fromUtf8(q)) == DialogPort::Answer::Yes;
    };
    model_.tell = [this](const std::string& m) { dialogs_.message(QString::fromUtf8(m)); };
    preview_ = QImage(105, 105, QImage::Format_RGB32);
    preview_.fill(Qt::white);

    auto* lay = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("СОЗДАНИЕ И КОРРЕКТИРОВКА КЛАССИФИКАТОРА"));
    heading->setObjectName(QStringLiteral("Heading"));
    QFont hf = heading->font();
    hf.setBold(true);
    heading->setFont(hf);
    heading->setAlignment(Qt::AlignCenter);
    lay->addWidget(heading);
    auto* body = new QHBoxLayout;
    lay->addLayout(body, 1);

    // Left: the semantic text and the line being made.
    auto* left = new QVBoxLayout;
    FileLabel = new QLabel(QStringLiteral("Новый"));
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    left->addWidget(FileLabel);
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    left->addWidget(Memo1, 1);
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Название")), 0, 0);
    NameEdit = new QLineEdit;
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    fields->addWidget(NameEdit, 0, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("Код")), 1, 0);
    KodEdit = new QLineEdit;
    KodEdit->setObjectName(QStringLiteral("KodEdit"));
    fields->addWidget(KodEdit, 1, 1);
    fields->addWidget(makeButton("ShowZnak", QStringLiteral("Показать рисунок"), this), 1, 2);
    left->addLayout(fields);
    auto* pens = new QHBoxLayout;
    pens->addWidget(new QLabel(QStringLiteral("Толщина")));
    PenWidth = new QSpinBox;
    PenWidth->setObjectName(QStringLiteral("PenWidth"));
    PenWidth->setRange(1, 10);
    pens->addWidget(PenWidth);
    for (int i = 0; i < 6; ++i) {
        auto* b = makeButton(("Pen" + std::to_string(i)).c_str(), QString::fromLatin1(kPenHints[i]), this);
        b->setToolTip(QString::fromLatin1(kPenHints[i]));
        pens->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, i] {
            penStyleDigit_ = i + 1;
            redrawSamples();
        });
    }
    auto* penColor = makeButton("PenColor", QStringLiteral("Цвет линии"), this);
    pens->addWidget(penColor);
    left->addLayout(pens);
    LineSample = new QLabel;
    LineSample->setFixedSize(200, 16);
    left->addWidget(LineSample);
    auto* brushes = new QHBoxLayout;
    static const int kBrushDigits[] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int digit : kBrushDigits) {
        auto* b = makeButton(("Brush" + std::to_string(digit)).c_str(), QString::number(digit), this);
        QPixmap pm(14, 14);
        pm.fill(Qt::white);
        {
            QPainter p(&pm);
            p.setBrush(windowsBrush(0, BrushStyleFromDigit(digit)));
            p.drawRect(0, 0, 13, 13);
        }
        b->setIcon(QIcon(pm));
        brushes->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, digit] {
            brushStyleDigit_ = digit;
            redrawSamples();
        });
    }
    auto* brushColor = makeButton("BrushColor", QStringLiteral("Цвет заливки"), this);
    brushes->addWidget(brushColor);
    left->addLayout(brushes);
    AreaSample = new QLabel;
    AreaSample->setFixedSize(200, 30);
    left->addWidget(AreaSample);
    left->addWidget(makeButton("AddLine", QStringLiteral("Добавить"), this));
    body->addLayout(left, 3);

    // Right: the grid, the preview, browsing and the search.
    auto* right = new QVBoxLayout;
    grid_w = new ZnakGridWidget(grid_, this);
    grid_w->composed = [this] { compose(); };
    right->addWidget(grid_w);
    ZnakName = new QLabel;
    ZnakName->setObjectName(QStringLiteral("ZnakName"));
    right->addWidget(ZnakName);
    Preview = new QLabel;
    Preview->setObjectName(QStringLiteral("Preview"));
    Preview->setFixedSize(105, 105);
    right->addWidget(Preview);
    auto* scaleRow = new QHBoxLayout;
    scaleRow->addWidget(new QLabel(QStringLiteral("Масштаб изображения")));
    Scale = new QSpinBox;
    Scale->setObjectName(QStringLiteral("Scale"));
    Scale->setRange(1, 10);
    scaleRow->addWidget(Scale);
    right->addLayout(scaleRow);
    auto* store = makeButton("StoreZnak", QStringLiteral("Добавить "), this);
    store->setEnabled(false);
    right->addWidget(store);
    auto* browse = new QHBoxLayout;
    browse->addWidget(makeButton("FromFirst", QStringLiteral("С первого"), this));
    browse->addWidget(makeButton("Prev", QStringLiteral("Предыдущий рисунок"), this));
    browse->addWidget(makeButton("Next", QStringLiteral("Следующий рисунок"), this));
    right->addLayout(browse);
    PosLabel = new QLabel;
    PosLabel->setObjectName(QStringLiteral("PosLabel"));
    right->addWidget(PosLabel);
    RisLabel = new QLabel(QStringLiteral("Новый"));
    RisLabel->setObjectName(QStringLiteral("RisLabel"));
    right->addWidget(RisLabel);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Код")));
    SearchEdit = new QLineEdit;
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    searchRow->addWidget(SearchEdit);
    searchRow->addWidget(makeButton("Search", QStringLiteral("Поиск"), this));
    right->addLayout(searchRow);
    SearchList = new QListWidget;
    SearchList->setObjectName(QStringLiteral("SearchList"));
    right->addWidget(SearchList, 1);
    body->addLayout(right, 2);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(makeButton("Load", QStringLiteral("Загрузить"), this));
    bottom->addWidget(makeButton("Save", QStringLiteral("Сохранить"), this));
    bottom->addWidget(makeButton("New", QStringLiteral("Новый"), this));
    bottom->addStretch();
    bottom->addWidget(makeButton("Exit", QStringLiteral("Выход"), this));
    lay->addLayout(bottom);

    connect(button("ShowZnak"), &QPushButton::clicked, this, [this] { showSymbol(); });
    connect(button("AddLine"), &QPushButton::clicked, this, [this] { addLine(); });
    connect(store, &QPushButton::clicked, this, [this] { storeZnak(); });
    connect(button("FromFirst"), &QPushButton::clicked, this, [this] { fromFirst(); });
    connect(button("Next"), &QPushButton::clicked, this, [this] { step(1); });
    connect(button("Prev"), &QPushButton::clicked, this, [this] { step(-1); });
    connect(button("Search"), &QPushButton::clicked, this, [this] { search(); });
    connect(button("Load"), &QPushButton::clicked, this, [this] { load(); });
    connect(button("Save"), &QPushButton::clicked, this, [this] { save(); });
    connect(button("New"), &QPushButton::clicked, this, [this] { newClassifier(); });
    connect(button("Exit"), &QPushButton::clicked, this, &QDialog::accept);
    connect(penColor, &QPushButton::clicked, this, [this] {
        if (const auto c = dialogs_.chooseColor(colorFromTColor(penColor_))) {
            penColor_ = tcolorFromColor(*c);
            redrawSamples();
        }
    });
    connect(brushColor, &QPushButton::clicked, this, [this] {
        if (const auto c = dialogs_.chooseColor(colorFromTColor(brushColor_))) {
            brushColor_ = tcolorFromColor(*c);
            redrawSamples();
        }
    });
    connect(PenWidth, &QSpinBox::valueChanged, this, [this](int) { redrawSamples(); });
    // Selected text of the semantic list: its name and code into the fields.
    connect(Memo1, &QPlainTextEdit::selectionChanged, this, [this] {
        const std::string t = toCp1251(Memo1->textCursor().selectedText());
        if (t.empty()) return;
        NameEdit->setText(fromCp1251(SemanticField(t, 0)));
        KodEdit->setText(fromCp1251(SemanticField(t, 1)));
    });
    redrawSamples();
    resize(860, 620);
}

QPushButton* ClassifierEditorDialog::button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

void ClassifierEditorDialog::redrawSamples() {
    QImage line(LineSample->size(), QImage::Format_RGB32);
    line.fill(Qt::white);
    {
        QPainter p(&line);
        p.setPen(windowsPen(penColor_, PenWidth->value(), PenStyleFromDigit(penStyleDigit_)));
        p.drawLine(5, 8, line.width() - 5, 8);
    }
    LineSample->setPixmap(QPixmap::fromImage(line));
    QImage area(AreaSample->size(), QImage::Format_RGB32);
    area.fill(Qt::white);
    {
        QPainter p(&area);
        p.setPen(Qt::NoPen);
        p.setBrush(windowsBrush(brushColor_, BrushStyleFromDigit(brushStyleDigit_)));
        p.drawRect(area.rect());
    }
    AreaSample->setPixmap(QPixmap::fromImage(area));
}

void ClassifierEditorDialog::syncText() {
    std::vector<std::string> lines;
    const QStringList l = Memo1->toPlainText().split(QLatin1Char('\n'));
    for (const QString& s : l) lines.push_back(toCp1251(s));
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    model_.Lines = std::move(lines);
}

void ClassifierEditorDialog::showText() {
    QStringList l;
    for (const auto& s : model_.Lines) l << fromCp1251(s);
    Memo1->setPlainText(l.join(QLatin1Char('\n')));
}

std::optional<int> ClassifierEditorDialog::codeOf(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok) {
        dialogs_.error(QStringLiteral("«%1» — не целое число.").arg(text));
        return std::nullopt;
    }
    return v;
}

void ClassifierEditorDialog::addLine() {
    syncText();
    model_.Lines.push_back(SemanticLine(toCp1251(NameEdit->text()), toCp1251(KodEdit->text()), penColor_,
                                        PenWidth->value(), penStyleDigit_, brushStyleDigit_, brushColor_));
    showText();
}

void ClassifierEditorDialog::drawPreview(const TZnak& z, int size, int ox, int oy, int shift) {
    preview_ = QImage(size, size, QImage::Format_RGB32);
    preview_.fill(Qt::white);
    const int k = Scale->value();
    const QRgb c = colorFromTColor(z.Color).rgb();
    for (int j = 0; j < std::min<int>(z.Count, kZnakMaxPixels); ++j) {
        const int x = ox + k * (z.Col[size_t(j)] - shift), y = oy + k * (z.Row[size_t(j)] - shift);
        if (x >= 0 && y >= 0 && x < size && y < size) preview_.setPixel(x, y, c);
    }
    Preview->setPixmap(QPixmap::fromImage(preview_));
}

void ClassifierEditorDialog::compose() {
    const auto code = codeOf(KodEdit->text());
    if (!code) return;
    model_.CurrentZnak = ComposeZnak(grid_, *code, penColor_);
    // The preview of 86 x 86 pixels, pixels at ((c - 5) k + 25, (r - 5) k + 25).
    drawPreview(model_.CurrentZnak, 86, 25, 25, 0);
    button("StoreZnak")->setEnabled(true);
}

void ClassifierEditorDialog::storeZnak() {
    // Stored: the button waits for the next composition.  After No to the
    // replace question, a refusal or a file error it stays enabled.
    bool stored = false;
    try {
        stored = model_.StoreZnak();
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
    }
    if (stored) button("StoreZnak")->setEnabled(false);
}

void ClassifierEditorDialog::step(int by) {
    const TZnak* z = model_.Step(by);
    if (!z) return;
    PosLabel->setText(QString::number(model_.ZnakIndexPos));
    syncText();
    const auto name = SemanticDisplayName(SemanticsFromLines(model_.Lines), z->Code);
    ZnakName->setText(name ? fromCp1251(*name) : QStringLiteral("Код не найден ") + QString::number(z->Code));
    drawPreview(*z, 105, 41, 41, 3);
}

void ClassifierEditorDialog::fromFirst() {
    model_.ZnakIndexPos = 0;
    grid_.clear();
    grid_w->redraw();
}

void ClassifierEditorDialog::showSymbol() {
    if (KodEdit->text().isEmpty()) return;
    const auto code = codeOf(KodEdit->text());
    if (!code) return;
    ZnakName->setText(NameEdit->text());
    grid_.clear();
    preview_.fill(Qt::white);
    if (const TZnak* z = model_.Show(*code)) {
        PosLabel->setText(QString::number(model_.ZnakIndexPos));
        drawPreview(*z, 105, 41, 41, 3);
        grid_ = GridOfZnak(*z);
    }
    grid_w->redraw();
}

void ClassifierEditorDialog::search() {
    // A code that is not a number changes nothing, the list included.
    const auto code = codeOf(SearchEdit->text());
    if (!code) return;
    SearchList->clear();
    syncText();
    for (const auto& l : LinesWithCode(model_.Lines, *code)) SearchList->addItem(fromCp1251(l));
}

void ClassifierEditorDialog::load() {
    const auto chosen = dialogs_.openFileName(QStringLiteral("Загрузить"), QString(),
                                              {QStringLiteral("Семантика (*.smn)"), QStringLiteral("Рисунки (*.ris)"),
                                               QStringLiteral("Все файлы (*)")});
    if (!chosen) return;
    try {
        model_.Load(fs::path(chosen->toStdString()));
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
        return;
    }
    showText();
    FileLabel->setText(*chosen);
    RisLabel->setText(QString::fromStdString(model_.EditorSymbolFile.string()));
}

void ClassifierEditorDialog::save() {
    const auto chosen = dialogs_.saveFileName(QStringLiteral("Сохранить"), QString(),
                                              {QStringLiteral("Семантика (*.smn)"), QStringLiteral("Рисунки (*.ris)"),
                                               QStringLiteral("Все файлы (*)")});
    if (!chosen) return;
    syncText();
    fs::path smn;
    try {
        smn = model_.Save(fs::path(chosen->toStdString()));
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
        return;
    }
    FileLabel->setText(QString::fromStdString(smn.string()));
    RisLabel->setText(QString::fromStdString(model_.EditorSymbolFile.string()));
    if (dialogs_.question(QStringLiteral("Учесть измениения немедленно?")) == DialogPort::Answer::Yes && apply)
        apply(smn);
}

void ClassifierEditorDialog::newClassifier() {
    model_.New();
    Memo1->clear();
    FileLabel->setText(QStringLiteral("Новый"));
    RisLabel->setText(QStringLiteral("Новый"));
}

}  // namespace dm
