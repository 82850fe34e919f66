#include "StatusPanels.h"

#include "display/Redraw.h"

#include <QPainter>
#include <QStyleOptionFrame>

namespace dm {

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    setFont(f);
}

QSize StatusPanels::sizeHint() const {
    int w = 0;
    for (int i = 0; i < 6; ++i) w += panelWidth(i);
    return QSize(w, fontMetrics().height() + 8);
}

int StatusPanels::panelWidth(int panel) const {
    // At least the laid-out width, and wide enough for the text in the
    // installed font: the clock with a two-digit hour, a long measurement.
    const QFontMetrics fm = fontMetrics();
    int w = std::max(kWidths[size_t(panel)], fm.horizontalAdvance(texts_[size_t(panel)]) + kTextMargin);
    if (panel == 0) w = std::max(w, fm.horizontalAdvance(QStringLiteral("1:000000")) + kTextMargin);
    if (panel == 1) w = std::max(w, fm.horizontalAdvance(QStringLiteral("00:00:00")) + kTextMargin);
    if (panel == 2) w = std::max(w, fm.horizontalAdvance(QStringLiteral("00000,00000")) + kTextMargin);
    return w;
}

QRect StatusPanels::panelRect(int panel) const {
    int x = 0;
    for (int i = 0; i < panel; ++i) x += panelWidth(i);
    const int w = panel == 5 ? std::max(panelWidth(5), width() - x) : panelWidth(panel);
    return QRect(x, 0, w, height());
}

QRect StatusPanels::textRect(int panel) const {
    // Inside the frame (one pixel), five pixels of space on either side.
    return panelRect(panel).adjusted(6, 1, -6, -1);
}

void StatusPanels::setText(int panel, const QString& text) {
    if (panel < 0 || panel > 5 || texts_[size_t(panel)] == text) return;
    const int before = panelWidth(panel);
    texts_[size_t(panel)] = text;
    if (panelWidth(panel) != before) update();  // the panels after it move
    else update(panelRect(panel));
}

QString StatusPanels::text(int panel) const { return panel >= 0 && panel <= 5 ? texts_[size_t(panel)] : QString(); }

void StatusPanels::setProgress(int percent) {
    progress_ = true;
    percent_ = percent;
    repaint(panelRect(3));
    emit progressPainted(percent);
}

void StatusPanels::endProgress() {
    progress_ = false;
    update(panelRect(3));
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < 6; ++i) {
        const QRect r = panelRect(i).adjusted(1, 1, -1, -1);
        QStyleOptionFrame opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.lineWidth = 1;
        opt.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_Frame, &opt, &p, this);
        if (i == 3 && progress_) {
            PaintProgressBar(p, r, percent_);
            continue;
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(textRect(i), Qt::AlignVCenter | Qt::AlignLeft, texts_[size_t(i)]);
    }
}

}  // namespace dm
