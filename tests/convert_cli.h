// Running the command-line converter from a test, and the catalogue of the
// shared logs that carry no full GPS week.
#ifndef QUORVANE_TESTS_CONVERT_CLI_H
#define QUORVANE_TESTS_CONVERT_CLI_H

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "testdata.h"

struct CliRun {
    int exit = -1;
    QStringList written; // standard output, one file per line
    QString errors;      // standard error
};

#ifdef QUORVANE_CONVERT
// `environment`: "NAME=VALUE" entries set for the run only; `cwd`: the
// directory the program runs in (the test's own when empty).
inline CliRun convert(const QStringList &args, const QStringList &environment = {}, const QString &cwd = {})
{
    QProcess p;
    if (!cwd.isEmpty()) p.setWorkingDirectory(cwd);
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
#endif

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

// The shared logs grouped by folder (so that equal names do not meet in one
// output directory) and by whether they need a start time ("+start" ends the
// key of those that do); `count` gets the number of logs.
inline std::map<std::string, QStringList> logGroups(int *count = nullptr)
{
    const std::set<std::string> noWeek = filesWithoutWeek();
    const QDir top(QString::fromStdString(testdata::dir()));
    std::map<std::string, QStringList> groups;
    QDirIterator it(top.path(), QDir::Files, QDirIterator::Subdirectories);
    int logs = 0;
    while (it.hasNext()) {
        QString path = it.next();
        if (path.endsWith(".md")) continue;
        QString rel = top.relativeFilePath(path);
        bool needsStart = noWeek.count(rel.toStdString()) || rel.startsWith("go-gnss-rtcm/");
        groups[rel.section('/', 0, 0).toStdString() + (needsStart ? "+start" : "")].append(path);
        logs++;
    }
    if (count) *count = logs;
    return groups;
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

#endif
