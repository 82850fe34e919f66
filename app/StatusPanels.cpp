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
    for (int x : kWidths) w += x;
    return QSize(w, fontMetrics().height() + 8);
}

QRect StatusPanels::panelRect(int panel) const {
    int x = 0;
    for (int i = 0; i < panel; ++i) x += kWidths[size_t(i)];
    const int w = panel == 5 ? std::max(kWidths[5], width() - x) : kWidths[size_t(panel)];
    return QRect(x, 0, w, height());
}

void StatusPanels::setText(int panel, const QString& text) {
    if (panel < 0 || panel > 5 || texts_[size_t(panel)] == text) return;
    texts_[size_t(panel)] = text;
    update(panelRect(panel));
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
        p.drawText(r.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, texts_[size_t(i)]);
    }
}

}  // namespace dm
