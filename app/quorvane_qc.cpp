// quorvane-qc: the quality check of a RINEX observation file from a terminal
// or a script, with the navigation files that go with it.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "appinfo.h"
#include "plots.h"
#include "quality.h"

#ifdef QUORVANE_HAVE_PLOTS
#include "offscreen_leaks.h"
#endif

namespace {

const char kUsage[] =
    "Usage: quorvane-qc [--json] [--plot DIR] OBS [NAV...]\n"
    "Checks a RINEX observation file (2.10, 2.11, 3.02-3.05, plain or gzipped): epochs, gaps,\n"
    "satellites, signals, cycle slips, signal strength and multipath; with navigation files\n"
    "also elevations, the observations expected above 10 degrees and a computed position.\n"
    "\n"
    "  --json        the report as JSON instead of text\n"
    "  --plot DIR    also write the plots as PNG files into DIR\n"
    "  -h, --help    show this help\n"
    "  -V, --version show the program version\n"
    "\n"
    "The report goes to standard output. Exit status: 0 when the files were read, 1 when one\n"
    "could not be read (or the plots not written), 2 for a usage error.\n";

int usageError(const std::string &text)
{
    fprintf(stderr, "quorvane-qc: %s\nTry 'quorvane-qc --help'.\n", text.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    bool json = false;
    std::string plotDir;
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            fputs(kUsage, stdout);
            return 0;
        } else if (a == "-V" || a == "--version") {
            printf("quorvane-qc %s (%s)\n", APP_VERSION, APP_NAME);
            return 0;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--plot" || a.rfind("--plot=", 0) == 0) {
            // "--plot=" with nothing after it names no directory; it must
            // not take the observation file for one.
            if (a != "--plot") plotDir = a.substr(7);
            else if (i + 1 < argc) plotDir = argv[++i];
            if (plotDir.empty()) return usageError("--plot needs a directory");
        } else if (a == "--") {
            for (i++; i < argc; i++) files.push_back(argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) return usageError("no observation file");
#ifndef QUORVANE_HAVE_PLOTS
    if (!plotDir.empty()) {
        fprintf(stderr, "quorvane-qc: plots are not available in this build\n");
        return 2;
    }
#endif
    qc::Report report;
    std::string error;
    const std::vector<std::string> navs(files.begin() + 1, files.end());
    if (!qc::checkFiles(files[0], navs, &report, &error)) {
        fprintf(stderr, "quorvane-qc: %s\n", error.c_str());
        return 1;
    }
    const std::string text = json ? qc::formatJson(report) : qc::formatSummary(report);
    fwrite(text.data(), 1, text.size(), stdout);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "quorvane-qc: cannot write the report: %s\n", strerror(errno));
        return 1;
    }
#ifdef QUORVANE_HAVE_PLOTS
    if (!plotDir.empty() && !qc::writePlots(report, plotDir, &error)) {
        fprintf(stderr, "quorvane-qc: %s\n", error.c_str());
        return 1;
    }
#endif
    return 0;
}
