#include "Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace Fonts {

void RegisterWindowFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QStringList families = QFontDatabase::families();
    const struct
    {
        const char* family;
        const char* files[2];
    } faces[] = {
        {"Tahoma", {"tahoma.ttf", "tahomabd.ttf"}},
        {"MS Sans Serif", {"ms_sans_serif.ttf", nullptr}},
    };
    for (const auto& face : faces) {
        if (families.contains(QLatin1String(face.family), Qt::CaseInsensitive))
            continue;
        for (const char* file : face.files) {
            if (!file)
                continue;
            const QString path = QStringLiteral("/usr/share/wine/fonts/") + QLatin1String(file);
            if (QFile::exists(path))
                QFontDatabase::addApplicationFont(path);
        }
    }
}

QFont Tahoma(double pointSize, bool bold, bool italic)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont MsSansSerif(double pointSize)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace Fonts
