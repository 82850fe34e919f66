#pragma once
// The route window (TInfo): a small tool window over the main window with
// four lines: "Информация о пути:", the distance, the time and the speed.

#include <QWidget>

class QPlainTextEdit;

namespace dm {

class RouteInfoWindow : public QWidget {
public:
    explicit RouteInfoWindow(QWidget* parent);
    // Replaces lines 1 to 3 and shows the window.
    void showLines(const QStringList& lines);
    QStringList lines() const;
    // The widget whose top right corner the window opens at (the map area).
    void setAnchor(QWidget* anchor) { anchor_ = anchor; }
    QPlainTextEdit* memo() const { return Memo1; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void setLine(int i, const QString& text);
    void fitToLines();
    QPlainTextEdit* Memo1;
    QWidget* anchor_ = nullptr;
};

}  // namespace dm
