#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrix::db::cubesql {

using Sha1Digest = std::array<std::uint8_t, 20>;

// SHA-1 of a byte string (FIPS 180-4). The cubeSQL login needs nothing more,
// so the program carries this small implementation instead of a crypto
// library.
Sha1Digest Sha1(std::string_view bytes);

// The digest as raw bytes in a string, and as lower-case hexadecimal text.
std::string DigestBytes(const Sha1Digest& digest);
std::string DigestHex(const Sha1Digest& digest);

}  // namespace vantrix::db::cubesql
