#pragma once
// The six-panel status bar of the main window.  Panel 3 is drawn as a
// progress bar while a long operation runs.

#include <QWidget>

#include <array>

namespace dm {

class StatusPanels : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<int, 6> kWidths = {100, 50, 60, 250, 300, 250};

    explicit StatusPanels(QWidget* parent = nullptr);
    void setText(int panel, const QString& text);
    QString text(int panel) const;
    // Progress mode of panel 3; painted at once.
    void setProgress(int percent);
    void endProgress();
    bool inProgress() const { return progress_; }
    int progressPercent() const { return percent_; }
    QRect panelRect(int panel) const;
    // Room for the frame and the space on both sides of a panel's text.
    static constexpr int kTextMargin = 12;
    // Where the text of a panel is written.
    QRect textRect(int panel) const;

signals:
    void progressPainted(int percent);

protected:
    void paintEvent(QPaintEvent*) override;
    QSize sizeHint() const override;

private:
    int panelWidth(int panel) const;
    std::array<QString, 6> texts_;
    bool progress_ = false;
    int percent_ = 0;
};

}  // namespace dm
