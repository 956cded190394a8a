#include "cli/DatabaseUrl.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "db/Ascii.h"

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
    const int high = complete ? db::HexDigitValue(text[i + 1]) : -1;
    const int low = complete ? db::HexDigitValue(text[i + 2]) : -1;
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
  // The text is not quoted: a URL whose user part was mistyped puts the
  // password where the port would be.
  if (ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
    throw Refusal{"the port is not a number from 1 to 65535"};
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
      if (db::HexDigitValue(c) < 0 && c != ':' && c != '.') {
        throw Refusal{"the IPv6 address in brackets holds a character that an address cannot have"};
      }
    }
    if (zone != std::string_view::npos) {
      for (const char c : address.substr(zone)) {
        if (!IsAlpha(c) && !IsDigit(c) &&
            std::string_view("%-._~").find(c) == std::string_view::npos) {
          throw Refusal{"the IPv6 zone in brackets holds a character that a zone cannot have"};
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
    // A host name's own characters, and percent-escapes (a PostgreSQL
    // socket folder is written %2Fvar%2Frun%2Fpostgresql).
    for (const char c : hostPort) {
      if (!IsAlpha(c) && !IsDigit(c) && std::string_view("-._~%:,").find(c) == std::string_view::npos) {
        throw Refusal{"the host holds a character that a host name cannot have"};
      }
    }
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

// One "name=value" of the parameters, with where its value starts in the
// parameters' text.
struct Parameter {
  std::string_view name;  // as written
  std::string_view value;
  std::size_t valueStart = 0;
  bool hasValue = false;
};

std::vector<Parameter> SplitParameters(std::string_view query) {
  std::vector<Parameter> parameters;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t amp = query.find('&', start);
    if (amp == std::string_view::npos) amp = query.size();
    const std::string_view pair = query.substr(start, amp - start);
    if (!pair.empty()) {
      Parameter p;
      const std::size_t eq = pair.find('=');
      p.name = pair.substr(0, eq);
      if (eq != std::string_view::npos) {
        p.hasValue = true;
        p.value = pair.substr(eq + 1);
        p.valueStart = start + eq + 1;
      }
      parameters.push_back(p);
    }
    start = amp + 1;
  }
  return parameters;
}

// A parameter's name decoded, letter case folded (ASCII).
std::string ParameterName(std::string_view written) {
  return LowerAscii(Decode(written, "parameter name"));
}

// Whether a parameter's value is a secret: its decoded name holds "pass",
// or the name cannot be decoded at all.
bool IsSecretParameter(std::string_view written) {
  try {
    return ParameterName(written).find("pass") != std::string::npos;
  } catch (const Refusal&) {
    return true;
  }
}

// What a parameter's name can look like: letters, digits, "-" and "_".
bool IsParameterName(std::string_view name) {
  if (name.empty() || name.size() > 40) return false;
  for (const char c : name) {
    if (!IsAlpha(c) && !IsDigit(c) && c != '-' && c != '_') return false;
  }
  return true;
}

std::string TlsModeOf(Server server, const std::string& value) {
  if (server == Server::kPostgres) {
    static constexpr std::array<std::string_view, 6> kModes = {
        "disable", "allow", "prefer", "require", "verify-ca", "verify-full"};
    for (const std::string_view mode : kModes) {
      if (LowerAscii(value) == mode) return std::string(mode);
    }
    throw Refusal{
        "sslmode takes disable, allow, prefer, require, verify-ca or verify-full"};
  }
  // MySQL's names for the same modes. The MariaDB client verifies a
  // certificate together with the host name it was issued for, never one
  // without the other.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kModes = {{
      {"disabled", "disable"},
      {"preferred", "prefer"},
      {"required", "require"},
      {"verify_identity", "verify-full"},
  }};
  for (const auto& [mysql, mode] : kModes) {
    if (LowerAscii(value) == mysql) return std::string(mode);
  }
  throw Refusal{"ssl-mode takes DISABLED, PREFERRED, REQUIRED or VERIFY_IDENTITY"};
}

void ParseParameters(std::string_view query, Server server, DatabaseUrl& url) {
  const bool postgres = server == Server::kPostgres;
  const char* const known = postgres ? "schema, host, port, dbname, user, password, sslmode and "
                                       "sslrootcert are"
                                     : "ssl-mode and ssl-ca are";
  for (const Parameter& p : SplitParameters(query)) {
    const std::string key = ParameterName(p.name);
    if (!p.hasValue) {
      // Not quoted: a value written without its name may be a password.
      throw Refusal{"a parameter has no value (write NAME=VALUE; " + std::string(known) + " known)"};
    }
    const std::string value = Decode(p.value, "parameter");
    if (postgres && key == "schema") {
      url.schema = value;
    } else if (postgres && key == "dbname") {
      url.database = value;
    } else if (postgres && key == "user") {
      url.user = value;
    } else if (postgres && key == "password") {
      url.password = value;
    } else if (postgres && key == "host") {
      if (value.find(',') != std::string::npos) throw Refusal{"several hosts are not supported"};
      url.host = value;
      CheckHost(url.host);
    } else if (postgres && key == "port") {
      url.port = ParsePort(value);
    } else if ((postgres && key == "sslmode") || (!postgres && key == "ssl-mode")) {
      url.tlsMode = TlsModeOf(server, value);
    } else if ((postgres && key == "sslrootcert") || (!postgres && key == "ssl-ca")) {
      if (value.empty()) throw Refusal{"the certificate authorities' file is empty"};
      url.tlsCaFile = value;
    } else if (IsSecretParameter(p.name)) {
      throw Refusal{"a parameter naming a password is not supported (" + std::string(known) +
                    ")"};
    } else if (IsParameterName(key)) {
      throw Refusal{"the parameter \"" + key + "\" is not supported (" + known + ")"};
    } else {
      // Not quoted: it is no parameter's name, and may be a password typed
      // in the wrong place.
      throw Refusal{"a parameter is not supported (" + std::string(known) + ")"};
    }
  }
}

// What follows the user part: host[:port][/database][?parameters]. A raw
// "@" cannot be in it outside the parameters, so that a password holding
// "/" or "?" is never taken for a host or a path.
void ParseAfterUser(std::string_view scheme, std::string_view rest, Server server,
                    DatabaseUrl& url) {
  const std::size_t queryStart = rest.find('?');
  const std::string_view beforeQuery = rest.substr(0, queryStart);
  if (beforeQuery.find('#') != std::string_view::npos ||
      (queryStart != std::string_view::npos &&
       rest.find('#', queryStart) != std::string_view::npos)) {
    throw Refusal{"\"#\" is not allowed in a database URL (write it as %23)"};
  }
  if (beforeQuery.find('@') != std::string_view::npos) {
    throw Refusal{"\"@\" is only allowed after the user name and password (write it as %40)"};
  }
  const std::size_t pathStart = beforeQuery.find('/');
  ParseHostPort(beforeQuery.substr(0, pathStart), url);
  if (server == Server::kPostgres && url.host.find(',') != std::string::npos) {
    throw Refusal{"several hosts are not supported"};
  }
  if (pathStart != std::string_view::npos) {
    const std::string_view path = beforeQuery.substr(pathStart + 1);
    if (path.find('/') != std::string_view::npos) {
      throw Refusal{"the database name holds a \"/\" (write it as %2F)"};
    }
    url.database = Decode(path, "database name");
  }
  if (queryStart != std::string_view::npos) {
    if (server == Server::kCubeSql) {
      throw Refusal{"parameters (\"?...\") are not supported in " + std::string(scheme) +
                    " URLs"};
    }
    ParseParameters(rest.substr(queryStart + 1), server, url);
  }
  if (server != Server::kPostgres) {
    if (url.host.empty()) throw Refusal{"the host is missing"};
    if (url.database.empty()) throw Refusal{"the database name is missing"};
  }
}

// Where the user part of a server URL's text after "//" ends: the first
// "@" (or none, for no user part) after which the rest reads well.
struct UserSplit {
  std::size_t at = std::string_view::npos;  // npos: no user part
  bool readsWell = false;
  DatabaseUrl url;     // what follows the user part, when it reads well
  std::string reason;  // why it does not
};

UserSplit TrySplit(std::string_view scheme, std::string_view rest, Server server, std::size_t at) {
  UserSplit split;
  split.at = at;
  try {
    // A user name holds none of the characters that end a URL's parts, so
    // that an "@" in the parameters or the path never makes one.
    if (at != std::string_view::npos) {
      const std::string_view user = rest.substr(0, std::min(at, rest.find(':')));
      if (user.find_first_of("/?#") != std::string_view::npos) {
        throw Refusal{"the user name holds \"/\", \"?\" or \"#\" (write them as %2F, %3F and %23)"};
      }
    }
    ParseAfterUser(scheme, at == std::string_view::npos ? rest : rest.substr(at + 1), server,
                   split.url);
    split.readsWell = true;
  } catch (const Refusal& refusal) {
    split.reason = refusal.reason;
  }
  return split;
}

// The split that reads well, or, when none does, the splits a refusal is
// told from: no user part, and the last "@".
struct Splits {
  std::optional<UserSplit> good;
  UserSplit none;
  std::optional<UserSplit> last;
};

Splits SplitUser(std::string_view scheme, std::string_view rest, Server server) {
  Splits splits;
  splits.none = TrySplit(scheme, rest, server, std::string_view::npos);
  if (splits.none.readsWell) {
    splits.good = splits.none;
    return splits;
  }
  for (std::size_t at = rest.find('@'); at != std::string_view::npos; at = rest.find('@', at + 1)) {
    UserSplit split = TrySplit(scheme, rest, server, at);
    if (split.readsWell) {
      splits.good = std::move(split);
      return splits;
    }
    splits.last = std::move(split);
  }
  return splits;
}

// Why a server URL is refused: without a user part unless an "@" stands
// before the parameters, which means one was meant.
const std::string& Reason(const Splits& splits, std::string_view rest) {
  const bool userMeant = rest.substr(0, rest.find('?')).find('@') != std::string_view::npos;
  return userMeant && splits.last ? splits.last->reason : splits.none.reason;
}

const char* EngineOf(Server server) {
  return server == Server::kMysql     ? "Mysql"
         : server == Server::kCubeSql ? "CubeSQLserver"
                                      : "PostgreSQL";
}

DatabaseUrl ParseServerUrl(std::string_view scheme, std::string_view rest, Server server) {
  if (rest.substr(0, 2) != "//") {
    throw Refusal{"expected \"//\" after \"" + std::string(scheme) + ":\""};
  }
  rest.remove_prefix(2);
  Splits splits = SplitUser(scheme, rest, server);
  if (!splits.good) throw Refusal{Reason(splits, rest)};
  UserSplit& split = *splits.good;
  DatabaseUrl url = std::move(split.url);
  DatabaseUrl userPart;
  if (split.at != std::string_view::npos) {
    const std::string_view userInfo = rest.substr(0, split.at);
    const std::size_t colon = userInfo.find(':');
    userPart.user = Decode(userInfo.substr(0, colon), "user name");
    if (colon != std::string_view::npos) {
      userPart.password = Decode(userInfo.substr(colon + 1), "password");
    }
  }
  // The parameters' user and password win over the user part's.
  if (url.user.empty()) url.user = std::move(userPart.user);
  if (!url.password) url.password = std::move(userPart.password);
  url.engine = EngineOf(server);
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

std::optional<Server> ServerNamed(std::string_view scheme) {
  const std::string lower = LowerAscii(scheme);
  if (lower == "mysql" || lower == "mariadb") return Server::kMysql;
  if (lower == "cubesql") return Server::kCubeSql;
  if (lower == "postgresql" || lower == "postgres") return Server::kPostgres;
  return std::nullopt;
}

}  // namespace

ParsedUrl ParseDatabaseUrl(std::string_view text) {
  try {
    if (text.empty()) throw Refusal{"the argument is empty"};
    if (text.find('\0') != std::string_view::npos) throw Refusal{"the argument holds a NUL byte"};
    const std::string_view scheme = SchemeOf(text);
    const std::string_view rest = scheme.empty() ? text : text.substr(scheme.size() + 1);
    if (const auto server = ServerNamed(scheme)) {
      return {ParseServerUrl(scheme, rest, *server), {}};
    }
    if (LowerAscii(scheme) == "sqlite") return {ParseSqliteUrl(rest), {}};
    if (LowerAscii(scheme) == "snapshot") {
      DatabaseUrl url;
      url.engine = "Snapshot";
      url.file = Decode(rest, "path");
      if (url.file.empty()) throw Refusal{"the file path is missing"};
      return {std::move(url), {}};
    }
    DatabaseUrl url;
    // A path ending in .json is a snapshot; any other a SQLite file.
    const bool json = text.size() > 5 && LowerAscii(text.substr(text.size() - 5)) == ".json";
    url.engine = json ? "Snapshot" : "SQLite";
    url.file = std::string(text);
    url.plainPath = true;
    url.unknownScheme = std::string(scheme);
    return {std::move(url), {}};
  } catch (const Refusal& refusal) {
    return {std::nullopt, refusal.reason};
  }
}

namespace {

// The secrets of a server URL's text after "//" (at `offset` in the
// argument), split at `split`.
void AddSecrets(std::string_view rest, std::size_t offset, const UserSplit& split,
                std::vector<Span>& spans) {
  std::size_t after = 0;  // where what follows the user part starts, in `rest`
  if (split.at != std::string_view::npos) {
    const std::size_t colon = rest.substr(0, split.at).find(':');
    if (colon != std::string_view::npos) {
      spans.push_back({offset + colon + 1, split.at - colon - 1});
    }
    after = split.at + 1;
  } else if (!split.readsWell) {
    // No user part, and refused: what stands where the port would be may
    // be a password whose "@" and host were left out.
    const std::string_view hostPort = rest.substr(0, rest.find_first_of("/?"));
    const std::size_t colon = hostPort.find(':');
    if (colon != std::string_view::npos && !hostPort.starts_with('[') &&
        hostPort.find('@') == std::string_view::npos) {
      spans.push_back({offset + colon + 1, hostPort.size() - colon - 1});
    }
  }
  const std::size_t query = rest.find('?', after);
  if (query == std::string_view::npos) return;
  const std::size_t queryOffset = offset + query + 1;
  for (const Parameter& p : SplitParameters(rest.substr(query + 1))) {
    if (p.hasValue && IsSecretParameter(p.name)) {
      spans.push_back({queryOffset + p.valueStart, p.value.size()});
    }
  }
}

}  // namespace

std::vector<Span> SecretSpans(std::string_view text) {
  std::vector<Span> spans;
  const std::string_view scheme = SchemeOf(text);
  const auto server = ServerNamed(scheme);
  if (!server) {
    // Not a server's URL, but perhaps one written without its scheme
    // ("ann:pw@db.example/shop"): a password before an "@" of the first
    // part of a path is hidden too.
    if (LowerAscii(scheme) == "sqlite") return spans;
    const std::string_view first = text.substr(0, text.find('/'));
    const std::size_t at = first.rfind('@');
    const std::size_t colon = first.find(':');
    if (at != std::string_view::npos && colon < at && first.size() < text.size()) {
      spans.push_back({colon + 1, at - colon - 1});
    }
    return spans;
  }
  // After "scheme:", and after "//" when it is there.
  std::size_t offset = scheme.size() + 1;
  if (text.substr(offset, 2) == "//") offset += 2;
  const std::string_view rest = text.substr(offset);
  const Splits splits = SplitUser(scheme, rest, *server);
  if (splits.good) {
    AddSecrets(rest, offset, *splits.good, spans);
    return spans;
  }
  // Refused: whatever either reading would hide.
  AddSecrets(rest, offset, splits.none, spans);
  if (splits.last) AddSecrets(rest, offset, *splits.last, spans);
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.start < b.start; });
  std::vector<Span> merged;
  for (const Span& span : spans) {
    if (!merged.empty() && span.start <= merged.back().start + merged.back().length) {
      Span& back = merged.back();
      back.length = std::max(back.start + back.length, span.start + span.length) - back.start;
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

std::string MaskPassword(std::string_view text) {
  std::string out(text);
  const std::vector<Span> spans = SecretSpans(text);
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) out.replace(it->start, it->length, "***");
  return out;
}

std::string Describe(const DatabaseUrl& url) {
  if (url.engine == "SQLite") return "sqlite:" + url.file;
  if (url.engine == "Snapshot") return "snapshot:" + url.file;
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
