// Running the command-line converter from a test, and the catalogue of the
// shared logs that carry no full GPS week.
#ifndef QUORVANE_TESTS_CONVERT_CLI_H
#define QUORVANE_TESTS_CONVERT_CLI_H

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "testdata.h"

struct CliRun {
    int exit = -1;
    QStringList written; // standard output, one file per line
    QString errors;      // standard error
};

// `environment`: "NAME=VALUE" entries set for the run only.
inline CliRun convert(const QStringList &args, const QStringList &environment = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &e : environment) env.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(env);
    p.start(QUORVANE_CONVERT, args);
    p.waitForFinished(600000);
    CliRun r;
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.written = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.errors = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Files the catalogue says carry no full GPS week: they need "Time Start".
inline std::set<std::string> filesWithoutWeek()
{
    std::set<std::string> out;
    std::ifstream in(testdata::path("SOURCES.md"));
    std::string line;
    std::regex row("^\\| ([^ |]+) \\|.*week not in file");
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_search(line, m, row)) out.insert(m[1]);
    return out;
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

#endif
