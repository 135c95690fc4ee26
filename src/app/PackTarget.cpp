#include "app/PackTarget.h"

#include "zip/ZipNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// Texts a user reads, in the user's language.
class Text
{
    Q_DECLARE_TR_FUNCTIONS(PackCommand)
};

QString DefaultPackName(const QString& name, const QString& version)
{
    QString stem = version.isEmpty() ? name : name + u'-' + version;
    for (QChar& c : stem) {
        if (c.unicode() < 0x20 || QStringView(u"\\/:*?\"<>|").contains(c))
            c = u'_';
    }
    stem = stem.trimmed();
    while (stem.endsWith(u'.'))
        stem.chop(1);
    if (stem.isEmpty())
        stem = QStringLiteral("Script Pack");
    // A device name (CON, LPT1) is no file on Windows, whatever follows it.
    if (!ZipNames::WindowsNameProblem(stem + QStringLiteral(".plsc")).isEmpty())
        stem += u'_';
    return stem + QStringLiteral(".plsc");
}

QString PackTarget(const QString* output, const QString& name, const QString& version,
                   const QStringList& inputs, QString& error)
{
    QString target;
    if (output == nullptr) {
        target = QDir::current().filePath(DefaultPackName(name, version));
    } else if (QFileInfo(*output).isDir()) {
        target = QDir(*output).filePath(DefaultPackName(name, version));
    } else {
        target = *output;
        const QString file = QFileInfo(target).fileName();
        if (file.isEmpty() || file == QLatin1String(".plsc") || file == QLatin1String(".") ||
            file == QLatin1String("..")) {
            error = Text::tr("the output '%1' names no file, nor a folder that exists.").arg(*output);
            return QString();
        }
        if (!target.endsWith(QStringLiteral(".plsc"), Qt::CaseSensitive))
            target += QStringLiteral(".plsc");
    }
    if (!QFileInfo(QFileInfo(target).absolutePath()).isDir()) {
        error = Text::tr("the folder of the output '%1' does not exist.").arg(target);
        return QString();
    }
    const QString canonical = QFileInfo(target).canonicalFilePath();
    for (const QString& input : inputs) {
        if (!canonical.isEmpty() && QFileInfo(input).canonicalFilePath() == canonical) {
            error = Text::tr("the output '%1' is also one of the inputs.").arg(target);
            return QString();
        }
    }
    return QFileInfo(target).absoluteFilePath();
}
