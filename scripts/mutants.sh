#!/usr/bin/env bash
# Fault injection: applies, one at a time, small faults of the kinds that
# really happen in this code (a wrong scale factor, bit width, sign, offset,
# constant, rounding, loop bound, condition, header field), each exactly where
# it would occur; rebuilds; runs the tests; and reports which faults the tests
# catch. The work happens in a copy of the committed tree beside this one (so
# that ../shared/data is found as usual); the working tree is never touched.
#   scripts/mutants.sh            every fault
#   scripts/mutants.sh --check    only check that every fault still applies
#   scripts/mutants.sh N...       only the faults numbered N
# Exit status: 0 when every fault applied was caught, 1 when any survived or
# no longer applies, 2 on bad usage.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

# file | exact text (found once) | the fault | what it is (no '|' in any field)
faults=$(cat <<'LIST'
gnssparser/rtcm3.cpp|double rough = int_ms + mod_ms / 1024.0;|double rough = int_ms + mod_ms / 1000.0;|MSM rough range: scale of the modulo-1 ms part
gnssparser/rtcm3.cpp|uint32_t mod_ms = (uint32_t)get_u(mod_start + 10 * i, 10);|uint32_t mod_ms = (uint32_t)get_u(mod_start + 10 * i, 9);|MSM rough range: bit width
gnssparser/rtcm3.cpp|int64_t tow = field + 14000;|int64_t tow = field - 14000;|BDS MSM time: sign of the 14 s offset
gnssparser/rtcm3.cpp|(epoch & 0x7FFFFFFu) - 10800000;|(epoch & 0x7FFFFFFu) - 7200000;|GLONASS MSM time: Moscow offset
gnssparser/rtcm3.cpp|cell->cnr = cnr_bits == 10 ? (float)v * 0.0625f : (float)v;|cell->cnr = cnr_bits == 10 ? (float)v * 0.625f : (float)v;|MSM7 C/N0 scale
gnssparser/rtcm3.cpp|cell->phase_rate = (double)rough_rate + fine * 0.0001;|cell->phase_rate = (double)rough_rate + fine * 0.001;|MSM fine phase-range rate scale
gnssparser/rtcm3.cpp|if (rough_rate != -8192 && fine != -16384) {|if (rough_rate != -8192 && fine != -16383) {|MSM invalid fine rate constant
gnssparser/rtcm3.cpp|const bool skip = has_int_ms && int_ms == 255;|const bool skip = has_int_ms && int_ms == 254;|MSM invalid rough range constant
gnssparser/lock_time.cpp|current + current_resolution < previous + elapsed) return 1;|current + current_resolution < previous) return 1;|slip rule: elapsed time left out
gnssparser/util.cpp|((c << 1) ^ 0x864CFB00u)|((c << 1) ^ 0x864CFA00u)|CRC-24Q polynomial
gnssparser/util.cpp|int32_t days = week * 7 + 3657;|int32_t days = week * 7 + 3656;|GPS epoch offset by a day
gnssparser/navigation.cpp|nav->sqrt_a = scale(raw->sqrt_a, -19);|nav->sqrt_a = scale(raw->sqrt_a, -20);|sqrt(A) scale
gnssparser/navigation.cpp|return (uint32_t)(1246000000 + k * 437500);|return (uint32_t)(1246000000 + k * 562500);|GLONASS L2 channel spacing
gnssparser/novatel.cpp|obs->psr = (double)psr / 128.0;|obs->psr = (double)psr / 256.0;|RANGECMP pseudorange scale
gnssparser/novatel.cpp|double adr = (int32_t)util_bytes_to_u32(rec + 12) / 256.0;|double adr = (int32_t)util_bytes_to_u32(rec + 12) / 128.0;|RANGECMP carrier phase scale
gnssparser/gnss_signal.cpp|{5, 0, PS(0, 0, 0, 0), "1C", "G1(C/A)", 1602000000u},|{5, 0, PS(0, 0, 0, 0), "1C", "G1(C/A)", 1602500000u},|GLONASS G1 base frequency
rinex/rinexxxx.cpp|halfCycleOk = cell.half_cycle == 0;|halfCycleOk = cell.half_cycle != 0;|MSM half-cycle condition
rinex/rinexxxx_format.cpp|double scaled = fabs(value) * 1000.0 + 0.5;|double scaled = fabs(value) * 1000.0;|observation rounding
rinex/rinexxxx_format.cpp|d[pos] = value < 0 && n != 0 ? '-' : ' ';|d[pos] = value < 0 ? '-' : ' ';|observation sign
rinex/rinexxxx.cpp|snprintf(line, sizeof line, "%10.3f%50s%-20s", ms * 0.001, "", "INTERVAL");|snprintf(line, sizeof line, "%10.3f%50s%-20s", ms * 0.01, "", "INTERVAL");|INTERVAL scale
rinex/epoch_record.cpp|if (satellites > 0 && satellites % 12 == 0) names.append("\r\n").append(32, ' ');|if (satellites > 0 && satellites % 13 == 0) names.append("\r\n").append(32, ' ');|RINEX 2 satellites per epoch line
rinex/rinex2xx_nav.cpp|n += printEmpheLine(file, nav.idot, galileoInavSources(nav.source), nav.week + 1024, SPARE);|n += printEmpheLine(file, nav.idot, galileoInavSources(nav.source), nav.week, SPARE);|RINEX 2 Galileo week
rinex/rinexxxx_file.cpp|snprintf(start, sizeof start, "%04d%03d%02d%02d", tmv.tm_year + 1900, tmv.tm_yday + 1, tmv.tm_hour,|snprintf(start, sizeof start, "%04d%03d%02d%02d", tmv.tm_year + 1900, tmv.tm_yday, tmv.tm_hour,|long name day of year
rinex/rinex2xx_nav.cpp|struct tm *t = getTimeFromGpsWeekMs(nav.week + 1356, (int)nav.toc * 1000);|struct tm *t = getTimeFromGpsWeekMs(nav.week + 1355, (int)nav.toc * 1000);|RINEX 2 BDS week offset
gnssparser/frame_rtcm3.cpp|(s->buffer[1] & 0x03u) << 8)|(s->buffer[1] & 0x01u) << 8)|RTCM 3 frame length: bit width
gnssparser/rtcm3.cpp|double pr = (double)read_u(&r, glonass ? 25 : 24) * 0.02;|double pr = (double)read_u(&r, glonass ? 24 : 24) * 0.02;|RTCM 3 legacy GLONASS L1 pseudorange: bit width
gnssparser/navigation.cpp|nav->af1 = scale(raw->af1, -43);|nav->af1 = scale(raw->af1, -44);|GPS clock drift scale
rinex/rinex2xx.cpp|v -= 1e9;|v -= 1e8;|RINEX 2 folding of values of a billion or more
gnssparser/novatel.cpp|obs->locktime = (float)((w & 0x1FFFFF) / 32.0);|obs->locktime = (float)((w & 0x1FFFFF) / 16.0);|RANGECMP lock time scale
gnssparser/hemisphere.cpp|out->adr = (double)phase * (-1.0 / 1024.0);|out->adr = (double)phase * (1.0 / 1024.0);|Hemisphere carrier phase sign
gnssparser/frame_hemisphere.cpp|for (uint32_t i = 8; i + 4 < total; i++) sum += s->buffer[i];|for (uint32_t i = 8; i + 3 < total; i++) sum += s->buffer[i];|Hemisphere checksum: loop bound
rinex/rinex3xx.cpp|ssi = (int)(o.cnr / 6.0f);|ssi = (int)(o.cnr / 5.0f);|RINEX 3 signal strength scale
rinex/rinex3xx.cpp|if (shift != 0) x += shift * 0.25;|if (shift != 0) x -= shift * 0.25;|RINEX 3 phase shift sign
rinex/rinexxxx_format.cpp|return 512 + (via & 1) + ((via & 2) ? 4 : 0);|return 512 + (via & 1) + ((via & 2) ? 2 : 0);|RINEX 3 Galileo data sources bit
gnssparser/sbf.cpp|return raw * 0.25f + (signal_number|return raw * 0.5f + (signal_number|SBF C/N0 scale
gnssparser/sbf.cpp|const uint8_t code_msb = p[3] & 0x0F;|const uint8_t code_msb = p[3] & 0x07;|SBF Type1 code: bit width of the top bits
gnssparser/ublox.cpp|out->glonass_channel = (int8_t)((int)out->freq_id - 7);|out->glonass_channel = (int8_t)((int)out->freq_id - 8);|UBX RAWX GLONASS channel offset
gnssparser/sbf.cpp|doppler_lsb) * 1e-4;|doppler_lsb) * 1e-3;|SBF Type2 Doppler offset scale
gnssparser/sbf.cpp|obs->glonass_channel = (int8_t)((info >> 3) - 8);|obs->glonass_channel = (int8_t)((info >> 3) - 7);|SBF Type1 GLONASS frequency number offset
gnssparser/navbits.cpp|raw.toe = (uint16_t)navbits_get(w1, 16, 14);|raw.toe = (uint16_t)navbits_get(w1, 15, 14);|Galileo I/NAV toe: bit offset
gnssparser/hemisphere.cpp|const double doppler = (double)((w >> 33) & 0x7FFFFF) / 512.0;|const double doppler = (double)((w >> 33) & 0x7FFFFF) / 256.0;|Hemisphere Doppler scale
gnssparser/novatel.cpp|nav->slot = (uint8_t)(slot > 37 ? slot - 37 : slot);|nav->slot = (uint8_t)(slot > 37 ? slot - 38 : slot);|NovAtel GLONASS ephemeris slot offset
task/threadbinarytorinex.cpp|const double radius = r * 0.001;|const double radius = r * 0.01;|slant antenna height: radius scale
rinex/rinexxxx.cpp|{248, 255, 14}|{248, 255, 12}|GPS fit interval hours of IODC 248 to 255
rinex/rinex2xx_nav.cpp|const long frameTime = (((long)nav.tk - 10800) % 86400 + 86400) % 86400;|const long frameTime = (((long)nav.tk - 7200) % 86400 + 86400) % 86400;|RINEX 2 GLONASS frame time: Moscow offset
rinex/rinex3xx_header.cpp|snprintf(line, sizeof line, "%3d ", known);|snprintf(line, sizeof line, "%3d ", (int)slots.size());|RINEX 3 GLONASS slot count taken after padding
ui/util.cpp|s = (s * 24061u) % 29989u;|s = (s * 24601u) % 29989u;|discovery scrambling multiplier
qc/quality.cpp|mp = c->value - (1 + 2 / (alpha - 1)) * l1->value * w1|mp = c->value - (1 + 2 / (alpha + 1)) * l1->value * w1|code multipath combination sign
compress/hatanaka.cpp|const bool slip = lli >= '0' && lli <= '9' && ((lli - '0') & 1);|const bool slip = lli >= '0' && lli <= '9' && ((lli - '0') & 2);|Compact RINEX loss-of-lock bit
gnssparser/novatel.cpp|double phase_diff = bits_le(b, 59, 20) / 2048.0;|double phase_diff = bits_le(b, 59, 20) / 1024.0;|RANGECMP2 phase difference scale
gnssparser/novatel.cpp|obs->doppler = (float)(sign_extend(util_bytes_to_u32(rec + 4), 28) / 256.0);|obs->doppler = (float)(sign_extend(util_bytes_to_u32(rec + 4), 27) / 256.0);|RANGECMP Doppler: sign bit
gnssparser/novatel.cpp|out->latitude = rd(b, 8);|out->latitude = rd(b, 16);|BESTPOS/PSRPOS latitude offset
gnssparser/util.cpp|return (value & sign) ? -(int32_t)mag : (int32_t)mag;|return (value & sign) ? -(int32_t)value : (int32_t)mag;|GLONASS sign-magnitude: sign bit kept in the magnitude
gnssparser/hemisphere.cpp|out->prn = (uint8_t)(satellite - 192);|out->prn = (uint8_t)(satellite - 193);|Hemisphere QZSS and IRNSS satellite number offset
gnssparser/hemisphere.cpp|out->phase_valid = 0;|(void)0;|Hemisphere phase flag kept for a signal of unknown carrier
gnssparser/novatel.cpp|kRangecmp2PsrStd[bits_le(b, 37, 4)]|kRangecmp2PsrStd[bits_le(b, 36, 4)]|RANGECMP2 pseudorange std index: bit offset
rinex/rinexxxx.cpp|rtcm3MsFromEphemeris = true;|rtcm3MsFromEphemeris = false;|GPS-only week paired with toc when the ephemeris comes before any epoch
rinex/rinexxxx_input.cpp|if (leapSeconds == 99) leapSeconds = e.dt_ls + 14;|if (leapSeconds == 99) leapSeconds = e.dt_ls;|BDS leap seconds: 14 s behind GPS
rinex/rinexxxx_format.cpp|if (index < 75) return 0.5 + (index - 50) * 0.02;|if (index < 75) return 0.5 + (index - 50) * 0.04;|Galileo SISA step from 0.5 to 1 m
gnssparser/rtcm3.cpp|(ext <= 13 ? (int)ext - 7 : GLONASS_CHANNEL_UNKNOWN)|(ext <= 14 ? (int)ext - 7 : GLONASS_CHANNEL_UNKNOWN)|GLONASS MSM extended information 14 taken as a channel
gnssparser/rtcm3.cpp|if (i < 120) return 16 * i - 1176;|if (i < 120) return 16 * i - 1168;|RTCM 3 legacy lock time: offset of the 16 s range
gnssparser/rtcm3.cpp|o->l2.pseudorange = pr + (double)code_diff * 0.02;|o->l2.pseudorange = pr + (double)code_diff * 0.002;|RTCM 3 legacy L2 code difference scale
gnssparser/sbf.cpp|nav->p1 = p1_minutes == 30 ? 1 : p1_minutes == 45 ? 2 : p1_minutes == 60 ? 3 : 0;|nav->p1 = p1_minutes;|SBF GLONav P1 kept in minutes instead of the two-bit code
rinex/rinexxxx_ublox.cpp|learnRtcm3Week(t.week, (int)t.itow, true, 0, false, true);|learnRtcm3Week(t.week - 1, (int)t.itow, true, 0, false, true);|u-blox NAV-TIMEGPS week off by one for MSM epochs
gnssparser/sbf.cpp|((health & 0x10) ? 2 : 0)|((health & 0x20) ? 2 : 0)|SBF GALNav I/NAV source: E5b validity bit
task/threadbinarytorinex.cpp|(int)qMin<qint64>(100, sizeDone * 100 / sizeTotal)|(int)(sizeDone * 100 / sizeTotal)|task progress past 100 for an input that grew
app/quorvane_convert.cpp|if (!why.isEmpty()) return usageError(why);|(void)why;|converter: --set values the task would ignore taken silently
app/quorvane_convert.cpp|for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);|(void)action;|converter: an interrupt kills the run mid-file
app/quorvane_convert.cpp|if (!o.files[i].contains(';')) continue;|continue;|converter: a name holding a semicolon read as other files
app/quorvane_convert.cpp|return withStandardOutput(failures ? 1 : 0);|return failures ? 1 : 0;|converter: lost list of written files reported as success
tools/rtcm3_stream.h|back.tm_mday != d|back.tm_mday != back.tm_mday|generator start: a day the month does not have
app/quorvane_convert.cpp|if (quiet && (m.startsWith("Input  = ")|if (quiet && (true|converter: quiet hides what a task says about the data
rinex/rinexxxx.cpp|                                         : glonassNavRefMs;|                                         : 0;|GLONASS record date without epochs: reference of the agreeing records
rinex/rinex2xx.cpp|{210, GNSS_SYSTEM_SBAS, {"1C"}|{211, GNSS_SYSTEM_SBAS, {"1C"}|RINEX 2.10 SBAS L1 types
task/file.cpp|if (path.contains(';')) return refuse(|if (false) return refuse(|file list: a name holding a semicolon listed
rinex/rinexxxx_file.cpp|noteError(QString("cannot rename %1 to %2: %3").arg(f->path(), plain, f->file.errorString()));|noteError(QString("cannot rename %1 to %2: %3").arg(f->path(), plain, f->file.errorString())); return;|writer: a file left under its temporary name not named as kept
ui/mainwindow.cpp|web->setProperty("url", url.toString());|web->setProperty("url", QString("http://%1/").arg(address));|device table: IPv6 address bare in the web URL
ui/mainwindow.cpp|if (type->compare(offered, Qt::CaseInsensitive) == 0) *type = offered;|if (type->compare(offered, Qt::CaseSensitive) == 0) *type = offered;|window: a header's height type in another letter case dropped
ui/mainwindow.cpp|if (QFileInfo(dest).isFile() && !old.remove()) {|if (QFileInfo(dest).isFile() && !old.remove() && false) {|merge: an old destination that cannot be deleted appended to
tools/gnssscan.cpp|s = "line,rtcm3,novatel,hemisphere,ublox,septentrio";|s = "line,rtcm3,novatel,hemisphere";|gnssscan: the conversion's formats without u-blox and SBF
app/quorvane_convert.cpp|QFile::setPermissions(mergeTemporary, QFile::permissions(o.merge));|(void)0;|merge: a replaced output loses its permissions
task/threadbinarytorinex.cpp|QByteArray(1, letter) + part.trimmed().toUpper().toUtf8();|QByteArray(1, letter) + part.toUpper().toUtf8();|signal mask: a code after a blank dropped
task/threadbinarytorinex.cpp|return *msSince1970 >= UTIL_GPS_ORIGIN_MS;|return true;|Time Start before the first GPS week taken
task/threadbinarytorinex.cpp|while (done < n && (w = fileOutput->write(chunk.constData() + done, n - done)) > 0) done += w;|done = fileOutput->write(chunk.constData(), n);|merge: a short write reported as "Unknown error"
task/file.cpp|if (head.size() > offset + size) text.truncate(|if (false) text.truncate(|file information: a header line cut by the read limit taken cut
qc/rinex_obs_reader.cpp|if (number(line, at, 14, &x) && x != 0.0) v.value = x;|if (number(line, at, 14, &x)) v.value = x;|RINEX observation written as 0.0 read as a measurement, not as missing
qc/rinex_obs_reader.cpp|    m_cut = true;|    (void)0;|RINEX observation file ending inside an epoch not told
qc/quality.cpp|if ((l->lli & 1) && sg.phaseSeen) {|if (l->lli & 1) {|lost lock flagged on a signal's first phase counted as a cycle slip
app/quality_feed.cpp|const bool rewrite = m_hasPending && m_pending.time == e.time;|const bool rewrite = false;|quality feed: an epoch record the writer rewrites checked twice
qc/report_format.cpp|(r.epochs > 0 ? jsonString(formatTime(r.first)) : std::string("null"))|jsonString(formatTime(r.first))|quality JSON: a file without epochs dated 1980-01-06
task/file.cpp|gnssparser_flush(parser);|(void)parser;|file information: a candidate still open at the end of the bytes read hides the frames inside it
gnssparser/frame_misc.cpp|if (x != s->buffer[total - 3]) return 0;|if (x != s->buffer[total - 3]) { s->count = 0; return 0; }|sino: a failed check drops the candidate's bytes unsearched
rinex/rinexxxx.cpp|markerNumber = headerText(number, 20);|markerNumber = number.left(20);|header text: a line break or a multi-byte character taken into the columns
rinex/rinexxxx.cpp|ppkHeldEpochs++;|(void)0;|PPK Only: epochs kept out by the mode reported as missing from the input
app/quorvane_convert.cpp|!Rinexxxx::MARKER_TYPE.contains(value.toUtf8())|value.isEmpty()|converter: a marker type in lower case taken, dropping the marker name
app/quorvane_convert.cpp|if (key == T::KEY_LATITUDE && !writer.setPhaseCenter(v, 0, 0))|if (key == T::KEY_LATITUDE && false)|converter: a latitude beyond the pole taken, the header showing the log's position
rinex/rinexxxx_input.cpp|if (droppedEpochs != dropped) lastIntervalBucket = bucket;|if (droppedEpochs != dropped) (void)bucket;|rate limit: an older epoch dropped takes the bucket of the last written one
rinex/rinexxxx_input.cpp|QByteArray name = headerText(f[5], 60);|QByteArray name = f[5].left(60);|PPK event record: a site name cut by bytes, not kept to ASCII
rinex/rinexxxx_file.cpp|    if (behind) behind->restartAt(at);|    if (false) behind->restartAt(at);|records written behind: a rewrite reaching into records already handed over loses its place
rinex/write_behind.cpp|fillUsed = (size_t)(at - fillStart);|fillUsed = (size_t)(at - fillStart) + 1;|records written behind: a rewrite inside the buffer being filled cut a byte late
gnssparser/rtcm3.cpp|if (number == 1006) st->height = (float)(read_u(&r, 16) * 0.0001);|if (number == 1006) st->height = (float)(read_u(&r, 16) * 0.001);|RTCM 3 1006 antenna height scale
gnssparser/rtcm3.cpp|text->time = ((int64_t)text->mjd - 40587) * 86400000|text->time = ((int64_t)text->mjd - 40586) * 86400000|RTCM 3 1029 text time: MJD of 1970-01-01
rinex/rinex3xx.cpp|if (fr != 0) x += fr * i.bias * 3.3356409519815204e-9;|if (fr != 0) x -= fr * i.bias * 3.3356409519815204e-9;|RINEX 3 GLONASS code-phase bias sign
gnssparser/novatel.cpp|return (uint8_t)novatel_prn(n, 161);|return (uint8_t)novatel_prn(n, 160);|NovAtel BDS ephemeris PRN given as the range logs number it: offset
gnssparser/hemisphere.cpp|const int channel = (int)frame[9] - 8;|const int channel = (int)frame[9] - 7;|Hemisphere GLONASS ephemeris frequency channel byte offset
rinex/rinex2xx_nav.cpp|if (d < -302400) return tow + 604800.0;|if (d < -302400) return tow;|RINEX 2 transmission time sent in the week after toe not carried over
rinex/rinexxxx.cpp|            if (!why.isEmpty()) noteError(QString("cannot write %1: %2").arg(f->path(), why));|            (void)why;|writer flush: a failed write of the last records, made on their own thread, not among the output errors
compress/hatanaka.cpp|const bool verbatim = recordLines > 0 && eventRecord;|const bool verbatim = false;|Compact RINEX: the padded header lines of a new-site event refused, the file left uncompressed
qc/orbit.cpp|const double relativistic = m.f * k.e * k.sqrtA * sinE;|const double relativistic = -m.f * k.e * k.sqrtA * sinE;|broadcast orbit: sign of the relativistic clock term
qc/orbit.cpp|d[5] = -mu / r3 * s[2] - a * s[2] * (3.0 - z2) + acc[2];|d[5] = -mu / r3 * s[2] - a * s[2] * (1.0 - z2) + acc[2];|GLONASS orbit integration: J2 term of the z acceleration
ui/widgettreeparam.cpp|w->setCurrentIndex(w->findData(value, Qt::UserRole,|w->setCurrentIndex(w->findData(value.toLower(), Qt::UserRole,|settings tree: a stored value differing only in letter case taken as another
gnssparser/sbf.cpp|s = GNSS_SYSTEM_GLONASS, p = svid - 38;|s = GNSS_SYSTEM_GLONASS, p = svid - 37;|SBF SVID 63 to 68: GLONASS slot offset
compress/hatanaka.cpp|const int k = arc.count < kOrder ? arc.count : kOrder;|const int k = arc.count < kOrder ? arc.count : kOrder - 1;|Compact RINEX: differences stop at the second order
rinex/rinexxxx.cpp|updateLocktime(writer, msOfWeek % 86400000, 86400000);|updateLocktime(writer, msOfWeek);|legacy GLONASS lock time compared across Moscow midnight as a week apart
rinex/rinexxxx.cpp|    if (tow < scaleBehindMs) return week + 1;|    if (false) return week + 1;|BDS ephemeris week paired with a GPS epoch in the 14 s before the BDS week ends
rinex/rinexxxx.cpp|if (sentBeforeToc && tow < hours4 &&|if (false && tow < hours4 &&|GPS ephemeris of the week before, resent after the week ended, dates the epochs a week early
rinex/rinexxxx_ublox.cpp|learnRtcm3Week(t.week, (int)t.itow, true, 0, false, true);|learnRtcm3Week(t.week, (int)t.itow, true, 0, false, false);|u-blox NAV-TIMEGPS week paired with an MSM epoch across the end of the week
rinex/rinexxxx.cpp|    const int shift = d > 302400 ? -1 : d < -302400 ? 1 : 0;|    const int shift = 0;|navigation record with toc and toe on either side of a week end: one week taken for both
rinex/rinexxxx_input.cpp|    if (packet.week > 0 && packet.ms >= 604800000u) {|    if (false) {|Hemisphere epoch rounded to the end of the week kept in the old week: a PPK sample of the next week misses it
rinex/rinexxxx.cpp|lockResolution < 0 && lockTime > 0 && lockTime < d * 0.001|lockResolution < 0 && lockTime > 0 && lockTime < 0|a lock time at its top taken to vouch for a gap longer than its value
rinex/rinex2xx.cpp|                    noteTypeless(o.signal);|                    (void)0;|RINEX 2: observations of signals it has no type for left out without a word
rinex/rinexxxx_input.cpp|        if (hemisphereEpochOpen) incompleteEpochs++;|        (void)0;|Hemisphere epoch given up for a missing page not counted
rinex/rinexxxx_input.cpp|    const qint64 before = endRtcm3Epoch();|    const qint64 before = 0;|NovAtel range log inside an RTCM 3 epoch drops the messages collected so far
gnssparser/gnssparser.h|#define GNSSPARSER_BUFFER_SIZE 66048|#define GNSSPARSER_BUFFER_SIZE 16384|framer buffer too small for a whole range log of 400 records
rinex/rinexxxx_input.cpp|: msmEpochMs >= 0 && apart(msmEpochMs, tow))|: false)|GLONASS message of another time joins an epoch begun by another system: observations misdated across a seam
task/threadbinarytorinex.cpp|    } else if (names.isEmpty() && problem.isEmpty() && !unconfirmed.isEmpty()) {|    } else if (names.isEmpty() && problem.isEmpty() && unconfirmed.isEmpty() && false) {|PPK Only task failure said no GNSS data
rinex/rinexxxx.cpp|        if (young && !st.slip) st.slip = st.pending = true;|        if (young && st.slip) st.slip = st.pending = true;|second report of a signal in its epoch with a restarted lock left unflagged
qc/quality.cpp|    if (st.started && t <= st.last) {|    if (st.started && t < st.last) {|quality check: an epoch given twice counted twice
qc/quality.cpp|            if (off > 10000.0) {|            if (off > 1e12) {|quality check: a header position thousands of km off trusted for elevations
compress/hatanaka.cpp|if (version == 2 && arc.count == 1) flagWhole[2 * (size_t)t] = flagWhole[2 * (size_t)t + 1] = 1;|if (false) flagWhole[0] = 1;|Compact RINEX 1.0: the flags of an observable whose arc opens differenced against the previous ones, a repeated loss of lock restored as a blank
rinex/rinex3xx.cpp|if (!o.phaseAligned) {|if (true) {|RINEX 3 phase shift added again to MSM and SBF phases the receiver sent aligned: same-band phases a quarter cycle apart
rinex/rinex3xx.cpp|ssi ? (char)('0' + ssi) : ' ');|(char)('0' + (ssi ? ssi : 1)));|phase of a signal whose C/N0 was not measured gets SSI 1 (weakest) instead of blank
rinex/rinexxxx_format.cpp|const int via = (source & 3) ? source : 3;|const int via = source;|Galileo I/NAV record of a source that does not name its signal gets data sources 512: no I/NAV signal bit, health and BGDs read as invalid
rinex/rinex3xx_nav.cpp|const double tt = transmissionTime(nav.tow, nav.toe, nav.week, 0);|const double tt = transmissionTime(qzss && nav.tow < 0 && lastWeek <= 0 ? (int32_t)nav.toe : nav.tow, nav.toe, nav.week, 0);|QZSS record without transmission time before any epoch claims it was sent at toe instead of the unknown value
rinex/rinexxxx_input.cpp|            leapSeconds = (int)lround(-e.utc_offset);|            leapSeconds = (int)(-e.utc_offset);|NovAtel TIME: UTC offset of -17.999999998 s truncated to 17 leap seconds
gnssparser/hemisphere.cpp|count < 100800 ? (int32_t)(6u * count) - 6 : -1;|count < 100800 ? (int32_t)(6u * count) : -1;|Hemisphere 95 transmission time taken as the HOW's next-subframe time
gnssparser/sbf.cpp|    nav->week = (uint16_t)nearestWeek(util_bytes_to_u16(b + 138) % 1024, h.wnc, 1024);|    nav->week = (uint16_t)nearestWeek(util_bytes_to_u16(b + 136) % 1024, h.wnc, 1024);|SBF GPSNav: week of toc taken as the week of toe
qc/quality.cpp|    if (!positionKnown) return;|    if (!positionKnown) return; anyGeometry = true;|quality check: records of another day claim elevations known while none is
qc/report_format.cpp|        if (c >= 0x80) {|        if (c >= 0xff) {|quality JSON: a Latin-1 byte of a header name written raw, so the JSON is not valid UTF-8
rinex/rinexxxx.cpp|updateLocktime(writer, header.tow % 86400000, 86400000);|updateLocktime(writer, (header.epoch >> 27) == 7 ? header.tow % 86400000 : header.tow, (header.epoch >> 27) == 7 ? 86400000 : 604800000);|GLONASS MSM lock times compared across a day-of-week field that turns from unknown to known: every GLONASS phase flagged as lost there
rinex/rinexxxx_input.cpp|rtcm3QuarterCycle.value(pending.station, 0) == 1|false|legacy RTCM 3 phases of a station whose quarter cycle indicator says they are aligned get the RINEX 3 shift again: GLONASS L2 P a quarter cycle off
rinex/rinexxxx.cpp|it.value() != aligned && writer->phaseAlignmentOf(s) != 0)|false)|legacy phases that step by the RINEX 3 shift once the station's quarter cycle indicator arrives, without a slip flag
rinex/rinexxxx_ublox.cpp|halfCycleOk = (meas.lli & 2) == 0;|halfCycleOk = true;|u-blox RXM-RAW: the receiver's half-cycle flag (RINEX LLI bit 1) dropped, unresolved half cycles written as resolved
rinex/rinexxxx.cpp|    if (!(dated && st.dated)) {|    if (true) {|lock times of reports a whole week apart compared as the same epoch
task/threadbinarytorinex.cpp|    if (rinex && rinex->isOpen()) settleOutputs();|    if (rinex && rinex->isOpen()) dropUnusableOutputs();|a task list closed mid-task: the running task's cut-short files replace what an earlier task of the list wrote under the same names
app/quorvane_convert.cpp|    signal(SIGXFSZ, SIG_IGN);|    (void)0;|converter: a file size limit kills the run mid-file, its temporary files left behind and the merge's hidden copy too
app/quorvane_convert.cpp|        if (o.join && failures) {|        if (o.join && false) {|converter: --join of an input that cannot be read writes the others' output set and names it as written
rinex/rinexxxx_input.cpp|    if (range.isEmpty()) return 0;|    if (false) return 0;|an epoch without observations (all masked, or nothing tracked) written as an empty record that dates the file
task/threadbinarytorinex.cpp|        if (rinex->maskedObservations > 0)|        if (false)|a log whose data all fell to the masks reported as holding no GNSS data
gnssparser/gnssparser.cpp|uint32_t keep = s->handler ? 0 : kSyncHeldMax - 1;|uint32_t keep = 0;|framer: a buffer filled while searching drops the start of the sync it cuts
tools/gnssscan.cpp|for (int i = 0; i < FORMAT_COUNT; i++) enabled[i] = i != HCI;|for (int i = 0; i < FORMAT_COUNT; i++) enabled[i] = true;|gnssscan: HCI packets, which carry no check, looked for by default
rinex/rinexxxx_input.cpp|int sentence = text.indexOf('$');|int sentence = text.startsWith('$') ? 0 : -1;|text line: a sentence after the tail of a damaged frame is not looked for
rinex/rinexxxx.cpp|const qint64 bucket = (msSince1970 + early) / obsIntervalMin;|const qint64 bucket = msSince1970 / obsIntervalMin;|rate limit counts an epoch a few ms before a grid point to the interval before it: the grid point gets the epoch a whole data interval later
rinex/rinexxxx_input.cpp|glonass ? (msmGlonassEpochMs >= 0 ? msmGlonassEpochMs % 86400000|glonass ? (msmGlonassEpochMs > 0 ? msmGlonassEpochMs % 86400000|GLONASS MSM epoch at 0 ms of the UTC day taken for no epoch: without a cleared multiple message bit it merges into the next epoch
rinex/rinexxxx_input.cpp|return d != leapSecondsAt(util_gps_time_to_epoch(rtcm3Week, gpsTow)) * 1000;|return d != leapSeconds * 1000;|GLONASS MSM after a leap second inside the log taken for another epoch: every GLONASS observation after it lost
task/threadbinarytorinex.cpp|        if (written != value)|        if (false)|header text that a field cuts or writes as "?" (marker, receiver, antenna, comment values) changed without a message
rinex/rinexxxx_format.cpp|    if (phaseCenterGiven)|    if (phaseCenterBlh[0] != 0)|a typed position on the equator (latitude 0) replaced by the log's own in APPROX POSITION XYZ
task/threadbinarytorinex.cpp|        if (!unread.isEmpty())|        if (false)|an antenna height or geometry field that is no number (1,5) read as 0 without a message
task/threadbinarytorinex.cpp|        if (!rinex->setAntennaHEN(antenna.height, 0, 0))|        if (!rinex->setAntennaHEN(antenna.height, 0, 0) && false)|an antenna height the writer refuses (1500 m typed for mm) dropped from the header without a message
task/threadbinarytorinex.cpp|        !(markerName.isEmpty() && markerNumber.isEmpty()))|        false)|marker name and number dropped for a marker type of no RINEX type without a message
app/quorvane_convert.cpp|        if (ascii.size() > width)|        if (ascii.size() > width + 1)|--set takes a header value one character longer than its field, which the header cuts
app/quorvane_convert.cpp|        if (ascii.count('?') > value.count('?'))|        if (false)|--set takes header text with characters of no ASCII form (CJK, tab, line feed), written as "?"
task/threadbinarytorinex.cpp|        if (!p.value(KEY_ANTENNA_HEIGHT).trimmed().isEmpty() && !heightTypes.contains(p.value(KEY_HEIGHT_TYPE).toUpper()))|        if (false)|an antenna height not used because the height type is empty (a file shown in the window whose log names none) without a message
task/threadbinarytorinex.cpp|        if (!(fabs(antenna.centerL1) < 1e6 && fabs(antenna.centerL2) < 1e6))|        if (false)|antenna phase centre offsets too large for their columns left out of the header without a message
app/quorvane_convert.cpp|isNumber(n) && fabs(QLocale::c().toDouble(n.trimmed())) < 1e6;|isNumber(n);|--set takes an antenna geometry with an infinite offset, which the header leaves out
task/threadbinarytorinex.cpp|            } else if (!part.trimmed().isEmpty()) {|            } else if (false) {|a satellite mask the task cannot read (G05, 0, x) masks nothing without a message
task/threadbinarytorinex.cpp|            else if (!part.trimmed().isEmpty()) unused.append(part);|            else if (false) unused.append(part);|a signal mask the task cannot read (L2W) masks nothing without a message
rinex/rinexxxx.cpp|    antennaCenter[0] = l1 + 0.0;|    antennaCenter[0] = l1;|a typed -0 antenna geometry writes an L1 phase centre offset of -0.0000
rinex/rinexxxx.cpp|    antennaHen[0] = h + 0.0;|    antennaHen[0] = h;|a typed -0 antenna height writes an ANTENNA: DELTA H/E/N height of -0.0000
app/quorvane_convert.cpp|        if (QStringList({"no", "n", "0", "false", "off", "unchecked"}).contains(value.trimmed().toLower()))|        if (false)|--set Prescan=No (or a mask system, Phase As ARP, No Phase Shift of No, 0, false) switches the setting on
rinex/rinexxxx.cpp|phaseCenterGiven = latitude != 0|phaseCenterGiven = true|a log header's 0, 0 (no position known) written as a position in the Gulf of Guinea
rinex/rinexxxx_format.cpp|        if (fabs(xyz[i]) < 0.00005) xyz[i] = 0;|        if (false) xyz[i] = 0;|a header coordinate a hair below zero written as -0.0000
rinex/rinexxxx.cpp|int &weeksOff = timeStartGiven ? timeStartWeeksOff : ephemerisWeeksOff;|int &weeksOff = timeStartWeeksOff;|logs of different weeks joined: epochs dated from the other log's week without a word
rinex/rinexxxx.cpp|lastEpochMs > 0 && d <= INT_MAX && (intervalMs|lastEpochMs > 0 && (intervalMs|a first gap of more than 24 days (logs of different weeks joined) wraps the header's interval negative
qc/report_format.cpp|if (s.size() >= width) return right ? " " + s : s;|if (s.size() >= width) return s;|quality report: a count as wide as its column runs into the one before
qc/quality.h|    long long observations = 0;   // non-blank values of all types|    int observations = 0;   // non-blank values of all types|quality report: observations of a system summed in 32 bits
qc/quality.cpp|r.epochs_expected = n < 1e15 ? (long long)n : (long long)1e15;|r.epochs_expected = (int)n;|quality report: expected epochs of a long 1 kHz file converted to 32 bits
ui/widgetfilelist.cpp|QCheckBox *box = new QCheckBox(QString(file->shortName).replace('&', "&&"));|QCheckBox *box = new QCheckBox(file->shortName);|file list: a "&" in a file name taken for a shortcut mark and not shown
ui/widgettreeparam.cpp|label->setTextFormat(Qt::PlainText);|label->setTextFormat(Qt::AutoText);|settings tree: a path or header text that looks like markup rendered as markup
ui/mainwindow.cpp|if (tableDevices->rowCount() >= MAX_DEVICES) continue;|if (tableDevices->rowCount() >= 100 * MAX_DEVICES) continue;|device table: rows without bound under a flood of replies
task/threadbinarytorinex.cpp|dir = QFileInfo(fileList.first()).absolutePath() + '/' + dir;|dir = QFileInfo(fileList.first()).absolutePath() + dir.mid(1);|output directory: ".." or a hidden directory beside the input mangled
task/file.cpp|head.contains("\xB5\x62") && !readUbloxVersion(probed, head) && info.size() > want;|head.contains("\xB5\x62") && !head.contains("\xB5\x62\x0A\x04") && info.size() > want;|file information: a MON-VER cut by the probe's end keeps the receiver unnamed
ui/mainwindow.cpp|widTreeParam->setValueMap(ParamMap(), MENU_INFO);|widTreeParam->setValueMap(ParamMap(), QString("none"));|window: the information of the last file removed still shown
rinex/rinexxxx_input.cpp|p.position_type != 0 && p.datum == NOVATEL_DATUM_WGS84) {|p.position_type != 0) {|a NovAtel position in a local datum (ED50, Tokyo) written as WGS 84 coordinates
task/file.cpp|v != "Unknown" && param.value(key).isEmpty()) param[key] = v;|v != "Unknown") param[key] = v;|a Septentrio receiver's stored setup (marker SEPT) overrides the marker and receiver a log header gives
qc/quality.cpp|if (leap < 0 && epoch.time > 0) {|if (leap < 0 && epoch.time >= 0) {|quality check: a file that opens with an undated event takes 0 leap seconds for its GLONASS orbits
qc/rinex_obs_reader.cpp|for (int k = 0; k < 12 && m_scaleLeft > 0; k++, m_scaleLeft--) {|for (int k = 0; k < 12 && m_scaleLeft > 0 && line[0] != ' '; k++, m_scaleLeft--) {|quality check: types on a continuation line of SYS / SCALE FACTOR read unscaled
qc/rinex_obs_reader.cpp|if (!t.empty() && std::find(header.begin(), header.end(), t) == header.end()) {|if (false) {|quality check: types an event adds to the header's dropped without a word
qc/rinex_obs_reader.cpp|if (m_scaleSystem == 'C' && m_version < 3.025 && t.size() == 3 && t[1] == '1') t[1] = '2';|if (false) t[1] = '2';|quality check: a RINEX 3.02 scale factor of the BDS B1I band (named 1 then) not applied
qc/rinex_text.cpp|return field(line, 24, 3) == "BDS" ? 14 : 0;|return 0;|quality check: a LEAP SECONDS line counted in BDS time taken as GPS - UTC (GLONASS orbits 14 s off)
qc/quality.cpp|    check.setUnreadNavigation(nav.unread_records);|    (void)0;|quality check: navigation records that could not be read left out of the report without a word
qc/rinex_obs_reader.cpp|*error = m_in.failed() ? "cannot be read" : "empty file";|*error = "empty file";|quality check: an observation path that cannot be read (a directory) called an empty file
qc/rinex_nav_reader.cpp|*error = path + (in.failed() ? ": cannot be read" : ": not a RINEX file");|*error = path + ": not a RINEX file";|quality check: a navigation path that cannot be read (a directory) called no RINEX file
qc/quality.cpp|if (st.sameSteps >= 3) st.regularStep = step;|if (false) st.regularStep = step;|quality check: without INTERVAL one stray epoch a moment after another cuts every later arc (no slips, no multipath)
rinex/rinexxxx_input.cpp|if (!lastEpochStations.empty() && !shared) {|if (false) {|RTCM 3 observations moving to another reference station continue the last station's locks
rinex/rinexxxx_input.cpp|t == lastStationsEpochMs) {|false) {|RTCM 3 MSM and legacy messages of one time under two station ids taken for a change of station
rinex/rinexxxx_file.cpp|        if (!file->cutTo(lastRecordStart)) {|        if (false) {|an epoch logged twice (RANGE and RANGECMP) appended as a second record instead of replacing the first
rinex/rinexxxx_input.cpp|        lastWriteIsRecord = true;|        lastWriteIsRecord = false;|an epoch logged twice no longer merged: the observations of the second log dropped
gnssparser/rtcm3.cpp|const bool l2Empty = code_diff == 0 && phase2_diff == 0 && o->l2.lock == 0 && !o->l2.cnr_valid;|const bool l2Empty = false;|RTCM 3 legacy L2 block left at zeros taken as an L2 range and carrier copied from L1
gnssparser/navigation.cpp|channel > 13) return table->channel[slot - 1];|channel > 99) return table->channel[slot - 1];|GLONASS channel of a reserved or damaged field (1020 value 21 to 31, a NovAtel offset out of range) kept for the slot
rinex/rinex2xx_nav.cpp|n += printEmpheLine(file, nav.idot, galileoInavSources(nav.source), nav.week + 1024, SPARE);|n += printEmpheLine(file, nav.idot, 517, nav.week + 1024, SPARE);|RINEX 2 Galileo I/NAV data sources fixed at E1-B and E5b-I whatever signal carried the record
rinex/rinex3xx.cpp|} else if (!phaseShiftEnable) {|} else if (false) {|RINEX 3 with the phase shift off keeps the quarter cycle that an aligning source put in its phases while the header lists 0
rinex/rinexxxx.cpp|it.value() != aligned && writer->phaseAlignmentOf(s) != 0)|it.value() != aligned && writer->phaseShiftOf(s) != 0)|legacy RTCM 3 quarter cycle indicator arriving late: the step it makes with the phase shift off not flagged as a slip
rinex/rinexxxx.cpp|    if (ms > 999999999) return;|    if (ms > 2147483647) return;|INTERVAL of a million seconds or more printed: its label pushed out of column 61
rinex/rinexxxx_ublox.cpp|const qint64 before = endRtcm3Epoch();|const qint64 before = 0;|u-blox RAWX among the messages of an RTCM 3 epoch: the rest of the RTCM 3 epoch joins the RAWX observations
rinex/rinexxxx_sbf.cpp|const qint64 before = endRtcm3Epoch();|const qint64 before = 0;|Septentrio MeasEpoch among the messages of an RTCM 3 epoch: the rest of the RTCM 3 epoch joins the MeasEpoch observations
rinex/rinexxxx_input.cpp|if (!rangeAgreesWithLastRecord()) {|if (false) {|another receiver's epoch of the same time merged into the record written
rinex/rinexxxx_input.cpp|differs = fabs(o.pseudorange - n->pseudorange) > 10.0;|differs = fabs(o.pseudorange - n->pseudorange) > 10000.0;|same-time epochs: pseudoranges of two receivers a few km apart taken for one receiver's
rinex/rinexxxx_input.cpp|fabs(o.phase - n->phase) > 0.5;|fabs(o.phase - n->phase) > 1e12;|same-time epochs: two receivers on one antenna taken for one (phases not compared)
rinex/rinexxxx_input.cpp|if (!writtenSources.empty() && rangeSource.format != lastRecordSource.format) sourceChanges++;|if (writtenSources.empty() && rangeSource.format != lastRecordSource.format) sourceChanges++;|epochs of two input formats in one file not counted
rinex/rinexxxx_input.cpp|if (writtenStations.contains(station.station)) noteSourceWritten();|approxBlh[0] = b, approxBlh[1] = l, approxBlh[2] = h;|a base's 1005 position becomes the header's of a rover whose log holds the base's corrections
rinex/rinexxxx_input.cpp|if (rangeSource.format == SOURCE_RTCM3)|if (rangeSource.format == SOURCE_NONE)|two stations at the same times taking turns: the one left out at one time takes the next without a change of station
gnssparser/gnss_signal.cpp|{0, 17, PS(N, N, 0, 0), "7Z", "B2b(DP)", 1207140000u},|{0, 17, PS(N, N, 0, 0), "7X", "B2b(DP)", 1207140000u},|BDS B2b data plus pilot under the BDS-2 B2 I+Q code 7X
gnssparser/gnss_signal.cpp|{0, 24, PS(0, 0, 0, 0), "2X", "B1(X)", 1561098000u},|{0, 24, PS(N, N, N, N), "2X", "B1(X)", 1561098000u},|BDS B1 I+Q given no RINEX 3 code
gnssparser/gnss_signal.cpp|X, 0, 1, 24, X, X, X, 4, 5, 25, X, X, X, 2, 3, 27,|X, 0, 1, X, X, X, X, 4, 5, X, X, X, X, 2, 3, X,|BDS MSM ids 4, 10, 16 (I+Q of B1, B3, B2) mapped to nothing
rinex/rinex3xx_header.cpp|snprintf(line, sizeof line, "%c  %3d", letter, (int)types.size());|snprintf(line, sizeof line, "%c   %2d", letter, (int)types.size());|RINEX 3 type count of a system as I2, 100 types shift the line
rinex/rinexxxx.cpp|writer->noteUnknown(QString("RTCM 3 %1 signal id %2").arg(header.message).arg(cell.signal_index + 1));|writer->noteUnknown(QString("RTCM 3 %1 signal id %2").arg(header.message).arg(cell.signal_index));|MSM cell of an unknown signal named by its id less one
rinex/rinexxxx_sbf.cpp|if (!entry.signal && entry.prn != 0) writer|if (!entry.signal) writer|an SBF satellite not yet numbered (GLONASS of unknown slot) named as a signal the converter does not know
gnssparser/util.cpp|_mm_set_epi32((int)c, 0, 0, 0)|_mm_set_epi32(0, 0, 0, (int)c)|CRC-24Q folding: the start value flips the last bits of the first block, not the first
rinex/rinexxxx.cpp|if (at != 0) states[at - 1u].present = false;|if (at != 0) states[at - 1u].state.slip = false;|lock table: a signal whose lock was lost stays in the table, its next phase not flagged
gnssparser/frame_trimble.cpp|for (uint32_t i = 1; i + 2 < total; i++) sum = (uint8_t)(sum + s->buffer[i]);|for (uint32_t i = 2; i + 2 < total; i++) sum = (uint8_t)(sum + s->buffer[i]);|Trimble packet checksum: the status byte left out of the sum
gnssparser/frame_rtcm2.cpp|if (p[0] != 0x66 && p[0] != 0x59) return 0;|if (p[0] != 0x66) return 0;|RTCM 2 sync: the complemented preamble sent after D30 = 1 not looked for
gnssparser/gnssparser.cpp|    state->count = 0;|    state->sync = 0;|framer reset (also run by every flush): bytes held from the last file stay and join the next file's first bytes
gnssparser/hemisphere.cpp|memcpy(out, frame, HEMISPHERE_BIN94_LENGTH);|memcpy(out, frame, HEMISPHERE_BIN94_LENGTH - 8);|Hemisphere message 94: leap seconds and later fields not copied
gnssparser/navbits.cpp|if (ones >= 2 && total == 1) {|if (ones >= 2) {|GLONASS string check: two wrong bits (total check even) mended as one instead of refused
gnssparser/navigation.cpp|nav->week = raw->week < 2048 ? (uint16_t)(raw->week + 2048) : raw->week;|nav->week = raw->week < 2048 ? (uint16_t)(raw->week + 1024) : raw->week;|GPS 10-bit week lifted by one roll-over instead of two
gnssparser/navigation.cpp|static const int kBetaExp[4] = {11, 14, 16, 16};|static const int kBetaExp[4] = {11, 14, 15, 16};|BDS ionosphere beta2 scale
gnssparser/navigation.cpp|const int64_t kGlonassEpoch = 820443600;|const int64_t kGlonassEpoch = 820454400;|GLONASS N4 and NT dates counted from 1996-01-01 UTC instead of Moscow time
gnssparser/navigation.cpp|if (tk_time - nav->tb_time > day_ms / 2)|if (tk_time - nav->tb_time > day_ms)|GLONASS frame time late on the Moscow day before tb's left a day late when dated from a known time
gnssparser/novatel.cpp|{1575420000.0, 101, 101, 0, NOVATEL_SIGNAL_SBAS, 2,|{1575420000.0, 100, 100, 0, NOVATEL_SIGNAL_SBAS, 2,|NovAtel SBAS satellite number offset
gnssparser/novatel.cpp|if (numbering == 2 && type == 9 && ((status >> 26) & 1) &&|if (numbering == 2 && type == 9 && ((status >> 25) & 1) &&|NovAtel numbering 2: L2 CL status bit offset
gnssparser/novatel.cpp|{T(6, 18, N, 12, N, 4), &GNSS_SIGNAL_GALILEO[12]},|{T(7, 18, N, 12, N, 4), &GNSS_SIGNAL_GALILEO[12]},|NovAtel RANGE Galileo E6B signal type
gnssparser/novatel.cpp|return header->version > 99 ? 0 : 2;|return header->version >= 99 ? 0 : 2;|NovAtel range log numbering: version 99 boundary
gnssparser/novatel.cpp|if (header->id != 43 && header->id != 6005) return -1;|if (header->id != 43) return -1;|NovAtel RANGEH logs refused
gnssparser/novatel.cpp|if ((uint32_t)(cursor->end - cursor->position) < signals * 12u) return -1;|if (false) return -1;|RANGECMP2: signal blocks of an unknown system skipped without checking they fit the body
gnssparser/novatel.cpp|out->nav.prn = (uint8_t)novatel_prn(out->nav.prn, 193);|out->nav.prn = (uint8_t)novatel_prn(out->nav.prn, 192);|QZSSEPHEMERIS PRN offset
gnssparser/novatel.cpp|if (d > 302400) week--;|if (d > 604800) week--;|NovAtel Galileo week: toe of the previous week read early in this one kept in this week
gnssparser/novatel.cpp|i->toc = ru(b, 176);|i->toc = ru(b, 148);|GALEPHEMERIS I/NAV toc taken from the F/NAV field
gnssparser/novatel.cpp|i->e1b_hs = b[8];|i->e1b_hs = b[6];|GALINAVEPHEMERIS E1-B health byte offset
gnssparser/novatel.cpp|header->version = util_bytes_to_u16(frame + 26);|header->version = util_bytes_to_u16(frame + 24);|NovAtel header receiver software version offset
gnssparser/novatel.cpp|double v = trunc(variance - 0.5);|double v = trunc(variance);|NovAtel URA variance to index: rounding
gnssparser/rtcm3.cpp|if (header->cell_amount > RTCM3_MSM_MAX_CELLS) {|if (header->cell_amount >= RTCM3_MSM_MAX_CELLS) {|MSM of a full 64-cell mask refused
gnssparser/rtcm3.cpp|const double pr_scale = pr_bits == 15 ? 1.0 / 16777216.0 : 1.0 / 536870912.0;|const double pr_scale = pr_bits == 15 ? 1.0 / 33554432.0 : 1.0 / 536870912.0;|MSM 1-5 fine pseudorange scale
gnssparser/rtcm3.cpp|case 1042: frame_length = 70; week_pos = 18; week_bits = 13; toc_pos = 54;|case 1042: frame_length = 70; week_pos = 18; week_bits = 13; toc_pos = 55;|prescan BDS ephemeris toc: bit offset
gnssparser/rtcm3.cpp|return message >= 1071 && message <= 1128;|return message >= 1071 && message <= 1117;|BDS MSM messages not taken for MSM
gnssparser/gnss_signal.cpp|{0, 8, PS(N, N, 0, 0), "1X", "B1C(DP)", 1575420000u},|{0, 8, PS(N, N, 0, 0), "1Z", "B1C(DP)", 1575420000u},|BDS B1C data plus pilot code
gnssparser/gnss_signal.cpp|X, 0, X, 8, X, X, X, X, 1, 2, X, X, X, X, 7, 9,|X, 0, X, 8, X, X, X, X, 2, 1, X, X, X, X, 7, 9,|GPS MSM ids 9 and 10 (L2 P and L2 Z-tracking) swapped
gnssparser/gnss_signal.cpp|{5, 3, PS(-1, -1, 1, 0), "3Q", "G3(Q)", 1202025000u},|{5, 3, PS(-1, -1, -1, 0), "3Q", "G3(Q)", 1202025000u},|GLONASS G3 Q phase shift of RINEX 3.04
gnssparser/ublox.cpp|memcpy(out->firmware, out->sw_version, sizeof out->firmware);|memset(out->firmware, 0, sizeof out->firmware);|u-blox MON-VER without FWVER=: firmware left empty instead of the software version
gnssparser/ublox.cpp|out->prn = (uint8_t)(out->sv - 100);|out->prn = (uint8_t)(out->sv - 120);|u-blox RXM-RAW SBAS satellite number offset
gnssparser/util.cpp|0x5763E680u, 0x6BB1F340u, 0x8B7A89C0u|0x5763E680u, 0x6BB1F380u, 0x8B7A89C0u|GPS word parity D29 equation: d24 mask bit
gnssparser/util.cpp|uint64_t u = util_bytes_to_u64(p);|uint64_t u = util_bytes_to_u64_be(p);|little-endian double read in big-endian byte order
gnssparser/util.cpp|return z / s - (1.0 - kE2) * n;|return z / s - n;|ECEF to geodetic height above 45 degrees latitude: (1 - e2) left out
gnssparser/util.cpp|for (uint32_t i = 2; i + 2 < length; i++) {|for (uint32_t i = 2; i + 1 < length; i++) {|u-blox checksum: loop bound takes CK_A into the sum
gnssparser/util.cpp|const char *p = line + 1;|const char *p = line;|NMEA checksum: the leading $ taken into the XOR
compress/hatanaka.cpp|if (text[i] == '0' && i + 1 != point) return false;|if (text[i] == '0' && i + 2 < point) return false;|Compact RINEX: a value with a leading zero before a one-digit whole part (05.000) taken and restored as 5.000
compress/compress_file.cpp|if (!out.write(buffer.data(), n)) return failed("cannot write " + to);|if (!out.write(buffer.data(), chunk)) return failed("cannot write " + to);|gzip-only compression of a finished file writes the whole read buffer, not the bytes read
compress/output_file.h|if (!encoder.line(text, length - 1)) return fail(encoder.error());|if (!encoder.line(text, length)) return fail(encoder.error());|Compact RINEX of a finished file: the CR of each line handed to the encoder, every file left uncompressed
rinex/rinex2xx.cpp|{211, GNSS_SYSTEM_GPS, {"5I", "5Q", "5X"}, {"C5", "L5", "D5", "S5"}},|{210, GNSS_SYSTEM_GPS, {"5I", "5Q", "5X"}, {"C5", "L5", "D5", "S5"}},|RINEX 2.10 lists the GPS L5 types that only 2.11 has
rinex/rinex2xx.cpp|    if (version >= 211) {|    if (version >= 210) {|RINEX 2.10 gets Galileo and BDS navigation files
rinex/rinex2xx.cpp|maskSignal.contains(letter + code)|maskSignal.contains(code)|RINEX 2 signal mask looked up without its system letter: masks nothing
rinex/rinex2xx.cpp|if (obsTypes.size() >= MAX_TYPES) continue;|if (obsTypes.size() > MAX_TYPES) continue;|RINEX 2 type list one over its cap: the header runs past its reserved lines
rinex/rinexxxx.cpp|receiverNumber = headerText(number, 20);|receiverNumber = headerText(number, 30);|REC # / TYPE / VERS: a long receiver number not cut to its 20 columns, the label pushed out of columns 61-80
rinex/rinex2xx_nav.cpp|ion("ION ALPHA", hemisphereIonUtc.alpha);|ion("ION ALPHA", hemisphereIonUtc.beta);|RINEX 2 navigation header from Hemisphere parameters: ION ALPHA written with the beta values
rinex/rinex3xx_header.cpp|ok = ok && in.open(QIODevice::ReadOnly) && in.seek((qint64)reservedLines * 82);|ok = ok && in.open(QIODevice::ReadOnly) && in.seek((qint64)(reservedLines - 1) * 82);|RINEX 3 header longer than its reserved lines: the records copied from one line early, the old END OF HEADER with them
rinex/rinex3xx.cpp|const char *texts[] = {"C: BDS", "E: GALILEO", "G: GPS", "J: QZSS", "R: GLONASS", ""};|const char *texts[] = {"C: BDS", "E: GALILEO", "G: GPS", "R: GLONASS", "J: QZSS", ""};|RINEX 3 one navigation file per system: the QZSS and GLONASS files labelled as each other
rinex/rinexxxx.cpp|return !maskPrn.contains(QByteArray(name, 3));|return true;|navigation records of a masked satellite written
rinex/rinex3xx_nav.cpp|leapLine(gpsIonUtc.dt_ls, gpsIonUtc.dt_lsf, (int)gpsIonUtc.week_lsf, (int)gpsIonUtc.day, "GPS");|leapLine(gpsIonUtc.dt_ls, gpsIonUtc.dt_lsf, (int)gpsIonUtc.day, (int)gpsIonUtc.week_lsf, "GPS");|RINEX 3 navigation LEAP SECONDS: week and day of the future leap second swapped
rinex/rinexxxx_input.cpp|return novatel_parser_qzssephemeris(data, &header, &e) == 0 ? writeNQzs(e.nav) : 0;|return novatel_parser_qzssephemeris(data, &header, &e) == 0 ? writeNGps(e.nav) : 0;|NovAtel QZSSEPHEMERIS written as a GPS record
rinex/rinexxxx.cpp|signal->phase_shift[versionMinor % 6] == GNSS_PHASE_SHIFT_NONE;|signal->phase_shift[5] == GNSS_PHASE_SHIFT_NONE;|RINEX 3 codes judged by the newest version's table: a code 3.02 lacks (BDS 1D) written in a 3.02 file
rinex/rinexxxx.cpp|int d = tow - rtcm3Ms;|int d = rtcm3Ms - tow;|RTCM 3 week tracking: sign of the step, the end of a week counted backwards
rinex/rinexxxx_file.cpp|QIODevice::NewOnly);|QIODevice::Truncate);|temporary files created without exclusive creation: a second writer started in the same second overwrites the first's files
rinex/rinexxxx_file.cpp|        if (QFile::exists(plain)) {|        if (!QFile::exists(plain)) {|an observation file that cannot be compressed kept under its temporary name instead of its plain final name
rinex/rinexxxx_file.cpp|    noteError(QString("cannot rename %1 to %2: %3").arg(f->path(), plain, f->file.errorString()));|    (void)plain;|a file that cannot get its final name (its directory gone) not among the output errors
rinex/rinexxxx_input.cpp|if (!lastEpochStations.empty() && !shared) {|if (lastEpochStations.empty() && !shared) {|RTCM 3 change of reference station: negation lost, a switch never flags the new station's phases
rinex/rinexxxx_input.cpp|    lastStationsEpochMs = t;|    (void)t;|RTCM 3 stations: time of the last judged epoch not kept, a second station id at the same time taken for a change of station
rinex/rinexxxx_input.cpp|differs = fabs(o.pseudorange - n->pseudorange) > 10.0;|differs = fabs(o.pseudorange - n->pseudorange) > 1000.0;|same-time epochs: pseudoranges of two receivers up to a km apart taken for one receiver's
rinex/rinexxxx_input.cpp|if (compared) (differs ? disagree : agree)++;|if (compared) (differs ? agree : disagree)++;|same-time epochs: the votes of the shared signals counted the wrong way round
rinex/rinexxxx_input.cpp|        rtcm3StationChanges++;|        (void)0;|RTCM 3 change of reference station not counted (the task does not report it)
rinex/rinexxxx_input.cpp|                    sameTimeStations.push_back(id);|                    (void)id;|RTCM 3 station of another receiver's epoch at the same time kept as the file's: its turn first at the next time passes for no change
gnssparser/frame_ublox.cpp|if (util_check_ublox(s->buffer, s->count) != 0) return 0;|if (util_check_ublox(s->buffer, s->count) != 0) { s->count = 0; return 0; }|UBX: a failed checksum drops the candidate's bytes unsearched, the frame a cut one swallowed lost
rinex/rinexxxx_input.cpp|const qint64 n = collecting && !rtcm3EpochDone ? finishMsmEpoch() : 0;|const qint64 n = collecting && rtcm3EpochDone ? finishMsmEpoch() : 0;|RTCM 3 epoch ended by another format's epoch: the messages collected so far dropped instead of written
rinex/rinexxxx_input.cpp|    if (rtcm3EpochDone) {|    if (rtcm3EpochDone && otherEpoch) {|RTCM 3 message after another format's epoch cleared only at a new epoch time: the rover's measurements join the rest of the RTCM 3 epoch
rinex/rinexxxx_input.cpp|        lastRecordSource = rangeSource;|        (void)0;|source of the last record not kept: every later record counted as a change of input format
rinex/rinexxxx_input.cpp|for (int i = 0; i < 3; i++) approxBlh[i] = it.value().blh[i];|for (int i = 0; i < 2; i++) approxBlh[i] = it.value().blh[i];|header position from a station's 1005: the height left out
qc/rinex_nav_reader.cpp|const size_t from = label == "IONOSPHERIC CORR" ? 5 : 2;|const size_t from = label == "IONOSPHERIC CORR" ? 4 : 2;|quality check: RINEX 3 IONOSPHERIC CORR values read one column early
qc/quality.cpp|if (s.first / 1000.0 > 1.5 * r.interval) {|if (s.first / 1000.0 > 2.0 * r.interval) {|quality check: a step of two intervals (one epoch missing) not counted as a gap
qc/rinex_obs_reader.cpp|if (scale[k] != 1.0) v.value /= scale[k];|if (scale[k] != 1.0) v.value *= scale[k];|quality check: SYS / SCALE FACTOR applied by multiplying instead of dividing
qc/rinex_obs_reader.cpp|if (index < 0 && m_version >= 3 && !entry.second.empty()) {|if (false) {|quality check: a system a RINEX 3 event brings in (Galileo) left out of the counts
qc/rinex_obs_reader.cpp|if (satellite(names, 32 + 3 * size_t(i % 12), &s, &prn)) list.push_back({s, prn});|if (satellite(names, 32 + 3 * size_t(i), &s, &prn)) list.push_back({s, prn});|quality check: RINEX 2 satellites past the 12th read at the epoch line's columns on the continuation line
task/file.cpp|if (param.value(ThreadBinaryToRinex::KEY_RECEIVER_MODEL).isEmpty())|if (true)|file information: MON-VER model overrides the receiver a log header gave
app/quorvane_convert.cpp|if (n.trimmed().toUtf8().size() != 2) return bad|if (n.toUtf8().size() != 2) return bad|converter: a signal mask with a blank after its comma (1c, 2P) refused
task/threadbinarytorinex.cpp|QIODevice::Append))|QIODevice::Truncate))|merge: an existing output truncated instead of appended to
qc/orbit.cpp|default: return 1024 * kWeek;|default: return 4096 * kWeek;|ephemeris store: GPS week rollover period of Galileo (a week a rollover away not matched)
task/threadbinarytorinex.cpp|!info.isFile()) return fail(QString("file not exist, %1")|false) return fail(QString("file not exist, %1")|task: a directory listed as input not refused as "file not exist"
qc/report_format.cpp|pad(count(s.expected), 10) + pad(count(s.observed_above), 10)|pad(count(s.expected), 9) + pad(count(s.observed_above), 10)|quality report: system expected column one narrower than its heading
qc/rinex_obs_reader.cpp|m_fileSystem == 'C')) return t + 14;|m_fileSystem == 'C')) return t - 14;|quality check: BDS time epochs: sign of the 14 s offset
app/quorvane_convert.cpp|if (failures) {|if (false) {|merge: a failed merge's partial output replaces the old one
qc/plots.cpp|return kind == PlotKind::Snr ? "No signal strength in this file"|return kind == PlotKind::Multipath ? "No signal strength in this file"|plots: signal strength and multipath notices swapped
qc/plots.cpp|return QSize(1200, std::max(480, 120 + 16 * int(sats.size())));|return QSize(1200, std::max(480, 120 + 12 * int(sats.size())));|plots: timeline row height too small for its labels with many satellites
qc/plots.cpp|return c + QPointF(rr * std::sin(a), -rr * std::cos(a));|return c + QPointF(rr * std::sin(a), rr * std::cos(a));|sky plot: north drawn at the bottom
qc/rinex_obs_reader.cpp|if (integer(line, 0, 6, &v)) m_header.leap_seconds = v + leapSecondsBase(line);|if (integer(line, 0, 6, &v)) m_header.leap_seconds = v;|quality check: an observation header's LEAP SECONDS in BDS time taken as GPS - UTC
rinex/rinexxxx_input.cpp|text.remove(0, sentence);|(void)0;|text line: the tail of a damaged frame kept in front of a marker sentence, the marker lost
task/file.cpp|put(ThreadBinaryToRinex::KEY_RECEIVER_MODEL, s.product_name);|put(ThreadBinaryToRinex::KEY_RECEIVER_MODEL, s.rx_name);|file information: SBF receiver model taken from RxName, the user's name, not the product name
qc/orbit.cpp|if (az < 0) az += 2 * NAV_PI;|if (az < 0) az += NAV_PI;|azimuth: western directions folded by half a turn
qc/plots.cpp|if (!std::isnan(v[k]->snr) && !(v[k]->snr <= snr)) snr = v[k]->snr;|if (!std::isnan(v[k]->snr) && !(v[k]->snr >= snr)) snr = v[k]->snr;|timeline: an epoch coloured by its weakest signal, not its strongest
qc/orbit.cpp|+ 2.0 * w * s[4] + acc[0];|- 2.0 * w * s[4] + acc[0];|GLONASS orbit integration: sign of the Coriolis term of the x acceleration
task/threadbinarytorinex.cpp|const int kParserBuffer = GNSSPARSER_BUFFER_SIZE;|const int kParserBuffer = 16384;|task: framer buffer too small for a range log of 400 observations
gnssparser/sbf.cpp|copyText(out->rx_serial, sizeof out->rx_serial, b + 156, 20);|copyText(out->rx_serial, sizeof out->rx_serial, b + 176, 20);|SBF ReceiverSetup: RxSerialNumber read at the offset of RxName
qc/orbit.cpp|const Model kGalileo = {3.986004418e14, 7.2921151467e-5, -4.442807309e-10};|const Model kGalileo = {3.986004418e14, 7.2921151467e-5, 4.442807309e-10};|broadcast orbit: sign of the Galileo relativistic clock constant
gnssparser/frame_novatel.cpp|if (header < kNovatelHeaderMin) return 0;|if (header < 3) return 0;|framer: a NovAtel header length below 28 taken, hiding the genuine frame after it
gnssparser/frame_novatel.cpp|int r = frame_collect_u16(s, 8, 6, 12, 0);|int r = frame_collect_u16(s, 8, 6, 8, 0);|framer: novatelx frame length without its header and CRC
gnssparser/frame_novatel.cpp|int r = frame_collect_u16(s, 24, 6, 28, 0);|int r = frame_collect_u16(s, 24, 6, 24, 0);|framer: Unicore frame length four bytes short
app/quorvane_convert.cpp|if (!names.contains(v)) return usageError("unknown compression " + v);|if (!names.contains(v)) v = "none";|converter: an unknown compression taken as none instead of refused
rinex/rinexxxx_file.cpp|target.replace(target.size() - 3, 3, "crx");|target.replace(target.size() - 3, 3, "rnx");|long name of a Compact RINEX 3 file ending in rnx
gnssparser/hemisphere.cpp|    else if (expected - phase > 4194304)|    else if (expected - phase > 8388608)|Hemisphere carrier phase: the received bits more than half a period below the pseudorange's phase not moved up a period
rinex/rinexxxx.cpp|        updateLocktime(writer, header.tow % 86400000, 86400000);|        updateLocktime(writer, header.tow);|MSM GLONASS lock time compared across Moscow midnight as a week apart
rinex/rinexxxx_ublox.cpp|    halfCycleOk = (meas.trk_stat & UBLOX_TRK_HALF_CYC) != 0;|    halfCycleOk = true;|u-blox RAWX: unresolved half cycles (halfCyc clear) written as resolved
rinex/rinexxxx_ublox.cpp|        if (changed) markSlip(writer);|        if (false) markSlip(writer);|u-blox RAWX: half a cycle subtracted or given back between epochs not flagged as a slip
gnssparser/ublox.cpp|        const int source = sig_id == 1 ? 1 : 2;|        const int source = sig_id == 1 ? 2 : 1;|u-blox SFRBX: Galileo E1-B and E5b data sources swapped
gnssparser/ublox.cpp|        const int channel = (int)freq_id - 7;|        const int channel = (int)freq_id - 8;|u-blox SFRBX: GLONASS frequency channel offset
gnssparser/rtcm3.cpp|    if (i < 96) return 8 * i - 408;|    if (i < 96) return 8 * i - 400;|RTCM 3 legacy lock time: offset of the 8 s range
gnssparser/lock_time.h|        if (indicator > 704) {|        if (indicator > 705) {|MSM extended lock time: reserved value 705 taken as a lock time
ui/widgetconvert.cpp|        if (task.value(keyTask) == ThreadBinaryToRinex::TASK_MERGE && mergeIncomplete.contains(task.value(keyOutput))) {|        if (false) {|window: a merge after a failed one appends behind the hole
rinex/rinex2xx.cpp|    if (computed && (obsTypes.size() + 8) / 9 >= (MAX_TYPES + 8) / 9) {|    if (false) {|RINEX 2 header: a computed position written without room for its comment
LIST
)

check_only=0
picked=()
for a in "$@"; do
  case $a in
    --check) check_only=1 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *[!0-9]*|'') echo "mutants.sh: unknown argument $a" >&2; exit 2 ;;
    *) picked+=("$a") ;;
  esac
done

work=$(mktemp -d "$repo/../.mutants.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
git -C "$repo" archive HEAD | tar -x -C "$work"

# Replaces one exact, unique occurrence; exit 3 when it is not there once.
apply() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2], sys.argv[3]
text = open(path).read()
if text.count(old) != 1:
    sys.exit(3)
open(path, "w").write(text.replace(old, new))
PY
}

export CCACHE_BASEDIR=$(cd "$repo/.." && pwd) CCACHE_NOHASHDIR=1
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
if [ $check_only -eq 0 ]; then
  cmake -S "$work" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  cmake --build "$work/build" -j"$(nproc)" >/dev/null
  ctest --test-dir "$work/build" -j"$(nproc)" >/dev/null 2>&1 || { echo "mutants.sh: the tests fail without any fault" >&2; exit 1; }
fi

# The test files that check a source file most closely: built and run
# first, alone, so that most faults are caught without relinking and
# running everything. A fault they miss gets the whole build and suite.
first_tests() {
  case $1 in
    gnssparser/rtcm3.cpp) echo test_rtcm3 ;;
    gnssparser/lock_time.cpp) echo test_rtcm3 test_rinex_core ;;
    gnssparser/util.cpp) echo test_util ;;
    gnssparser/navigation.cpp) echo test_navigation ;;
    gnssparser/novatel.cpp) echo test_novatel ;;
    gnssparser/gnss_signal.cpp) echo test_signal test_rtcm3 ;;
    gnssparser/sbf.cpp) echo test_sbf ;;
    gnssparser/hemisphere.cpp) echo test_hemisphere ;;
    gnssparser/navbits.cpp) echo test_navbits ;;
    gnssparser/ublox.cpp) echo test_ublox test_rinex_ublox ;;
    gnssparser/frame_*.cpp | gnssparser/gnssparser.cpp) echo test_framer ;;
    rinex/*) echo test_rinex_core test_rinex3 test_rinex2 test_rinex_dates ;;
    compress/*) echo test_compress ;;
    qc/*) echo test_qc_quality test_qc_orbit test_qc_plots ;;
    task/*) echo test_task test_convert ;;
    app/*) echo test_convert test_qc_quality ;;
    ui/*) echo test_ui_mainwindow test_ui_widgets test_ui_convert test_ui_quality ;;
  esac
}
first_tests_fail() {
  local t
  for t in $(first_tests "$1"); do
    cmake --build "$work/build" -j"$(nproc)" --target "$t" >/dev/null 2>&1 || return 1
    "$work/build/tests/$t" --gtest_brief=1 >/dev/null 2>&1 || return 0
  done
  return 1
}

n=0 caught=0 survived=0 stale=0
while IFS='|' read -r file old new what; do
  n=$((n + 1))
  if [ ${#picked[@]} -gt 0 ] && [[ ! " ${picked[*]} " =~ " $n " ]]; then continue; fi
  if [ -z "$old" ] || [[ "$what" == *"|"* ]]; then
    # A '|' inside a text splits the line in the wrong place: the fault
    # applied would be another one, most likely code that does not build.
    printf '%2d  STALE     %s (malformed: a field holds a |)\n' $n "$what"
    stale=$((stale + 1))
    continue
  fi
  # The copy's own file, not the repository's: a commit made while the
  # faults run would otherwise be restored into the older copy, which then
  # no longer builds and passes every later fault off as caught.
  cp "$work/$file" "$work/$file.orig"
  if ! apply "$work/$file" "$old" "$new"; then
    printf '%2d  STALE     %s (%s: text not found once)\n' $n "$what" "$file"
    stale=$((stale + 1))
    continue
  fi
  if [ $check_only -eq 1 ]; then
    printf '%2d  applies   %s\n' $n "$what"
  elif first_tests_fail "$file"; then
    printf '%2d  caught    %s\n' $n "$what"
    caught=$((caught + 1))
  elif ! cmake --build "$work/build" -j"$(nproc)" >/dev/null 2>&1; then
    printf '%2d  caught    %s (does not build)\n' $n "$what"
    caught=$((caught + 1))
  elif ctest --test-dir "$work/build" -j"$(nproc)" --stop-on-failure >/dev/null 2>&1; then
    printf '%2d  SURVIVED  %s (%s)\n' $n "$what" "$file"
    survived=$((survived + 1))
  else
    printf '%2d  caught    %s\n' $n "$what"
    caught=$((caught + 1))
  fi
  mv "$work/$file.orig" "$work/$file"
  # The restored file is older than the objects built with the fault: touched,
  # so that the next build drops the fault instead of keeping it.
  touch "$work/$file"
done <<<"$faults"

if [ $check_only -eq 0 ]; then
  echo "faults caught: $caught of $((caught + survived)); survived: $survived; stale: $stale"
fi
[ $survived -eq 0 ] && [ $stale -eq 0 ]
