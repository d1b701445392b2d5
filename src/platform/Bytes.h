#pragma once
// A DWORD as the registry and its binary blobs store it: 4 bytes, least significant first,
// whatever the host's byte order. Pointers need no alignment (a blob's field may lie anywhere).

#include <cstdint>

namespace renvo {

inline void encodeDwordLE(uint32_t value, uint8_t* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t decodeDwordLE(const uint8_t* in)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(in[i]) << (8 * i);
    return value;
}

}  // namespace renvo
