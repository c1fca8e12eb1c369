// Frame building and the little-endian readers every decoder uses.
#pragma once

#include <cstdint>

// Writes 0x9A, the `length` message bytes and the XOR check byte to `distBuf`
// (which must hold length + 2 bytes); returns length + 2.
int buildSendPacket(const uint8_t* message, int length, uint8_t* distBuf);

// XOR of 0x9A and `n` bytes: the check byte of a frame whose code and
// parameters are `bytes`.
uint8_t frameCheck(const uint8_t* bytes, int n);

inline int32_t bin2Int32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

inline int16_t bin2Short(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

inline int32_t conv3Byte2Int(const uint8_t* p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    if (p[2] & 0x80) v |= 0xFF000000u;
    return int32_t(v);
}
