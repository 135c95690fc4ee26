#include "clsCommonDialog.h"

#include "platform/FileDialogs.h"

#include <QCoreApplication>
#include <QDir>

namespace {

constexpr long HookFlags = 0x20 | 0x40;
constexpr long AllowMultiSelect = 0x200;
constexpr long ReadOnlyTicked = 0x1;
constexpr long HideReadOnlyBox = 0x4;
constexpr long MustExist = 0x1000;
constexpr long OverwritePromptFlag = 0x2;

QString FolderOf(const QString& path)
{
    const qsizetype sep = path.lastIndexOf(QLatin1Char('/'));
    if (sep < 0)
        return {};
    return sep == 0 ? QStringLiteral("/") : path.left(sep);
}

QString NameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

clsCommonDialog::clsCommonDialog(QObject* parent) : QObject(parent) {}

QString clsCommonDialog::ToQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // The description usually repeats the pattern in brackets; Qt reads the bracket, so it is rebuilt.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0)
                description = description.left(open).trimmed();
        }
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*"); // names without a dot are files too
        }
        out << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

QString clsCommonDialog::GetFilterEntry(const QString& filter, long index)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    const qsizetype first = (qsizetype(index) - 1) * 2;
    if (filter.isEmpty() || index < 1 || first >= parts.size())
        return {};
    QString entry = parts[first];
    if (first + 1 < parts.size())
        entry += QChar(0) + parts[first + 1];
    return entry;
}

QStringList clsCommonDialog::SplitFileNames(const QString& filename)
{
    const QStringList parts = filename.split(QChar(0), Qt::SkipEmptyParts);
    if (parts.size() <= 1)
        return parts;
    const QString folder = parts.constFirst();
    QStringList paths;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& name = parts[i];
        if (QDir::isAbsolutePath(name))
            paths << name;
        else
            paths << (folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name);
    }
    return paths;
}

bool clsCommonDialog::VBGetOpenFileName(QString& Filename, QString& FileTitle, bool FileMustExist,
                                        bool MultiSelect, bool& ReadOnly, bool HideReadOnly, QString& Filter,
                                        long& FilterIndex, const QString& InitDir, const QString& DlgTitle,
                                        const QString&, QWidget* Owner, long& Flags)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    m_fileNames.clear();
    long flags = Flags & ~HookFlags;
    if (MultiSelect)
        flags |= AllowMultiSelect;
    if (ReadOnly)
        flags |= ReadOnlyTicked;
    if (HideReadOnly)
        flags |= HideReadOnlyBox;
    if (FileMustExist)
        flags |= MustExist;

    FileDialogs::OpenRequest request;
    request.title = DlgTitle;
    request.filter = ToQtFilter(Filter);
    request.initDir = InitDir;
    request.multiSelect = MultiSelect;
    request.fileMustExist = FileMustExist;
    QStringList chosen = FileDialogs::current().getOpenFileNames(Owner, request);
    if (!MultiSelect && chosen.size() > 1)
        chosen = chosen.mid(0, 1);

    if (chosen.isEmpty()) {
        Filename.clear();
        FileTitle.clear();
        Flags = 0;
        FilterIndex = -1;
        Filter.clear();
        return false;
    }
    m_apiReturn = 1;
    m_fileNames = chosen;
    if (chosen.size() == 1) {
        Filename = chosen.constFirst();
        FileTitle = NameOf(Filename);
    } else {
        const QString folder = FolderOf(chosen.constFirst());
        QStringList parts{folder};
        for (const QString& path : std::as_const(chosen))
            parts << (FolderOf(path) == folder ? NameOf(path) : path);
        Filename = parts.join(QChar(0));
        FileTitle.clear();
    }
    Flags = flags; // the read-only box is never shown, so ReadOnly keeps what was passed in
    Filter = GetFilterEntry(Filter, FilterIndex);
    return true;
}

bool clsCommonDialog::VBGetSaveFileName(QString& Filename, QString& FileTitle, bool OverWritePrompt,
                                        QString& Filter, long& FilterIndex, const QString& InitDir,
                                        const QString& DlgTitle, const QString& DefaultExt, QWidget* Owner,
                                        long& Flags)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    long flags = (Flags & ~HookFlags) | HideReadOnlyBox;
    if (OverWritePrompt)
        flags |= OverwritePromptFlag;

    FileDialogs::SaveRequest request;
    request.title = DlgTitle;
    request.filter = ToQtFilter(Filter);
    request.initDir = InitDir;
    if (!Filename.isEmpty())
        request.initDir = QDir::isAbsolutePath(Filename) || InitDir.isEmpty()
                              ? Filename
                              : InitDir + QLatin1Char('/') + Filename;
    request.defaultSuffix = DefaultExt;
    request.overwritePrompt = OverWritePrompt;
    const QString chosen = FileDialogs::current().getSaveFileName(Owner, request);

    if (chosen.isEmpty()) {
        Filename.clear();
        FileTitle.clear();
        Flags = 0;
        FilterIndex = 0;
        Filter.clear();
        return false;
    }
    m_apiReturn = 1;
    Filename = chosen;
    FileTitle = NameOf(chosen);
    Flags = flags;
    Filter = GetFilterEntry(Filter, FilterIndex);
    return true;
}

QString clsCommonDialog::BrowseFolder(QWidget* frm, const QString& startFolder)
{
    return FileDialogs::current().browseFolder(
        frm, QCoreApplication::translate("frmPackage", "Add SubFolder"), startFolder);
}
