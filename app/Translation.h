#pragma once
// Qt's own texts (file, colour, font and print dialogs, standard buttons)
// in Russian, as the rest of the program.

class QCoreApplication;
class QTranslator;

namespace dm {

// Loads Qt's Russian translation into the application and returns it (owned
// by the application); null when it is not installed (the dialogs then
// stay in English).
QTranslator* InstallRussianTranslation(QCoreApplication& app);

}  // namespace dm
