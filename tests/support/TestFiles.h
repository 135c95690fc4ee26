#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTest>
#include <zip.h>

// Writes data to path, making its folders; fails the running test when it cannot.
inline void writeFile(const QString& path, const QByteArray& data = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An archive as a reader sees it; `names` holds "<cannot open>" when it is no archive.
struct Archive
{
    QStringList names; // in archive order; "*" behind those carrying the UTF-8 flag when asked for
    QByteArray comment;
    QByteArray data(const QString& name) const { return contents.value(names.indexOf(name)); }
    QList<QByteArray> contents;
};

inline Archive readArchive(const QString& path, bool markUtf8 = false)
{
    Archive a;
    int err = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (za == nullptr)
        return {{QStringLiteral("<cannot open>")}, {}, {}};
    int len = 0;
    if (const char* c = zip_get_archive_comment(za, &len, ZIP_FL_ENC_RAW))
        a.comment = QByteArray(c, len);
    for (zip_uint64_t i = 0; i < zip_uint64_t(zip_get_num_entries(za, 0)); ++i) {
        a.names << QString::fromUtf8(zip_get_name(za, i, 0));
        zip_stat_t st;
        QByteArray bytes;
        zip_file_t* f = zip_stat_index(za, i, 0, &st) == 0 ? zip_fopen_index(za, i, 0) : nullptr;
        if (f) {
            bytes.resize(qsizetype(st.size));
            bytes.resize(qsizetype(qMax<zip_int64_t>(0, zip_fread(f, bytes.data(), st.size))));
            zip_fclose(f);
        }
        a.contents << bytes;
    }
    zip_discard(za);
    if (markUtf8) { // general purpose bit 11 in the central directory
        const QByteArray raw = readAll(path);
        qsizetype k = 0;
        for (qsizetype at = raw.indexOf("PK\x01\x02"); at >= 0 && k < a.names.size();
             at = raw.indexOf("PK\x01\x02", at + 4), ++k)
            if (uchar(raw.at(at + 9)) & 0x08)
                a.names[k] += u'*';
    }
    return a;
}
