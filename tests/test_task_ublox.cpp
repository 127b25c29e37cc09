// A u-blox log listed in the window: the receiver's MON-VER fills the File
// Information rows of model and firmware, also when it comes after the
// first probe of the file; a log header's own values stand.
#include <gtest/gtest.h>

#include <QFile>
#include <QScopedPointer>
#include <QTemporaryDir>

#include "file.h"
#include "testdata.h"
#include "threadbinarytorinex.h"
#include "ubx_encoder.h"

typedef ThreadBinaryToRinex T;

TEST(TaskUblox, FileInformationFromMonVer)
{
    QTemporaryDir dir;
    auto load = [&](const QString &name, const QByteArray &data) {
        QFile out(dir.path() + "/" + name);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(data) == data.size());
        out.close();
        return File::load(out.fileName());
    };
    // The File Information rows of model and firmware.
    auto receiver = [](const File *f) {
        return f->param.value(T::KEY_RECEIVER_MODEL) + "|" + f->param.value(T::KEY_RECEIVER_FIRMWARE);
    };
    if (testdata::available()) {
        QScopedPointer<File> f(File::load(QString::fromStdString(testdata::path(
            "instinct/Spirent_ublox-F9P_static_duration-15min_sys-GPS-GAL_iono-Klobuchar_tropo-Saastamoinen.ubx"))));
        ASSERT_TRUE(f);
        EXPECT_EQ(receiver(f.data()), "u-blox NEO-F9P|HPGL1L5 1.40");
        // The same log from a later frame on (a log split in parts): the
        // version poll lies in the first 2048 bytes, the receiver's answer
        // runs across their end.
        QFile whole(f->absolutePath);
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && whole.seek(14764));
        QScopedPointer<File> p(load("part2.ubx", whole.read(65536)));
        ASSERT_TRUE(p);
        EXPECT_EQ(receiver(p.data()), "u-blox NEO-F9P|HPGL1L5 1.40");
    }
    // Ten kilobytes of measurements, then the version.
    QByteArray log;
    for (int s = 0; s < 20; ++s) {
        const std::vector<uint8_t> r = ubxenc::rawx(100.0 + s, 2290, 18, 1, std::vector<ubxenc::Meas>(15));
        log.append((const char *)r.data(), (int)r.size());
    }
    const std::vector<uint8_t> v = ubxenc::mon_ver("ROM CORE 3.01 (107888)", "00080000", {"FWVER=TIM 1.10", "MOD=NEO-M8T"});
    log.append((const char *)v.data(), (int)v.size());
    ASSERT_GT(log.size(), 2048 * 4);
    QScopedPointer<File> m(load("m8t.ubx", log));
    ASSERT_TRUE(m);
    EXPECT_EQ(receiver(m.data()), "u-blox NEO-M8T|TIM 1.10");
    // A text header's receiver stands.
    QByteArray olm = "#file=GNSS DATA FILE\r\n#device.model=Rover X\r\n";
    olm.append(QByteArray(1024 - olm.size(), '\n'));
    QScopedPointer<File> h(load("olm.ubx", olm + QByteArray((const char *)v.data(), (int)v.size())));
    ASSERT_TRUE(h);
    EXPECT_EQ(receiver(h.data()), "Rover X|TIM 1.10");
}
