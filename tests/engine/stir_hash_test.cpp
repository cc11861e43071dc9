// StirHash: the fixed vectors of the format and its degenerate inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/cipher/key_schedule.h"
#include "engine/container/bytes.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Bytes stir(std::size_t n, const Bytes& data, std::uint32_t iterations) {
    Bytes out(n, 0xA5);  // stale contents must not survive
    stir_hash(out.data(), n, data.data(), data.size(), iterations);
    return out;
}

TEST(StirHash, EmptyInputGivesZerosWhateverTheSteps) {
    for (std::size_t n : {32u, 64u, 256u}) {
        for (std::uint32_t iterations : {0u, 1u, 65536u}) {
            EXPECT_EQ(stir(n, {}, iterations), Bytes(n, 0)) << "n=" << n << " iterations=" << iterations;
        }
    }
}

TEST(StirHash, OneStepOverOneByteSetsWordOne) {
    for (std::size_t n : {32u, 64u, 256u}) {
        for (unsigned value : {0x00u, 0x01u, 0x61u, 0x80u, 0xFFu}) {
            const auto b = static_cast<std::uint8_t>(value);
            Bytes expected(n, 0);
            store32_le(&expected[4], rol32(b, 5));
            EXPECT_EQ(stir(n, {b}, 1), expected) << "n=" << n << " b=" << int(b);
        }
    }
}

TEST(StirHash, FixedVectors) {
    const Bytes abc = {0x61, 0x62, 0x63};
    struct Case {
        std::size_t n;
        std::uint32_t iterations;
        const char* expected;
    };
    const Case cases[] = {
        {32, 3, "00000000200c0000600c0000200c0000" "00000000000000000000000000000000"},
        {64, 100,
         "600801c4700b2004600b01843808018420620184200b018438080184700b2004"
         "200b0184380801843800218020030184200820c4600801c478082004200820c4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(stir(c.n, abc, c.iterations)), c.expected) << "n=" << c.n;
    }
}

TEST(StirHash, ByteEqualToItsPositionLeavesZeros) {
    for (std::size_t length : {1u, 2u, 17u, 60u, 256u}) {
        Bytes data(length);
        for (std::size_t p = 0; p < length; ++p) data[p] = static_cast<std::uint8_t>(p);
        for (std::size_t n : {32u, 64u, 256u}) {
            for (std::uint32_t iterations : {1u, 1000u, 65536u}) {
                EXPECT_EQ(stir(n, data, iterations), Bytes(n, 0))
                    << "length=" << length << " n=" << n << " iterations=" << iterations;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
