#include "db/CubeSqlSha1.h"

namespace vantrix::db::cubesql {
namespace {

constexpr std::uint32_t RotateLeft(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

void ProcessBlock(std::array<std::uint32_t, 5>& state, const std::uint8_t* block) {
  std::array<std::uint32_t, 80> w{};
  for (int i = 0; i < 16; ++i) {
    w[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
           (std::uint32_t{block[4 * i + 2]} << 8) | std::uint32_t{block[4 * i + 3]};
  }
  for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f = 0;
    std::uint32_t k = 0;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

Sha1Digest Sha1(std::string_view bytes) {
  std::array<std::uint32_t, 5> state = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                        0xC3D2E1F0};
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t offset = 0;
  for (; offset + 64 <= size; offset += 64) ProcessBlock(state, data + offset);

  // The tail: remaining bytes, the 0x80 marker, zeros, then the bit length in
  // the last 8 bytes of the final block (one or two blocks).
  std::array<std::uint8_t, 128> tail{};
  const std::size_t rest = size - offset;
  for (std::size_t i = 0; i < rest; ++i) tail[i] = data[offset + i];
  tail[rest] = 0x80;
  const std::size_t tailSize = rest < 56 ? 64 : 128;
  const std::uint64_t bitLength = static_cast<std::uint64_t>(size) * 8;
  for (int i = 0; i < 8; ++i) {
    tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
  }
  for (std::size_t block = 0; block < tailSize; block += 64) ProcessBlock(state, tail.data() + block);

  Sha1Digest digest{};
  for (int i = 0; i < 5; ++i) {
    digest[4 * i] = static_cast<std::uint8_t>(state[i] >> 24);
    digest[4 * i + 1] = static_cast<std::uint8_t>(state[i] >> 16);
    digest[4 * i + 2] = static_cast<std::uint8_t>(state[i] >> 8);
    digest[4 * i + 3] = static_cast<std::uint8_t>(state[i]);
  }
  return digest;
}

std::string DigestBytes(const Sha1Digest& digest) {
  return std::string(reinterpret_cast<const char*>(digest.data()), digest.size());
}

std::string DigestHex(const Sha1Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

}  // namespace vantrix::db::cubesql
