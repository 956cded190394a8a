#pragma once

// The hashes of the cubeSQL clear login. SHA-1 comes from OpenSSL's
// libcrypto; nothing here touches a socket.

#include <string>
#include <string_view>

namespace vantrix::db::cubesql {

// SHA-1 (FIPS 180-4) of a byte string, as 20 raw bytes. Empty only when the
// system's crypto library refuses to compute it.
std::string Sha1(std::string_view bytes);

// Bytes as lower-case hexadecimal text.
std::string Hex(std::string_view bytes);

// Login step 1 names the user by the lower-case hex SHA-1 of its name (40
// characters). Empty when SHA-1 is not available.
std::string LoginUserHash(std::string_view user);

// Login step 2 proves the password without sending it:
// SHA1(challenge || SHA1(SHA1(password))), 20 raw bytes. Empty when SHA-1 is
// not available.
std::string LoginProof(std::string_view challenge, std::string_view password);

}  // namespace vantrix::db::cubesql
