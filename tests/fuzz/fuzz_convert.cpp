// Arbitrary bytes through a framer into a RINEX writer, as a conversion
// feeds them: whatever the frames decode to, the writer must neither crash
// nor read or write out of bounds, and must close cleanly. The first byte
// picks the writer's version, mode and rate limit, and whether a prescan
// pass runs first; the second byte's low bit picks the RINEX 2 writer.
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QString>

#include <memory>

#include "gnssparser.h"
#include "rinex2xx.h"
#include "rinex3xx.h"

namespace {

QString workDir()
{
    static QString dir;
    if (dir.isEmpty()) {
        dir = QString("/tmp/fuzz_convert_%1").arg(getpid());
        QDir().mkpath(dir);
    }
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t pick = data[0];
    const bool rinex2 = data[1] & 1;
    data += 2;
    size -= 2;
    static uint8_t buffer[GNSSPARSER_BUFFER_SIZE];
    {
        std::unique_ptr<Rinexxxx> w(rinex2 ? static_cast<Rinexxxx *>(new Rinex2xx(nullptr)) : new Rinex3xx(nullptr));
        w->setVersion(rinex2 ? 210 + (pick & 1) : 302 + (pick & 3));
        w->setMode(1 + (pick >> 2) % 3);
        w->setObsIntervalMin((pick & 0x20) ? 1000 : 0);
        w->setFileName(workDir() + "/f.00O", 1 + (pick >> 6) % 3);
        if (pick & 0x10) w->setRtcm3Epoch(2290, 345600000);
        if (!w->open(0)) return 0;
        gnssparser_s parser;
        w->gnssparserInit(&parser, buffer, sizeof buffer);
        for (int pass = (pick & 0x80) ? 0 : 1; pass < 2; pass++) {
            w->setPrescan(pass == 0);
            gnssparser_reset(&parser);
            gnssparser_input(&parser, data, (uint32_t)size);
        }
        w->close();
    }
    // Keep the directory small: every run writes new files.
    for (const QString &f : QDir(workDir()).entryList(QDir::Files)) QFile::remove(workDir() + "/" + f);
    return 0;
}
