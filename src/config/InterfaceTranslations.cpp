#include "config/InterfaceTranslations.h"

#include "config/QtTranslations.h"

#include <QCoreApplication>
#include <QString>
#include <QTranslator>

bool InterfaceTranslations::install(QCoreApplication& app, bool english, const QString& folder) {
    if (!english)
        return QtTranslations::install(app);
    auto* translator = new QTranslator(&app);
    if (translator->load(QLatin1String(EnglishFileName), folder) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}
