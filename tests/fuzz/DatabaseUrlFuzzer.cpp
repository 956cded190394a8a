// Feeds arbitrary text to vantrix-diff's database URL parser, and to the
// password masking and the description that messages use. Beyond crashes
// and overruns, it checks what every accepted URL must satisfy: a known
// engine, a port in range, no NUL byte in any part, and that the same URL
// written again with every part percent-encoded reads back the same. And
// that no secret shows: no refusal quotes a part the masking hides, the
// masked argument reads back with "***" for its password, and neither the
// masked URL nor the description shows the password.

#include <cctype>
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
  std::string separator = "?";
  if (!url.schema.empty()) {
    text += separator + "schema=" + Encode(url.schema);
    separator = "&";
  }
  if (!url.tlsMode.empty()) {
    std::string mode = url.tlsMode;
    if (url.engine == "Mysql") {
      mode = mode == "disable"  ? "DISABLED"
             : mode == "prefer" ? "PREFERRED"
             : mode == "require" ? "REQUIRED"
                                 : "VERIFY_IDENTITY";
    }
    text += separator + (url.engine == "Mysql" ? "ssl-mode=" : "sslmode=") + mode;
    separator = "&";
  }
  if (!url.tlsCaFile.empty()) {
    text += separator + (url.engine == "Mysql" ? "ssl-ca=" : "sslrootcert=") +
            Encode(url.tlsCaFile);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto parsed = ParseDatabaseUrl(input);
  const std::string masked = vantrix::cli::MaskPassword(input);
  // The letters and digits of every secret replaced by a mark the input
  // does not hold otherwise: a refusal of that text that shows the mark
  // quotes a secret. (Only letters and digits change, so the text reads
  // as the input does.)
  const auto spans = vantrix::cli::SecretSpans(input);
  for (const auto& span : spans) {
    Require(span.start + span.length <= input.size(), "a secret span outside the argument");
  }
  for (const char mark : std::string_view("QJXKZ")) {
    if (spans.empty() || input.find(mark) != std::string_view::npos) continue;
    std::string marked(input);
    bool changed = false;
    for (const auto& span : spans) {
      for (std::size_t i = span.start; i < span.start + span.length; ++i) {
        const auto c = static_cast<unsigned char>(marked[i]);
        if (std::isalnum(c)) {
          marked[i] = mark;
          changed = true;
        }
      }
    }
    if (changed) {
      const auto refused = ParseDatabaseUrl(marked);
      Require(refused.error.find(mark) == std::string::npos, "a refusal quotes a secret");
    }
    break;
  }
  if (!parsed.url) {
    Require(!parsed.error.empty(), "a refusal without a reason");
    return 0;
  }
  const DatabaseUrl& url = *parsed.url;
  const std::string described = vantrix::cli::Describe(url);
  if (url.password && !url.password->empty()) {
    const auto again = ParseDatabaseUrl(masked);
    Require(again.url.has_value() && again.url->password == std::string("***"),
            "the masked argument does not read back with a hidden password");
    if (url.password->size() >= 4 && !url.plainPath) {
      const std::string& secret = *url.password;
      const bool elsewhere = url.user.find(secret) != std::string::npos ||
                             url.host.find(secret) != std::string::npos ||
                             url.database.find(secret) != std::string::npos ||
                             url.schema.find(secret) != std::string::npos ||
                             url.tlsCaFile.find(secret) != std::string::npos;
      if (!elsewhere) {
        // After the scheme, which a password may spell by chance.
        Require(described.find(secret, described.find("://") + 3) == std::string::npos,
                "the description shows a password");
      }
    }
  }
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
