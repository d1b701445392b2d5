#include "platform/Bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace renvo::test {
namespace {

TEST(DwordBytes, LeastSignificantByteFirstAtAnyOffset)
{
    std::array<uint8_t, 7> buf{};
    buf.fill(0xEE);
    // An odd offset, as in a blob whose DWORD field follows a byte.
    encodeDwordLE(0x12345678u, buf.data() + 1);
    EXPECT_EQ(buf, (std::array<uint8_t, 7>{0xEE, 0x78, 0x56, 0x34, 0x12, 0xEE, 0xEE}));
    EXPECT_EQ(decodeDwordLE(buf.data() + 1), 0x12345678u);

    // The high bytes do not sign-extend into the others.
    const uint8_t neg[4] = {0xFB, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(static_cast<int32_t>(decodeDwordLE(neg)), -5);
    const uint8_t high[4] = {0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(decodeDwordLE(high), 0x80000000u);
    for (uint32_t v : {0u, 1u, 0xFFu, 0x100u, 0x80000000u, 0xFFFFFFFBu, 0xFFFFFFFFu}) {
        uint8_t b[4];
        encodeDwordLE(v, b);
        EXPECT_EQ(decodeDwordLE(b), v);
    }
}

}  // namespace
}  // namespace renvo::test
