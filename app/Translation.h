#pragma once
// Qt's own texts (file, colour, font and print dialogs, standard buttons)
// in Russian, as the rest of the program.

#include <QString>

class QCoreApplication;
class QDialogButtonBox;
class QTranslator;

namespace dm {

// Loads Qt's Russian translation into the application and returns it (owned
// by the application); null when it is not installed (the dialogs then
// stay in English).  The default locale becomes Russian whatever the
// system's (month and day names, number formats of the widgets).
QTranslator* InstallRussianTranslation(QCoreApplication& app);

// The text of a standard button (OK, Cancel, Close, ...) as Qt shows it,
// translated: "ОК", "Отмена", "Закрыть".
QString StandardButtonText(int standardButton);
// The standard buttons of a box with those texts.
void RussianButtons(QDialogButtonBox& box);

}  // namespace dm
