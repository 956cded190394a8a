#include "db/CubeSqlLogin.h"

#include <openssl/evp.h>

namespace vantrix::db::cubesql {

std::string Sha1(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) != 1 ||
      length != 20) {
    return {};
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string LoginUserHash(std::string_view user) { return Hex(Sha1(user)); }

std::string LoginProof(std::string_view challenge, std::string_view password) {
  const std::string once = Sha1(password);
  if (once.empty()) return {};
  const std::string stored = Sha1(once);
  if (stored.empty()) return {};
  return Sha1(std::string(challenge) + stored);
}

}  // namespace vantrix::db::cubesql
