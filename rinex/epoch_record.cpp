// Printing of observation epoch records: the RINEX 3 line per satellite and
// the RINEX 2 lines of five fields, from the fields a writer has decided.
#include "epoch_record.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "rinexxxx_field.h"

using obsfield::putField;

EpochRecord::Satellite::Satellite(char letter, int number) : system(letter), prn(number)
{
    if (number >= 0 && number <= 99) {
        name[0] = letter;
        name[1] = (char)('0' + number / 10);
        name[2] = (char)('0' + number % 10);
    } else {
        char text[16];
        snprintf(text, sizeof text, "%c%02d", letter, number);
        memcpy(name, text, 3);
    }
}

char *RecordText::reserve(size_t used, size_t more)
{
    if (used + more > capacity) {
        size_t c = capacity ? capacity : 16384;
        while (c < used + more) c *= 2;
        std::unique_ptr<char[]> d(new char[c]);
        if (used) memcpy(d.get(), data.get(), used);
        data.swap(d);
        capacity = c;
    }
    return data.get() + used;
}

const char *RecordText::print(EpochRecord &record, size_t *length)
{
    return record.rinex2 ? printRinex2(record, length) : printRinex3(record, length);
}

const char *RecordText::printRinex3(EpochRecord &record, size_t *length)
{
    // Room for the epoch line in front of the satellite lines, so that the
    // whole record goes out in one write.
    const size_t headRoom = 128;
    reserve(0, headRoom);
    size_t used = headRoom;
    int satellites = 0;
    for (EpochRecord::Satellite &sat : record.satellites) {
        // One blank more than the fields: the byte after the last one, which
        // the field writer may touch.
        char *line = reserve(used, 3 + (size_t)sat.width + 2);
        memcpy(line, sat.name, 3);
        memset(line + 3, ' ', (size_t)sat.width + 1);
        for (uint32_t k = sat.first; k < sat.end; k++) {
            const EpochRecord::Field &f = record.fields[k];
            char *out = line + 3 + f.at;
            if (f.lliOnly)
                out[14] = f.lli;
            else
                putField(out, f.value, f.lli, f.strength);
        }
        size_t end = 3 + (size_t)sat.width;
        while (end > 0 && line[end - 1] == ' ') end--;
        sat.printed = end > 3;
        if (!sat.printed) continue;
        line[end] = '\r';
        line[end + 1] = '\n';
        used += end + 2;
        satellites++;
    }
    char head[headRoom];
    int headLength = snprintf(head, sizeof head, "> %04d %02d %02d %02d %02d %2d.%03d0000  0%3d       0.000000000000\r\n",
                              record.year, record.month, record.day, record.hour, record.minute, record.second,
                              record.millisecond, satellites);
    if (headLength < 0 || headLength >= (int)headRoom) headLength = (int)strlen(head);
    char *text = data.get() + headRoom - headLength;
    memcpy(text, head, (size_t)headLength);
    *length = used - headRoom + (size_t)headLength;
    return text;
}

const char *RecordText::printRinex2(EpochRecord &record, size_t *length)
{
    lines.clear();
    names.clear();
    int satellites = 0;
    for (EpochRecord::Satellite &sat : record.satellites) {
        // The satellite's fields side by side, 16 characters each, and one
        // byte more: the field writer may look at the byte after the last.
        fields.assign((size_t)sat.width + 1, ' ');
        for (uint32_t k = sat.first; k < sat.end; k++) {
            const EpochRecord::Field &f = record.fields[k];
            putField(fields.data() + f.at, f.value, f.lli, f.strength);
        }
        // Five fields per line; trailing blanks cut at every line end.
        const int types = (int)(sat.width / 16);
        for (int from = 0; from < types; from += 5) {
            const char *line = fields.data() + (size_t)from * 16;
            int end = std::min(5, types - from) * 16;
            while (end > 0 && line[end - 1] == ' ') end--;
            lines.append(line, (size_t)end);
            lines += "\r\n";
        }
        if (satellites > 0 && satellites % 12 == 0) names.append("\r\n").append(32, ' ');
        names.append(sat.name, 3);
        sat.printed = true;
        satellites++;
    }
    char head[64];
    snprintf(head, sizeof head, " %02d %02d %02d %02d %02d %2d.%03d0000  0%3d", record.year % 100, record.month,
             record.day, record.hour, record.minute, record.second, record.millisecond, satellites);
    whole.assign(head);
    whole += names;
    whole += "\r\n";
    whole += lines;
    *length = whole.size();
    return whole.data();
}
