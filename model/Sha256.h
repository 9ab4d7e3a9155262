#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4), for what must be the same on every face: a profile's identity and the
// record's chain. Our own, since no library builds for the page's module and the Windows programs
// alike.
class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    void Add(std::string_view bytes);
    Digest Finish(); // the object is spent afterwards

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> block_{};
    std::size_t filled_ = 0;
    std::uint64_t length_ = 0; // in bytes
};

// A digest as 64 lower-case hex digits, as sha256sum prints it.
std::string DigestHex(const Sha256::Digest& digest);
std::string Sha256Hex(std::string_view bytes);
