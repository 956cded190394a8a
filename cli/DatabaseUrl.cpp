#include "cli/DatabaseUrl.h"

#include <array>
#include <charconv>

namespace vantrix::cli {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Thrown inside the parser; ParseDatabaseUrl turns it into the answer.
struct Refusal {
  std::string reason;
};

// Percent-escapes decoded; `what` names the part for the message.
std::string Decode(std::string_view text, const char* what) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const bool complete = i + 2 < text.size();
    const int high = complete ? HexValue(text[i + 1]) : -1;
    const int low = complete ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) {
      throw Refusal{std::string("bad percent-escape in the ") + what +
                    " (write % as %25, followed by two hexadecimal digits)"};
    }
    const char c = static_cast<char>(high * 16 + low);
    if (c == '\0') throw Refusal{std::string("the ") + what + " holds a NUL byte (%00)"};
    out += c;
    i += 2;
  }
  return out;
}

int ParsePort(std::string_view text) {
  if (text.empty()) throw Refusal{"the port is empty"};
  int port = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
    throw Refusal{"the port \"" + std::string(text) + "\" is not a number from 1 to 65535"};
  }
  return port;
}

void CheckHost(const std::string& host) {
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') {
      throw Refusal{"the host holds a space or a control character"};
    }
  }
}

// The host and port of an authority without its user part.
void ParseHostPort(std::string_view hostPort, DatabaseUrl& url) {
  std::string_view portText;
  bool hasPort = false;
  if (!hostPort.empty() && hostPort.front() == '[') {
    const std::size_t close = hostPort.find(']');
    if (close == std::string_view::npos) throw Refusal{"the IPv6 address has no closing ]"};
    const std::string_view address = hostPort.substr(1, close - 1);
    if (address.empty()) throw Refusal{"the IPv6 address in brackets is empty"};
    // An address, then perhaps "%25" and a zone ("[fe80::1%25eth0]").
    const std::size_t zone = address.find('%');
    for (const char c : address.substr(0, zone)) {
      if (HexValue(c) < 0 && c != ':' && c != '.') {
        throw Refusal{"the IPv6 address in brackets holds \"" + std::string(1, c) + "\""};
      }
    }
    if (zone != std::string_view::npos) {
      for (const char c : address.substr(zone)) {
        if (!IsAlpha(c) && !IsDigit(c) &&
            std::string_view("%-._~").find(c) == std::string_view::npos) {
          throw Refusal{"the IPv6 zone in brackets holds \"" + std::string(1, c) + "\""};
        }
      }
    }
    url.host = Decode(address, "host");
    const std::string_view rest = hostPort.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') throw Refusal{"unexpected text after the IPv6 address"};
      hasPort = true;
      portText = rest.substr(1);
    }
  } else {
    const std::size_t colon = hostPort.find(':');
    if (colon != std::string_view::npos &&
        hostPort.find(':', colon + 1) != std::string_view::npos) {
      throw Refusal{"an IPv6 address must be written in brackets, as [::1]"};
    }
    if (colon != std::string_view::npos) {
      hasPort = true;
      portText = hostPort.substr(colon + 1);
    }
    url.host = Decode(hostPort.substr(0, colon), "host");
  }
  CheckHost(url.host);
  if (hasPort) url.port = ParsePort(portText);
}

enum class Server { kMysql, kCubeSql, kPostgres };

void ParsePostgresParameters(std::string_view query, DatabaseUrl& url) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      throw Refusal{"the parameter \"" + Decode(pair, "parameter") + "\" has no value"};
    }
    const std::string key = Decode(pair.substr(0, eq), "parameter");
    const std::string value = Decode(pair.substr(eq + 1), "parameter");
    if (key == "schema") {
      url.schema = value;
    } else if (key == "dbname") {
      url.database = value;
    } else if (key == "user") {
      url.user = value;
    } else if (key == "password") {
      url.password = value;
    } else if (key == "host") {
      if (value.find(',') != std::string::npos) throw Refusal{"several hosts are not supported"};
      url.host = value;
      CheckHost(url.host);
    } else if (key == "port") {
      url.port = ParsePort(value);
    } else {
      throw Refusal{"the parameter \"" + key +
                    "\" is not supported (schema, host, port, dbname, user and password are)"};
    }
  }
}

DatabaseUrl ParseServerUrl(std::string_view scheme, std::string_view rest, Server server) {
  DatabaseUrl url;
  url.engine = server == Server::kMysql     ? "Mysql"
               : server == Server::kCubeSql ? "CubeSQLserver"
                                            : "PostgreSQL";
  if (rest.substr(0, 2) != "//") {
    throw Refusal{"expected \"//\" after \"" + std::string(scheme) + ":\""};
  }
  rest.remove_prefix(2);
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    throw Refusal{"\"#\" is not allowed in a database URL (write it as %23)"};
  }
  const std::size_t authorityEnd = rest.find_first_of("/?");
  const std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view tail =
      authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

  std::string_view hostPort = authority;
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view userInfo = authority.substr(0, at);
    hostPort = authority.substr(at + 1);
    const std::size_t colon = userInfo.find(':');
    url.user = Decode(userInfo.substr(0, colon), "user name");
    if (colon != std::string_view::npos) {
      url.password = Decode(userInfo.substr(colon + 1), "password");
    }
  }
  ParseHostPort(hostPort, url);
  if (server == Server::kPostgres && url.host.find(',') != std::string::npos) {
    throw Refusal{"several hosts are not supported"};
  }

  std::string_view query;
  bool hasQuery = false;
  if (const std::size_t q = tail.find('?'); q != std::string_view::npos) {
    query = tail.substr(q + 1);
    tail = tail.substr(0, q);
    hasQuery = true;
  }
  if (!tail.empty()) {
    tail.remove_prefix(1);  // the "/" before the database
    if (tail.find('/') != std::string_view::npos) {
      throw Refusal{"the database name holds a \"/\" (write it as %2F)"};
    }
    url.database = Decode(tail, "database name");
  }
  if (server == Server::kPostgres) {
    ParsePostgresParameters(query, url);
  } else if (hasQuery) {
    throw Refusal{"parameters (\"?...\") are not supported in " + std::string(scheme) + " URLs"};
  }
  if (server != Server::kPostgres) {
    if (url.host.empty()) throw Refusal{"the host is missing"};
    if (url.database.empty()) throw Refusal{"the database name is missing"};
  }
  return url;
}

DatabaseUrl ParseSqliteUrl(std::string_view rest) {
  if (rest.substr(0, 2) == "//") {
    if (rest.size() < 3 || rest[2] != '/') {
      throw Refusal{"a sqlite: URL names no host; write sqlite:PATH or sqlite:///absolute/path"};
    }
    rest.remove_prefix(2);
  }
  DatabaseUrl url;
  url.engine = "SQLite";
  url.file = Decode(rest, "path");
  if (url.file.empty()) throw Refusal{"the file path is missing"};
  return url;
}

// The scheme of "scheme:..." as written, or empty when there is none.
std::string_view SchemeOf(std::string_view text) {
  if (text.empty() || !IsAlpha(text.front())) return {};
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return text.substr(0, i);
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

}  // namespace

ParsedUrl ParseDatabaseUrl(std::string_view text) {
  try {
    if (text.empty()) throw Refusal{"the argument is empty"};
    if (text.find('\0') != std::string_view::npos) throw Refusal{"the argument holds a NUL byte"};
    const std::string_view scheme = SchemeOf(text);
    const std::string lower = LowerAscii(scheme);
    const std::string_view rest = scheme.empty() ? text : text.substr(scheme.size() + 1);
    if (lower == "mysql" || lower == "mariadb") {
      return {ParseServerUrl(scheme, rest, Server::kMysql), {}};
    }
    if (lower == "cubesql") return {ParseServerUrl(scheme, rest, Server::kCubeSql), {}};
    if (lower == "postgresql" || lower == "postgres") {
      return {ParseServerUrl(scheme, rest, Server::kPostgres), {}};
    }
    if (lower == "sqlite") return {ParseSqliteUrl(rest), {}};
    DatabaseUrl url;
    url.engine = "SQLite";
    url.file = std::string(text);
    url.plainPath = true;
    url.unknownScheme = std::string(scheme);
    return {std::move(url), {}};
  } catch (const Refusal& refusal) {
    return {std::nullopt, refusal.reason};
  }
}

std::string MaskPassword(std::string_view text) {
  std::string out(text);
  const std::size_t start = out.find("://");
  if (start == std::string::npos) return out;
  const std::size_t authorityStart = start + 3;
  const std::size_t slash = out.find('/', authorityStart);
  const std::size_t at = out.rfind('@', slash == std::string::npos ? std::string::npos : slash);
  if (at != std::string::npos && at >= authorityStart) {
    const std::size_t colon = out.find(':', authorityStart);
    if (colon != std::string::npos && colon < at) out.replace(colon + 1, at - colon - 1, "***");
  }
  // A password among the parameters.
  for (std::size_t q = out.find('?'); q != std::string::npos; q = out.find('&', q + 1)) {
    const std::size_t key = q + 1;
    if (out.compare(key, 9, "password=") == 0) {
      const std::size_t end = out.find('&', key);
      out.replace(key + 9, (end == std::string::npos ? out.size() : end) - key - 9, "***");
    }
  }
  return out;
}

std::string Describe(const DatabaseUrl& url) {
  if (url.engine == "SQLite") return "sqlite:" + url.file;
  const std::string scheme = url.engine == "Mysql"           ? "mysql"
                             : url.engine == "CubeSQLserver" ? "cubesql"
                                                             : "postgresql";
  std::string text = scheme + "://";
  if (!url.user.empty()) text += url.user + "@";
  text += url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  if (url.port > 0) text += ":" + std::to_string(url.port);
  text += "/" + url.database;
  if (!url.schema.empty()) text += "?schema=" + url.schema;
  return text;
}

}  // namespace vantrix::cli
