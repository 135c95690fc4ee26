#include "platform/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace Language {

void InstallTranslations()
{
    // Kept for the life of the program: the application only points at them.
    static std::unique_ptr<QTranslator> own, qt;
    if (own)
        return;
    own = std::make_unique<QTranslator>();
    if (own->load(QLocale(), QStringLiteral("bundlesmith"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(own.get());
    qt = std::make_unique<QTranslator>();
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt.get());
}

} // namespace Language
