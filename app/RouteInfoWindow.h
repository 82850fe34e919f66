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

protected:
    void showEvent(QShowEvent* e) override;

private:
    void setLine(int i, const QString& text);
    QPlainTextEdit* Memo1;
};

}  // namespace dm
