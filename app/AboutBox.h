#pragma once
#include <QDialog>

namespace dm {

// "О программе".
class AboutBox : public QDialog {
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace dm
