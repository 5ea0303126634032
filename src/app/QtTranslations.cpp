#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace bolaris {

int installQtTranslations(QCoreApplication &app) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    int installed = 0;
    // The last catalogue installed is searched first.
    for (const char *name : {"qt_pt_PT", "qt_pt_BR"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(QLatin1String(name), dir) && QCoreApplication::installTranslator(translator))
            ++installed;
        else
            delete translator;
    }
    return installed;
}

} // namespace bolaris
