// The hashes of the cubeSQL login: SHA-1 against FIPS 180 known answers, and
// the two login fields against values worked out by hand with another SHA-1.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/CubeSqlLogin.h"

namespace vantrix::db::cubesql {
namespace {

TEST(CubeSqlLogin, Sha1MatchesKnownDigests) {
  struct Case {
    std::string input;
    const char* hex;
  };
  const std::vector<Case> cases = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {"The quick brown fox jumps over the lazy dog", "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
      // Lengths around the padding boundaries of one and two blocks.
      {std::string(55, 'x'), "cef734ba81a024479e09eb5a75b6ddae62e6abf1"},
      {std::string(56, 'x'), "901305367c259952f4e7af8323f480d59f81335b"},
      {std::string(63, 'x'), "0ddc4e0cccd9a12850deb5abb0853a4425559fec"},
      {std::string(64, 'x'), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163"},
      {std::string(65, 'x'), "78c741ddc482e4cdf8c474a0876347a0905b6233"},
      {std::string(119, 'x'), "4300320394f7ee239bcdce7d3b8bcee173a0cd5c"},
      {std::string(120, 'x'), "ceb2821639c4b6dcb10bce0e522ca2e608ce056d"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      // Raw bytes, NUL and high bytes included.
      {std::string("\x00\xff\x80 \x00", 5), "b34d72e63e60bb6bea9693dc1eb25a4d99cafb4c"},
  };
  for (const Case& c : cases) {
    const std::string digest = Sha1(c.input);
    EXPECT_EQ(digest.size(), 20u);
    EXPECT_EQ(Hex(digest), c.hex) << "input of " << c.input.size() << " bytes";
  }
}

TEST(CubeSqlLogin, LoginFieldsMatchHandComputedValues) {
  EXPECT_EQ(LoginUserHash("admin"), "d033e22ae348aeb5660fc2140aec35850c4da997");

  struct Case {
    std::string challenge;
    std::string password;
    const char* hex;
  };
  std::string counting;
  for (int i = 0; i < 20; ++i) counting += static_cast<char>(i);
  const std::vector<Case> cases = {
      {counting, "pa'ss word", "6e241980cd8fd47dd1355c6912f0ef066d8f494f"},
      {std::string(20, '\xff'), "", "5c6b34503e4631ea455896df79ba20ad521a3409"},
  };
  for (const Case& c : cases) {
    const std::string proof = LoginProof(c.challenge, c.password);
    EXPECT_EQ(proof.size(), 20u);
    EXPECT_EQ(Hex(proof), c.hex) << "password \"" << c.password << "\"";
  }
}

}  // namespace
}  // namespace vantrix::db::cubesql
