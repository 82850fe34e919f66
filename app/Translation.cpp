#include "Translation.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLocale>
#include <QPushButton>
#include <QLibraryInfo>
#include <QTranslator>

namespace dm {

QTranslator* InstallRussianTranslation(QCoreApplication& app) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto* t = new QTranslator(&app);
    if (!t->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return nullptr;
    }
    QCoreApplication::installTranslator(t);
    return t;
}

QString StandardButtonText(int standardButton) {
    QDialogButtonBox box;
    QPushButton* b = box.addButton(QDialogButtonBox::StandardButton(standardButton));
    const QString qt = b ? b->text() : QString();
    // Qt's translation keeps "OK" in Latin letters; the rest of the program
    // speaks Russian.
    switch (standardButton) {
        case QDialogButtonBox::Ok: return QStringLiteral("ОК");
        case QDialogButtonBox::Cancel: return qt.contains(QLatin1String("Cancel")) ? QStringLiteral("Отмена") : qt;
        case QDialogButtonBox::Close: return qt.contains(QLatin1String("Close")) ? QStringLiteral("Закрыть") : qt;
        case QDialogButtonBox::Yes: return qt.contains(QLatin1String("Yes")) ? QStringLiteral("Да") : qt;
        case QDialogButtonBox::No: return qt.contains(QLatin1String("No")) ? QStringLiteral("Нет") : qt;
        default: return qt;
    }
}

void RussianButtons(QDialogButtonBox& box) {
    for (QAbstractButton* b : box.buttons()) {
        const auto sb = box.standardButton(b);
        if (sb != QDialogButtonBox::NoButton) b->setText(StandardButtonText(sb));
    }
}

}  // namespace dm
