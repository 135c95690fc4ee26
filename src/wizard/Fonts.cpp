#include "Fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>

namespace Fonts {

void RegisterWindowFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QStringList families = QFontDatabase::families();
    // Only the regular faces. Wine's tahomabd.ttf is a wider Tahoma with the
    // regular's thin strokes: once it is registered Qt picks it for every bold
    // caption, which then reads as regular. With the regular face alone Qt
    // emboldens it, and bold captions stand out as they should.
    const struct
    {
        const char* family;
        const char* file;
    } faces[] = {
        {"Tahoma", "tahoma.ttf"},
        {"MS Sans Serif", "ms_sans_serif.ttf"},
    };
    for (const auto& face : faces) {
        if (families.contains(QLatin1String(face.family), Qt::CaseInsensitive))
            continue;
        const QString path = QStringLiteral("/usr/share/wine/fonts/") + QLatin1String(face.file);
        if (QFile::exists(path))
            QFontDatabase::addApplicationFont(path);
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
    // A bitmap face: its strikes are 13, 16 and 20 px, so above one device
    // pixel per pixel its text comes out tiny and letter-spaced. Tahoma, from
    // the same family of faces, has its metrics at 1x and scales.
    if (qApp != nullptr && qApp->devicePixelRatio() > 1.0)
        return Tahoma(pointSize);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace Fonts
