// The files of an output directory restored to their RINEX text: gzip
// members read with zlib, Compact RINEX with the tests' own decoder.
#ifndef QUORVANE_TESTS_RESTORED_FILES_H
#define QUORVANE_TESTS_RESTORED_FILES_H

#include <gtest/gtest.h>

#include <QDir>
#include <QMap>
#include <QRegExp>

#include <zlib.h>

#include "convert_cli.h"
#include "crinex_decoder.h"

// gzip files may hold several members; zlib reads them one after the other.
inline QByteArray gunzip(const QString &path)
{
    QByteArray out;
    gzFile gz = gzopen(QFile::encodeName(path).constData(), "rb");
    if (!gz) return out;
    char buffer[65536];
    int n;
    while ((n = gzread(gz, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    EXPECT_EQ(n, 0) << path.toStdString();
    gzclose(gz);
    return out;
}

// Every file of `dir` restored to its RINEX text, under its uncompressed
// name, with the run date blanked (the one text two runs may differ in);
// `compact` counts the Compact RINEX files among them.
inline QMap<QString, QByteArray> restored(const QString &dir, size_t *compact = nullptr)
{
    QMap<QString, QByteArray> files;
    for (QString name : QDir(dir).entryList(QDir::Files)) {
        QByteArray text = readAll(dir + "/" + name);
        if (name.endsWith(".gz")) {
            text = gunzip(dir + "/" + name);
            name.chop(3);
        }
        const bool longCrx = name.endsWith("_MO.crx");
        if (longCrx || QRegExp(".*\\.\\d\\dD").exactMatch(name)) {
            std::string out, error;
            EXPECT_TRUE(crinex::decode(text.toStdString(), &out, &error)) << name.toStdString() << ": " << error;
            text = QByteArray::fromStdString(out);
            name = longCrx ? name.left(name.size() - 3) + "rnx" : name.left(name.size() - 1) + "O";
            if (compact) ++*compact;
        }
        const int at = text.indexOf("PGM / RUN BY / DATE");
        if (at >= 40) text.replace(at - 20, 20, QByteArray(20, '*'));
        files.insert(name, text);
    }
    return files;
}

#endif
