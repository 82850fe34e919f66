#include "Translation.h"
#include "UserAreaForm.h"

#include "display/Render.h"
#include "editing/XorDraw.h"
#include "mapdata/Cp1251.h"

#include <QDialogButtonBox>
#include <QCloseEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

namespace {
std::string cut(const QString& s, size_t max) {
    std::string t = toCp1251(s);
    if (t.size() > max) t.resize(max);
    return t;
}
const uint8_t kFigures[] = {FigureRectangle, FigureTriangle, FigurePentagon, FigureCircle, FigureSquare};
}  // namespace

UserAreaForm::UserAreaForm(Workspace& ws, NameState& names, UndoHistory& history, QWidget* parent, bool allTools)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ws_(ws), names_(names), history_(history) {
    setObjectName(QStringLiteral("RovdForm"));
    setWindowTitle(QStringLiteral("Форма пользователя"));
    // The font of the labels, street names and these areas.
    names_.NameFont = TNameFont{"MS Sans Serif", false, false, 0, 8};
    auto* lay = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Название")));
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    left->addWidget(Edit1);
    left->addWidget(new QLabel(QStringLiteral("Справка")));
    RichEdit1 = new QPlainTextEdit;
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    left->addWidget(RichEdit1, 1);
    const char* figs[] = {"Прямоугольник", "Треугольник", "Пентагон", "Круг", "Квадрат"};
    auto* figRow = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) {
        radios_[i] = new QRadioButton(QString::fromUtf8(figs[i]));
        radios_[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        figRow->addWidget(radios_[i]);
    }
    radios_[0]->setChecked(true);
    left->addLayout(figRow);
    auto* spins = new QHBoxLayout;
    SpinEdit1 = new QSpinBox;
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(0, 10);
    SpinEdit1->setValue(2);
    SpinEdit1->setToolTip(QStringLiteral("Толщина линии"));
    SpinEdit2 = new QSpinBox;
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setRange(2, 100);
    SpinEdit2->setValue(14);
    SpinEdit2->setToolTip(QStringLiteral("Размер фигуры"));
    spins->addWidget(SpinEdit1);
    spins->addWidget(SpinEdit2);
    left->addLayout(spins);
    auto* buttons = new QGridLayout;
    auto push = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        if (!hint.isEmpty()) b->setToolTip(hint);
        return b;
    };
    auto tool = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        return b;
    };
    QToolButton* brush = tool("BrushColorButton", QStringLiteral("Зл"), QStringLiteral("Цвет заливки"));
    QToolButton* pen = tool("PenColorButton", QStringLiteral("Ок"), QStringLiteral("Цвет окаймления"));
    QToolButton* font = tool("FontButton", QStringLiteral("A"), QStringLiteral("Шрифт"));
    QPushButton* crea = push("CreaRvdButton", QStringLiteral("Создать"), {});
    QPushButton* list = push("ListRvdButton", QStringLiteral("Запомнить"), QStringLiteral("Запомнить в памяти"));
    list->setEnabled(false);
    QToolButton* undoB = tool("UndoButton", QStringLiteral("↶"), QStringLiteral("Отмена"));
    QPushButton* saveB = push("SaveRvdButton", QStringLiteral("Сохранить"), QStringLiteral("Сохранить на диске"));
    QPushButton* loadB = push("LoadButton", QStringLiteral("Загрузить"), QStringLiteral("Загрузить с диска"));
    buttons->addWidget(brush, 0, 0);
    buttons->addWidget(pen, 0, 1);
    buttons->addWidget(font, 0, 2);
    buttons->addWidget(crea, 1, 0);
    buttons->addWidget(list, 1, 1);
    buttons->addWidget(undoB, 1, 2);
    buttons->addWidget(saveB, 2, 0);
    buttons->addWidget(loadB, 2, 1);
    left->addLayout(buttons);
    lay->addLayout(left, 1);
    auto* right = new QVBoxLayout;
    ListBox1 = new QListWidget;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::MultiSelection);
    ListBox2 = new QListWidget;
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->hide();
    right->addWidget(ListBox1, 1);
    right->addWidget(ListBox2);
    auto* showRow = new QHBoxLayout;
    QToolButton* showOneB = tool("ShowRovdButton", QStringLiteral("Пк"), QStringLiteral("Показать на карте"));
    QToolButton* showAllB = tool("ShowAllButton", QStringLiteral("Вс"), QStringLiteral("Показать все"));
    QToolButton* blick = tool("BlickRovdButton", QStringLiteral("✱"), QStringLiteral("Мигание"));
    blick->setCheckable(true);
    QToolButton* del = tool("DelButton", QStringLiteral("−"), QStringLiteral("Удалить "));
    QPushButton* prn = push("PrnButton", QStringLiteral("Печатать"), QStringLiteral("Печатать справку"));
    prn->setVisible(allTools);
    QPushButton* close = push("CloseBtn", StandardButtonText(QDialogButtonBox::Close), {});
    for (QWidget* w : std::initializer_list<QWidget*>{showOneB, showAllB, blick, del}) showRow->addWidget(w);
    showRow->addStretch();
    showRow->addWidget(close);
    right->addLayout(showRow);
    right->addWidget(prn);
    lay->addLayout(right, 1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { tick(); });
    connect(brush, &QToolButton::clicked, this, [this] {
        if (const auto c = ws_.dialogs->chooseColor(colorFromTColor(AreaBrushColor))) AreaBrushColor = tcolorFromColor(*c);
    });
    connect(pen, &QToolButton::clicked, this, [this] {
        if (const auto c = ws_.dialogs->chooseColor(colorFromTColor(AreaPenColor))) AreaPenColor = tcolorFromColor(*c);
    });
    connect(font, &QToolButton::clicked, this, [this] { chooseFont(); });
    connect(crea, &QPushButton::clicked, this, [this] { create(); });
    connect(list, &QPushButton::clicked, this, [this] { remember(); });
    connect(undoB, &QToolButton::clicked, this, [this] { undo(); });
    connect(saveB, &QPushButton::clicked, this, [this] { save(); });
    connect(loadB, &QPushButton::clicked, this, [this] { load(); });
    connect(showOneB, &QToolButton::clicked, this, [this] { showOne(); });
    connect(showAllB, &QToolButton::clicked, this, [this] { showAll(); });
    connect(blick, &QToolButton::toggled, this, [this](bool on) { blink_ = on; });
    connect(del, &QToolButton::clicked, this, [this] { remove(); });
    connect(prn, &QPushButton::clicked, this, [this] { printNote(); });
    connect(close, &QPushButton::clicked, this, [this] { this->close(); });
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { blinkOff(); });
    resize(620, 420);
}

QRadioButton* UserAreaForm::figureButton(int i) const { return i >= 1 && i <= 5 ? radios_[i - 1] : nullptr; }
QPushButton* UserAreaForm::pushButton(const char* name) const { return findChild<QPushButton*>(QString::fromLatin1(name)); }
QToolButton* UserAreaForm::toolButton(const char* name) const { return findChild<QToolButton*>(QString::fromLatin1(name)); }

uint8_t UserAreaForm::figure() const {
    for (int i = 0; i < 5; ++i)
        if (radios_[i]->isChecked()) return kFigures[i];
    return FigureNone;
}

void UserAreaForm::blinkOff() {
    blink_ = false;
    if (QToolButton* b = toolButton("BlickRovdButton")) b->setChecked(false);
}

void UserAreaForm::showEvent(QShowEvent* e) {
    if (!open_ && !e->spontaneous()) {
        open_ = true;
        Edit1->clear();
        RichEdit1->clear();
        blinkOff();
    }
    Timer1->start();
    QWidget::showEvent(e);
}

void UserAreaForm::hideEvent(QHideEvent* e) {
    if (!e->spontaneous()) open_ = false;
    QWidget::hideEvent(e);
}

void UserAreaForm::mapChanged(const MapEvent& e) {
    if (!e.everything()) return;
    // The clicks so far were on the picture of the map that went.
    if (ws_.modes.UserAreaDrawMode) ws_.modes.ClickCount = 0;
    bandOn_ = false;
}

std::vector<QPoint> UserAreaForm::figurePixels() const {
    std::vector<QPoint> out;
    for (const TXY& p : figure_) {
        const TGn g = ws_.view.view().toPixel(p);
        out.emplace_back(g.PX, g.PY);
    }
    return out;
}

void UserAreaForm::keepFigure(const std::vector<QPoint>& pixels) {
    figure_.clear();
    for (const QPoint& q : pixels) figure_.push_back(ws_.view.view().toMap(q.x(), q.y()));
}

void UserAreaForm::create() {
    if (Edit1->text().isEmpty()) {
        ws_.dialogs->message(QStringLiteral("Введите название."));
        return;
    }
    InteractionState& m = ws_.modes;
    m.CreateMode = false;
    ws_.view.blink.BlinkOn = false;
    m.ClickCount = 0;
    m.UserAreaDrawMode = true;
    blinkOff();
    pushButton("ListRvdButton")->setEnabled(true);
    pushButton("CreaRvdButton")->setEnabled(false);
    CurrentUserArea = std::make_shared<TRovd>();
    CurrentUserArea->Figure = figure();
    CurrentUserArea->PenColor = AreaPenColor;
    CurrentUserArea->BrushColor = AreaBrushColor;
    AreaPenWidth = SpinEdit1->value();
    CurrentUserArea->PenWidth = AreaPenWidth;
    bandOn_ = false;
}

void UserAreaForm::click(QPoint pos) {
    InteractionState& m = ws_.modes;
    // A count left by another mode (or points of another operation) does
    // not belong to this figure: it starts again with this click.
    if (m.ClickCount < 1 || m.ClickCount > 2 || m.InputPoints.size() != 3) {
        m.ClickCount = 0;
        bandOn_ = false;
    }
    if (m.ClickCount == 0) {
        m.InputPoints.assign(3, QPoint());
        m.InputPoints[0] = pos;
        ws_.map.EditPoints.clear();
        ws_.map.EditPoints.push_back({pos.x(), pos.y()});
        m.ClickCount = 1;
        return;
    }
    m.InputPoints[size_t(m.ClickCount)] = pos;
    ws_.map.EditPoints.push_back({pos.x(), pos.y()});
    ++m.ClickCount;
    if (m.ClickCount < 3) return;
    // The rubber band drawn last is the piece to the third point.
    bandOn_ = false;
    QImage& img = ws_.view.image;
    const QPoint p0 = m.InputPoints[0], p1 = m.InputPoints[1], p2 = m.InputPoints[2];
    // The broken line of the clicks, drawn by the rubber bands, goes first.
    xorPolyline(img, {p0, p1, p2}, kBandPen);
    m.ClickCount = 0;
    if (p0 == p1 || p1 == p2) {
        // No direction between coinciding clicks: the figure is asked again.
        ws_.map.EditPoints.clear();
        ws_.surface->imageChanged();
        ws_.dialogs->message(QStringLiteral("Точки фигуры совпадают: укажите три разные точки."));
        return;
    }
    const std::vector<QPoint> pts = BuildFigure(CurrentUserArea ? CurrentUserArea->Figure : figure(), p0, p1, p2,
                                                SpinEdit2->value());
    ws_.map.EditPoints.clear();
    for (const QPoint& q : pts) ws_.map.EditPoints.push_back({q.x(), q.y()});
    keepFigure(pts);
    if (CurrentUserArea && !img.isNull()) {
        QPainter p(&img);
        DrawFigure(p, *CurrentUserArea, pts, false);
    }
    m.UserAreaDrawMode = false;
    m.ClickCount = 0;
    ws_.surface->imageChanged();
}

bool UserAreaForm::band(QPoint pos) {
    const InteractionState& m = ws_.modes;
    QImage& img = ws_.view.image;
    bool drew = false;
    // The piece from the last click to the cursor; the earlier pieces stay
    // until the figure is built.
    if (bandOn_ && m.UserAreaDrawMode && m.ClickCount > 0 && !ws_.map.EditPoints.empty()) {
        const TGn last = ws_.map.EditPoints.back();
        if (QPoint(last.PX, last.PY) == bandFrom_) {
            xorLine(img, bandFrom_, bandTo_, kBandPen);
            drew = true;
        }
    }
    bandOn_ = false;
    if (m.UserAreaDrawMode && m.ClickCount > 0 && !ws_.map.EditPoints.empty()) {
        const TGn last = ws_.map.EditPoints.back();
        bandFrom_ = QPoint(last.PX, last.PY);
        bandTo_ = pos;
        xorLine(img, bandFrom_, bandTo_, kBandPen);
        bandOn_ = true;
        drew = true;
    }
    return drew;
}

void UserAreaForm::remember() {
    // Always a new record, made whole from the form: an area shown ("Пк")
    // stays in the list as it was.
    RegisterEdit<TRovd> step(UserAreas);
    CurrentUserArea = std::make_shared<TRovd>();
    TRovd& a = *CurrentUserArea;
    a.Name = cut(Edit1->text(), kAreaNameMax);
    a.Note.clear();
    a.Lines.clear();
    const QString text = RichEdit1->toPlainText();
    if (!text.isEmpty())
        for (const QString& l : text.split(QLatin1Char('\n'))) a.Lines.push_back(cut(l, kAreaLineMax));
    a.Number = int32_t(UserAreas.size());
    a.Points = figure_;
    a.Figure = figure();
    a.PenColor = AreaPenColor;
    a.BrushColor = AreaBrushColor;
    a.PenWidth = AreaPenWidth;
    const TNameFont& f = names_.NameFont;
    a.FontName = f.Face.substr(0, kAreaFontMax);
    a.Bold = f.Bold ? 1 : 0;
    a.Italic = f.Italic ? 1 : 0;
    a.FontColor = f.Color;
    a.FontSize = uint8_t(std::clamp(f.Size, 0, 255));
    UserAreas.push_back(CurrentUserArea);
    ListBox2->addItem(QString::number(a.Number));
    ListBox1->addItem(fromCp1251(a.Name));
    ws_.modes.UserAreaDrawMode = false;
    blinkOff();
    UserAreasModified = true;
    step.commit(history_, this, QStringLiteral("Запомнить область"), [this] { restored(); });
    pushButton("CreaRvdButton")->setEnabled(true);
    pushButton("ListRvdButton")->setEnabled(false);
}

void UserAreaForm::fillLists() {
    ListBox1->clear();
    ListBox2->clear();
    for (const auto& a : UserAreas) {
        ListBox2->addItem(QString::number(a->Number));
        ListBox1->addItem(fromCp1251(a->Name));
    }
}

void UserAreaForm::restored() {
    UserAreasModified = true;
    if (CurrentUserArea && std::find(UserAreas.begin(), UserAreas.end(), CurrentUserArea) == UserAreas.end()) {
        CurrentUserArea.reset();
        figure_.clear();
        blinkOff();
    }
    fillLists();
}

void UserAreaForm::undo() {
    ws_.modes.ClickCount = 0;
    ws_.modes.UserAreaDrawMode = true;
    pushButton("ListRvdButton")->setEnabled(false);
    pushButton("CreaRvdButton")->setEnabled(true);
    ws_.map.EditPoints.clear();
    figure_.clear();
    bandOn_ = false;
}

void UserAreaForm::draw(const TRovd& a, bool restoreBrush) {
    if (ws_.view.image.isNull()) return;
    QPainter p(&ws_.view.image);
    const std::vector<QPoint> pts = DrawUserArea(p, a, ws_.view.view());
    p.end();
    ws_.map.EditPoints.clear();
    for (const QPoint& q : pts) ws_.map.EditPoints.push_back({q.x(), q.y()});
    figure_ = a.Points;
    (void)restoreBrush;
    ws_.surface->imageChanged();
}

void UserAreaForm::showOne() {
    for (int i = 0; i < ListBox1->count(); ++i) {
        if (!ListBox1->item(i)->isSelected()) continue;
        const int32_t n = ListBox2->item(i) ? ListBox2->item(i)->text().toInt() : -1;
        for (const auto& a : UserAreas)
            if (a->Number == n) {
                CurrentUserArea = a;
                draw(*a, true);
                ws_.surface->showPicturePoints(ws_.map.EditPoints);
                pushButton("ListRvdButton")->setEnabled(true);
                Edit1->setText(fromCp1251(a->Name));
                QStringList lines;
                for (const auto& l : a->Lines) lines << fromCp1251(l);
                RichEdit1->setPlainText(lines.join(QLatin1Char('\n')));
                break;
            }
    }
}

void UserAreaForm::showAll() {
    for (const auto& a : UserAreas) {
        CurrentUserArea = a;
        draw(*a, false);
    }
}

void UserAreaForm::remove() {
    int row = -1;
    for (int i = 0; i < ListBox1->count() && row < 0; ++i)
        if (ListBox1->item(i)->isSelected()) row = i;
    if (row < 0) {
        ws_.dialogs->message(QStringLiteral("Укажите, что удалить."));
        return;
    }
    const int32_t n = ListBox2->item(row) ? ListBox2->item(row)->text().toInt() : -1;
    RegisterEdit<TRovd> step(UserAreas);
    for (auto it = UserAreas.begin(); it != UserAreas.end(); ++it)
        if ((*it)->Number == n) {
            if (CurrentUserArea == *it) {
                CurrentUserArea.reset();
                figure_.clear();
                blinkOff();
            }
            UserAreas.erase(it);
            break;
        }
    delete ListBox1->takeItem(row);
    delete ListBox2->takeItem(row);
    UserAreasModified = true;
    step.commit(history_, this, QStringLiteral("Удалить область"), [this] { restored(); });
}

void UserAreaForm::tick() {
    ws_.view.BlinkPhase = ws_.view.BlinkPhase % 4 + 1;
    if (!blink_ || !CurrentUserArea || ws_.view.image.isNull() || figure_.empty()) return;
    QPainter p(&ws_.view.image);
    p.setBrush(QColor(255, 0, 0));
    p.setPen(QPen(ws_.view.BlinkPhase % 2 ? QColor(255, 0, 0) : QColor(255, 255, 0), 2));
    DrawFigure(p, *CurrentUserArea, figurePixels(), true);
    p.end();
    ws_.surface->imageChanged();
}

void UserAreaForm::save() {
    const auto chosen = ws_.dialogs->saveFileName(QStringLiteral("Сохранить"), QString(),
                                                  {QStringLiteral("Сведения (*.dat)"), QStringLiteral("Справки (*.rtf)"),
                                                   QStringLiteral("Все файлы (*)")});
    if (!chosen) return;
    const fs::path path = withExtension(fs::path(chosen->toStdString()), ".dat");
    if (!ConfirmPartialSave(*ws_.dialogs, partial_, path)) return;
    try {
        SaveUserAreas(path, UserAreas);
        UserAreasModified = false;
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
}

bool UserAreaForm::saveChangesFirst() {
    if (!UserAreasModified) return true;
    const auto a = ws_.dialogs->question(QStringLiteral("Сохранить изменения?"), true);
    if (a == DialogPort::Answer::Cancel) return false;
    if (a == DialogPort::Answer::Yes) save();
    return true;
}

void UserAreaForm::load() {
    // The areas stored since the last save would be replaced.
    if (!saveChangesFirst()) return;
    const auto chosen = ws_.dialogs->openFileName(QStringLiteral("Загрузить"), QString(),
                                                  {QStringLiteral("Сведения (*.dat)"), QStringLiteral("Справка (*.rtf)"),
                                                   QStringLiteral("Все файлы (*)")});
    if (!chosen) return;
    const fs::path path = resolvePathCase(withExtension(fs::path(chosen->toStdString()), ".dat"));
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return;
    std::vector<AreaRef> loaded;
    partial_.clear();
    try {
        LoadUserAreas(path, loaded);
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        // The areas read before the damage stay; they are not the file.
        partial_.set(path, loaded.size());
    }
    areasFile_ = path;
    UserAreas = std::move(loaded);
    history_.forget(this);  // the steps of the areas read before
    CurrentUserArea.reset();
    figure_.clear();
    blinkOff();
    fillLists();
    UserAreasModified = partial_.any();
    if (areasLoaded) areasLoaded(path);
}

void UserAreaForm::chooseFont() {
    const TNameFont& f = names_.NameFont;
    const auto chosen = ws_.dialogs->chooseFont(ScreenFont(fromCp1251(f.Face), f.Bold, f.Italic, f.Size),
                                                colorFromTColor(f.Color));
    if (!chosen) return;
    const QFont& q = chosen->first;
    ws_.view.CanvasFont = q;
    TNameFont n;
    n.Face = toCp1251(q.family());
    n.Size = q.pointSize() > 0 ? q.pointSize() : f.Size;
    n.Color = tcolorFromColor(chosen->second);
    const bool plain = !q.underline() && !q.strikeOut();
    n.Bold = plain && q.bold();
    n.Italic = plain && q.italic();
    names_.NameFont = n;
    if (CurrentUserArea) {
        CurrentUserArea->FontName = n.Face.substr(0, kAreaFontMax);
        CurrentUserArea->Bold = n.Bold;
        CurrentUserArea->Italic = n.Italic;
        CurrentUserArea->FontSize = uint8_t(std::clamp(n.Size, 0, 255));
        CurrentUserArea->FontColor = n.Color;
    }
}

void UserAreaForm::printNote() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    if (!ws_.dialogs->setUpPrinter(printer)) return;
    QPainter p;
    if (!p.begin(&printer)) {
        ws_.dialogs->error(QStringLiteral("Не удалось начать печать."));
        return;
    }
    QFont title(QStringLiteral("Arial"));
    title.setBold(true);
    title.setPointSize(14);
    p.setFont(title);
    int y = 200;
    p.drawText(QPoint(400, y), Edit1->text());
    QFont body(QStringLiteral("Arial"));
    body.setPointSize(11);
    p.setFont(body);
    const int step = QFontMetrics(body, p.device()).lineSpacing();
    y += 2 * step;
    for (const QString& line : RichEdit1->toPlainText().split(QLatin1Char('\n'))) {
        p.drawText(QPoint(400, y), line);
        y += step;
    }
    if (!p.end()) printer.abort();
}

void UserAreaForm::closeEvent(QCloseEvent* e) {
    // Blinking goes off however the question is answered.
    blinkOff();
    if (!saveChangesFirst()) {
        e->ignore();
        return;
    }
    Timer1->stop();
    e->accept();
}

}  // namespace dm
