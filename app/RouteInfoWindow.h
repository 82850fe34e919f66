#pragma once
// The route window (TInfo): a small tool window over the main window with
// four lines: "Информация о пути:", the distance, the time and the speed.

#include "AddressField.h"

#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QPushButton;

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

    // "Откуда" and "Куда": addresses with the candidates of `finder`;
    // "Найти" routes between the two found (or chosen).
    void setFinder(const AddressField::Finder& finder, const std::function<uint64_t()>& stamp = {},
                   const AddressField::Describer& describe = {});
    std::function<void(const AddressHit& from, const AddressHit& to)> routeBetween;
    AddressField* fromField() const { return From; }
    AddressField* toField() const { return To; }
    QPushButton* findButton() const { return FindRoute; }
    // Shows the window with the cursor in "Откуда".
    void askAddresses();
    // Empties "Откуда" and "Куда".
    void clearAddresses();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void setLine(int i, const QString& text);
    void fitToLines();
    void findRoute();
    QPlainTextEdit* Memo1;
    QWidget* Addresses;
    AddressField* From;
    AddressField* To;
    QPushButton* FindRoute;
    QWidget* anchor_ = nullptr;
};

}  // namespace dm
