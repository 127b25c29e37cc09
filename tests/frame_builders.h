// Frame builders for tests, written from the formats' definitions with their
// own bitwise checksums, so they share nothing with the code under test.
#ifndef QUORVANE_TESTS_FRAME_BUILDERS_H
#define QUORVANE_TESTS_FRAME_BUILDERS_H

#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

namespace fb {

typedef std::vector<uint8_t> Bytes;

inline uint32_t crc24q(const uint8_t *p, size_t n)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc ^= (uint32_t)p[i] << 16;
        for (int k = 0; k < 8; k++) {
            crc <<= 1;
            if (crc & 0x1000000u) crc ^= 0x1864CFBu;
        }
    }
    return crc & 0xFFFFFFu;
}

inline uint32_t crc32_novatel(const uint8_t *p, size_t n)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

inline uint16_t crc16_ccitt(const uint8_t *p, size_t n)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc ^= (uint32_t)p[i] << 8;
        for (int k = 0; k < 8; k++) {
            crc <<= 1;
            if (crc & 0x10000u) crc ^= 0x11021u;
        }
    }
    return (uint16_t)crc;
}

inline void put16(Bytes &b, uint32_t v)
{
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}

inline void put32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
}

// RTCM 3: D3, 6 zero bits, 10-bit length, payload, CRC-24Q (big-endian).
inline Bytes rtcm3(const Bytes &payload)
{
    Bytes f(payload.size() + 3);
    f[0] = 0xD3;
    f[1] = (uint8_t)((payload.size() >> 8) & 0x03);
    f[2] = (uint8_t)payload.size();
    std::copy(payload.begin(), payload.end(), f.begin() + 3);
    uint32_t crc = crc24q(f.data(), f.size());
    f.push_back((uint8_t)(crc >> 16));
    f.push_back((uint8_t)(crc >> 8));
    f.push_back((uint8_t)crc);
    return f;
}

// An RTCM 3 payload starting with a 12-bit message number, padded with a
// recognisable pattern to `size` bytes.
inline Bytes rtcm3_payload(uint32_t number, size_t size)
{
    Bytes p(size < 2 ? 2 : size, 0);
    p[0] = (uint8_t)(number >> 4);
    p[1] = (uint8_t)((number & 0x0F) << 4);
    for (size_t i = 2; i < p.size(); i++) p[i] = (uint8_t)(i * 7 + number);
    return p;
}

// NovAtel OEM binary, long header of `header_length` bytes (28 normally).
inline Bytes novatel(uint16_t message_id, const Bytes &body, uint8_t header_length = 28)
{
    Bytes f = {0xAA, 0x44, 0x12, header_length};
    put16(f, message_id);
    f.push_back(0); // message type
    f.push_back(0x20); // port
    put16(f, (uint32_t)body.size());
    while (f.size() < header_length) f.push_back((uint8_t)(f.size() * 3));
    f.insert(f.end(), body.begin(), body.end());
    put32(f, crc32_novatel(f.data(), f.size()));
    return f;
}

// Hemisphere: "$BIN", id, length, data, 16-bit sum of data, CR LF.
inline Bytes hemisphere(uint16_t id, const Bytes &data, bool crlf = true)
{
    Bytes f = {'$', 'B', 'I', 'N'};
    put16(f, id);
    put16(f, (uint32_t)data.size());
    f.insert(f.end(), data.begin(), data.end());
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    put16(f, sum & 0xFFFF);
    if (crlf) {
        f.push_back('\r');
        f.push_back('\n');
    }
    return f;
}

// u-blox UBX with its Fletcher checksum over class .. payload.
inline Bytes ublox(uint8_t cls, uint8_t id, const Bytes &payload)
{
    Bytes f = {0xB5, 0x62, cls, id};
    put16(f, (uint32_t)payload.size());
    f.insert(f.end(), payload.begin(), payload.end());
    uint8_t a = 0, b = 0;
    for (size_t i = 2; i < f.size(); i++) {
        a = (uint8_t)(a + f[i]);
        b = (uint8_t)(b + a);
    }
    f.push_back(a);
    f.push_back(b);
    return f;
}

// Septentrio SBF: "$@", CRC, id, length of the whole block, body.
inline Bytes sbf(uint16_t id, const Bytes &body)
{
    Bytes f = {'$', '@', 0, 0};
    put16(f, id);
    put16(f, (uint32_t)(body.size() + 8));
    f.insert(f.end(), body.begin(), body.end());
    uint16_t crc = crc16_ccitt(f.data() + 4, f.size() - 4);
    f[2] = (uint8_t)crc;
    f[3] = (uint8_t)(crc >> 8);
    return f;
}

// Trimble packet: STX, status, type, length, data, 8-bit sum, ETX.
inline Bytes trimble(uint8_t type, const Bytes &data)
{
    Bytes f = {0x02, 0x28, type, (uint8_t)data.size()};
    f.insert(f.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (size_t i = 1; i < f.size(); i++) sum = (uint8_t)(sum + f[i]);
    f.push_back(sum);
    f.push_back(0x03);
    return f;
}

inline Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace fb

#endif
