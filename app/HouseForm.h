#pragma once
// The house form of a street: its house numbers, the fields of the chosen
// house and the five buttons.  Not modal, always on top; made once, then
// hidden and shown.

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;

namespace dm {

class StreetTools;

class HouseForm : public QWidget {
public:
    HouseForm(StreetTools& tools, QWidget* parent);
    // Shows the form for the current street.
    void showForStreet();
    // The list after a change of the houses.
    void refresh();

    QListWidget* numbers() const { return ListBox1; }
    QLineEdit* numberEdit() const { return NomerEdit; }
    QLineEdit* floorsEdit() const { return EtageEdit; }
    QLineEdit* infoEdit() const { return DopInfEdit; }
    QLabel* streetLabel() const { return StaticText1; }
    QToolButton* button(const char* name) const;

protected:
    // However it is closed, house placing ends ("Закрыть форму").
    void closeEvent(QCloseEvent* e) override;

private:
    void numberClicked(const QString& number);

    StreetTools& tools_;
    QLabel* StaticText1;
    QListWidget* ListBox1;
    QLineEdit* NomerEdit;
    QLineEdit* EtageEdit;
    QLineEdit* DopInfEdit;
};

}  // namespace dm
