// Feeds arbitrary text to vantrix-diff's database URL parser, and to the
// password masking and the description that messages use. Beyond crashes
// and overruns, it checks what every accepted URL must satisfy: a known
// engine, a port in range, no NUL byte in any part, and that the same URL
// written again with every part percent-encoded reads back the same.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/DatabaseUrl.h"

using vantrix::cli::DatabaseUrl;
using vantrix::cli::ParseDatabaseUrl;

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

std::string Encode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// The URL with every part percent-encoded.
std::string Canonical(const DatabaseUrl& url) {
  if (url.engine == "SQLite") return "sqlite:" + Encode(url.file);
  std::string text = url.engine == "Mysql"           ? "mysql://"
                     : url.engine == "CubeSQLserver" ? "cubesql://"
                                                     : "postgresql://";
  if (!url.user.empty() || url.password) {
    text += Encode(url.user);
    if (url.password) text += ":" + Encode(*url.password);
    text += "@";
  }
  text += Encode(url.host);
  if (url.port > 0) text += ":" + std::to_string(url.port);
  text += "/" + Encode(url.database);
  if (!url.schema.empty()) text += "?schema=" + Encode(url.schema);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto parsed = ParseDatabaseUrl(input);
  (void)vantrix::cli::MaskPassword(input);
  if (!parsed.url) {
    Require(!parsed.error.empty(), "a refusal without a reason");
    return 0;
  }
  const DatabaseUrl& url = *parsed.url;
  (void)vantrix::cli::Describe(url);
  Require(url.engine == "Mysql" || url.engine == "CubeSQLserver" || url.engine == "PostgreSQL" ||
              url.engine == "SQLite",
          "an unknown engine");
  Require(url.port >= 0 && url.port <= 65535, "a port out of range");
  Require(!HasNul(url.host) && !HasNul(url.user) && !HasNul(url.password.value_or("")) &&
              !HasNul(url.database) && !HasNul(url.schema) && !HasNul(url.file),
          "a NUL byte in a part");
  if (url.plainPath) {
    Require(url.engine == "SQLite" && url.file == input, "a plain path changed");
    return 0;
  }
  Require(url.unknownScheme.empty(), "an unknown scheme in a URL");
  const auto again = ParseDatabaseUrl(Canonical(url));
  Require(again.url.has_value(), "the encoded URL is refused");
  Require(*again.url == url, "the encoded URL reads back otherwise");
  return 0;
}
