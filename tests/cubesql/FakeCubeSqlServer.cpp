#include "FakeCubeSqlServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace vantrix::test {
namespace {

// SHA-1 and hex text made here, straight from OpenSSL, so that the login
// check does not share the client's own login code.
std::string Sha1(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) != 1) {
    ADD_FAILURE() << "OpenSSL refused SHA-1";
    return {};
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string HexText(const std::string& bytes) {
  std::string text;
  char pair[3];
  for (const char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
    text += pair;
  }
  return text;
}

constexpr std::uint32_t kMaxRequestBody = 16u * 1024 * 1024;

// Byte layout of a reply header, written out here field by field so the test
// server does not share the client's encoder.
struct ReplyFields {
  std::uint32_t packetSize = 0;
  std::uint16_t errorCode = 0;
  std::uint8_t flags = 0;
  std::uint32_t expandedSize = 0;
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
  std::uint32_t numFields = 0;
};

void Put32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

std::string HeaderBytes(const ReplyFields& f, const char* signature = "SQLS") {
  std::string out(signature, 4);
  Put32(out, f.packetSize);
  out += static_cast<char>(f.errorCode >> 8);
  out += static_cast<char>(f.errorCode & 0xFF);
  out += static_cast<char>(f.flags);
  out += '\0';  // not encrypted
  Put32(out, f.expandedSize);
  Put32(out, f.rows);
  Put32(out, f.cols);
  Put32(out, f.numFields);
  out.append(4, '\0');  // reserved
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Cursor type codes as a real server derives them from declared types
// (observed: INTEGER 1, REAL 3, TEXT 3, BLOB 4).
std::uint32_t CursorType(const char* declared) {
  if (!declared) return 0;
  const std::string upper = Upper(declared);
  if (upper.find("INT") != std::string::npos) return 1;
  if (upper.find("BLOB") != std::string::npos) return 4;
  if (upper.find("BOOL") != std::string::npos) return 5;
  if (upper.find("TIMESTAMP") != std::string::npos || upper.find("DATETIME") != std::string::npos) {
    return 8;
  }
  if (upper.find("DATE") != std::string::npos) return 6;
  if (upper.find("TIME") != std::string::npos) return 7;
  return 3;
}

// A result read from SQLite, ready to encode.
struct Result {
  std::vector<std::uint32_t> types;
  std::vector<std::string> names;
  std::vector<std::string> tables;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

}  // namespace

// One client connection, served on its own thread.
class FakeCubeSqlServer::Session {
public:
  Session(FakeCubeSqlServer& server, int fd) : server_(server), fd_(fd) {}
  ~Session() { ::close(fd_); }

  void Run() {
    while (auto request = ReadRequest()) {
      server_.Record(*request);
      const Behaviour behaviour = server_.CurrentBehaviour();
      if (behaviour.silent) continue;
      if (!Handle(*request, behaviour)) return;
    }
  }

private:
  // Waits until the socket can be read or written; false when the server
  // stops.
  bool Wait(short events) {
    pollfd fds[2] = {{fd_, events, 0}, {server_.stopPipe_[0], POLLIN, 0}};
    for (;;) {
      const int rc = ::poll(fds, 2, -1);
      if (rc < 0 && errno == EINTR) continue;
      if (rc < 0 || (fds[1].revents & POLLIN) != 0) return false;
      return true;
    }
  }

  bool ReadExact(std::string& out, std::size_t size) {
    out.assign(size, '\0');
    std::size_t done = 0;
    while (done < size) {
      if (!Wait(POLLIN)) return false;
      const ssize_t got = ::recv(fd_, out.data() + done, size - done, 0);
      if (got > 0) {
        done += static_cast<std::size_t>(got);
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        return false;
      }
    }
    return true;
  }

  bool WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
      if (!Wait(POLLOUT)) return false;
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
      } else if (errno != EAGAIN && errno != EINTR) {
        return false;
      }
    }
    return true;
  }

  // One request: header, size array, fields. Nothing (and the session ends)
  // on end of stream or on a request that breaks the protocol.
  std::optional<Request> ReadRequest() {
    std::string header;
    if (!ReadExact(header, 32) || header.compare(0, 4, "SQLS") != 0) return std::nullopt;
    const std::uint32_t packetSize = Get32(header, 4);
    const std::uint32_t numFields = Get32(header, 16);
    if (packetSize > kMaxRequestBody || numFields > packetSize / 4) return std::nullopt;
    std::string body;
    if (!ReadExact(body, packetSize)) return std::nullopt;
    Request request;
    request.command = static_cast<std::uint8_t>(header[8]);
    request.selector = static_cast<std::uint8_t>(header[9]);
    encrypted_ = header[13] != 0;
    std::size_t offset = 4 * static_cast<std::size_t>(numFields);
    for (std::uint32_t i = 0; i < numFields; ++i) {
      const std::uint32_t size = Get32(body, 4 * i);
      if (size > body.size() - offset) return std::nullopt;
      request.fields.push_back(body.substr(offset, size));
      offset += size;
    }
    if (offset != body.size()) return std::nullopt;
    return request;
  }

  // Sends one reply, broken as the behaviour asks. False ends the session.
  bool Reply(ReplyFields fields, const std::string& body, const Behaviour& behaviour) {
    fields.packetSize = static_cast<std::uint32_t>(body.size());
    switch (behaviour.garbage) {
      case Garbage::kNone:
        return WriteAll(HeaderBytes(fields) + body);
      case Garbage::kBadSignature:
        return WriteAll(HeaderBytes(fields, "SQLX") + body);
      case Garbage::kImpossibleLength:
        fields.packetSize = 0xFFFFFFF0u;
        return WriteAll(HeaderBytes(fields) + body);
      case Garbage::kTruncatedBody:
        fields.packetSize += 64;
        WriteAll(HeaderBytes(fields) + body);
        return false;
    }
    return false;
  }

  bool ReplyOk(const Behaviour& behaviour) { return Reply({}, "", behaviour); }

  // An error reply; SQL errors carry a trailing NUL, as some servers send.
  bool ReplyError(int code, const std::string& text, const Behaviour& behaviour,
                  bool withNul = true) {
    ReplyFields fields;
    fields.errorCode = static_cast<std::uint16_t>(code);
    return Reply(fields, withNul ? text + '\0' : text, behaviour);
  }

  static std::string Text(const Request& request) {
    if (request.fields.empty()) return {};
    std::string text = request.fields[0];
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }

  bool Handle(const Request& request, const Behaviour& behaviour) {
    if (encrypted_) return ReplyError(1, "Encryption is not supported by this server", behaviour);
    switch (request.command) {
      case 1:
        return Login(request, behaviour);
      case 2:
      case 3:
        if (!loggedIn_) return ReplyError(7000, "Not logged in", behaviour);
        return request.command == 2 ? Select(Text(request), behaviour)
                                    : ExecuteStatement(Text(request), behaviour);
      case 7:
        ReplyOk(behaviour);
        return false;
      default:
        return ReplyError(1, "Unsupported command " + std::to_string(request.command), behaviour);
    }
  }

  bool Login(const Request& request, const Behaviour& behaviour) {
    if (request.fields.size() != 1) return ReplyError(1, "Malformed login", behaviour);
    if (request.selector == 20) {
      userField_ = request.fields[0];
      if (behaviour.refuse == Refusal::kAtStep1) {
        ReplyError(kLoginRefusedCode, kLoginRefusedText, behaviour, false);
        return false;
      }
      std::random_device random;
      challenge_.clear();
      for (int i = 0; i < 20; ++i) challenge_ += static_cast<char>(random() & 0xFF);
      ReplyFields fields;
      fields.numFields = 1;
      return Reply(fields, challenge_, behaviour);
    }
    if (request.selector == 21 && !challenge_.empty()) {
      const std::string expectedUser = HexText(Sha1(server_.user_)) + '\0';
      const std::string expectedProof = Sha1(challenge_ + Sha1(Sha1(server_.password_)));
      if (behaviour.refuse == Refusal::kNone && userField_ == expectedUser &&
          request.fields[0] == expectedProof) {
        loggedIn_ = true;
        return ReplyOk(behaviour);
      }
      ReplyError(kLoginRefusedCode, kLoginRefusedText, behaviour, false);
      return false;
    }
    return ReplyError(1, "Unsupported login step", behaviour);
  }

  // USE DATABASE with a quoted or bare name; anything else runs on SQLite.
  bool ExecuteStatement(const std::string& sql, const Behaviour& behaviour) {
    const std::string prefix = "USE DATABASE ";
    if (Upper(sql.substr(0, prefix.size())) == prefix) {
      std::string name;
      std::size_t i = prefix.size();
      if (i < sql.size() && sql[i] == '\'') {
        for (++i; i < sql.size(); ++i) {
          if (sql[i] == '\'') {
            if (i + 1 < sql.size() && sql[i + 1] == '\'') {
              name += '\'';
              ++i;
              continue;
            }
            break;
          }
          name += sql[i];
        }
      } else {
        name = sql.substr(i, sql.find(';', i) - i);
      }
      if (name != server_.database_) {
        return ReplyError(kUnknownDatabaseCode, "Database " + name + " does not exist.", behaviour);
      }
      databaseSelected_ = true;
      return ReplyOk(behaviour);
    }
    std::lock_guard lock(server_.dbMutex_);
    char* message = nullptr;
    if (sqlite3_exec(server_.db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : "error";
      sqlite3_free(message);
      return ReplyError(sqlite3_errcode(server_.db_), text, behaviour);
    }
    return ReplyOk(behaviour);
  }

  bool Select(const std::string& sql, const Behaviour& behaviour) {
    if (!databaseSelected_) return ReplyError(7001, "No database selected.", behaviour);
    if (!behaviour.refuseSelects.empty()) return ReplyError(1, behaviour.refuseSelects, behaviour);
    if (behaviour.columnBomb > 0) return SendColumnBomb(behaviour);
    if (behaviour.dripMilliseconds > 0) return Drip(behaviour);
    Result result;
    {
      std::lock_guard lock(server_.dbMutex_);
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(server_.db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        return ReplyError(sqlite3_errcode(server_.db_), sqlite3_errmsg(server_.db_), behaviour);
      }
      const int columns = sqlite3_column_count(stmt);
      for (int c = 0; c < columns; ++c) {
        result.types.push_back(CursorType(sqlite3_column_decltype(stmt, c)));
        result.names.emplace_back(sqlite3_column_name(stmt, c));
        const char* table = sqlite3_column_table_name(stmt, c);
        result.tables.emplace_back(table ? table : "");
      }
      int rc = SQLITE_OK;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        std::vector<std::optional<std::string>> row;
        for (int c = 0; c < columns; ++c) {
          const int type = sqlite3_column_type(stmt, c);
          const int bytes = sqlite3_column_bytes(stmt, c);
          // An empty BLOB goes out as NULL, as a real server sends it.
          if (type == SQLITE_NULL || (type == SQLITE_BLOB && bytes == 0)) {
            row.emplace_back();
          } else if (type == SQLITE_BLOB) {
            row.emplace_back(std::string(static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                                         static_cast<std::size_t>(bytes)));
          } else {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            row.emplace_back(std::string(text, static_cast<std::size_t>(bytes)));
          }
        }
        result.rows.push_back(std::move(row));
      }
      const int code = sqlite3_errcode(server_.db_);
      const std::string message = sqlite3_errmsg(server_.db_);
      sqlite3_finalize(stmt);
      if (rc != SQLITE_DONE) return ReplyError(code, message, behaviour);
    }
    if (behaviour.rowidColumn) {
      result.types.insert(result.types.begin(), 1);
      result.names.insert(result.names.begin(), "rowid");
      result.tables.insert(result.tables.begin(), result.tables.empty() ? "" : result.tables[0]);
      for (std::size_t r = 0; r < result.rows.size(); ++r) {
        result.rows[r].insert(result.rows[r].begin(), std::to_string(r + 1));
      }
    }
    return SendCursor(result, behaviour);
  }

  // Sizes then values of rows [first, last).
  static std::string Values(const Result& result, std::size_t first, std::size_t last) {
    std::string sizes;
    std::string values;
    for (std::size_t r = first; r < last; ++r) {
      for (const auto& value : result.rows[r]) {
        Put32(sizes, value ? static_cast<std::uint32_t>(value->size()) : 0xFFFFFFFFu);
        if (value) values += *value;
      }
    }
    return sizes + values;
  }

  bool SendPacket(ReplyFields fields, const std::string& body, const Behaviour& behaviour) {
    if (!behaviour.compress) return Reply(fields, body, behaviour);
    uLongf packedSize = compressBound(static_cast<uLong>(body.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
              reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size()), 9);
    packed.resize(packedSize);
    fields.flags |= 0x08;
    fields.expandedSize = static_cast<std::uint32_t>(body.size());
    return Reply(fields, packed, behaviour);
  }

  bool SendCursor(const Result& result, const Behaviour& behaviour) {
    const std::size_t total = result.rows.size();
    const std::size_t perPacket =
        behaviour.chunkRows > 0 ? static_cast<std::size_t>(behaviour.chunkRows) : total;
    const std::size_t firstRows = std::min(total, perPacket);

    // First packet: types, sizes, names, table names, values.
    std::string head;
    for (const std::uint32_t type : result.types) Put32(head, type);
    const std::string firstValues = Values(result, 0, firstRows);
    const std::size_t sizeBytes = 4 * firstRows * result.types.size();
    head += firstValues.substr(0, sizeBytes);
    for (const std::string& name : result.names) head += name + '\0';
    if (behaviour.tableNames) {
      for (const std::string& table : result.tables) head += table + '\0';
    }
    head += firstValues.substr(sizeBytes);

    ReplyFields fields;
    fields.rows = static_cast<std::uint32_t>(firstRows);
    fields.cols = static_cast<std::uint32_t>(result.types.size());
    fields.flags = static_cast<std::uint8_t>((behaviour.rowidColumn ? 0x04 : 0) |
                                             (behaviour.tableNames ? 0x80 : 0) |
                                             (behaviour.chunkRows > 0 ? 0x20 : 0));
    if (!SendPacket(fields, head, behaviour)) return false;
    if (behaviour.chunkRows <= 0) return true;

    // Then one packet per chunk, each after the client's acknowledgement,
    // and the end marker after the last one.
    for (std::size_t first = firstRows;; first += perPacket) {
      if (!AwaitAck()) return false;
      if (first >= total) break;
      const std::size_t last = std::min(total, first + perPacket);
      fields.rows = static_cast<std::uint32_t>(last - first);
      fields.flags = 0x20;
      if (!SendPacket(fields, Values(result, first, last), behaviour)) return false;
    }
    ReplyFields end;
    end.errorCode = 777;
    return Reply(end, "", behaviour);
  }

  // Types and empty names of columnBomb columns: megabytes that compress to
  // a few kilobytes.
  bool SendColumnBomb(const Behaviour& behaviour) {
    const std::size_t count = behaviour.columnBomb;
    std::string body(count * 5, '\0');
    for (std::size_t i = 0; i < count; ++i) body[4 * i + 3] = 3;  // text
    uLongf packedSize = compressBound(static_cast<uLong>(body.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
              reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size()),
              Z_BEST_SPEED);
    packed.resize(packedSize);
    ReplyFields fields;
    fields.flags = 0x08;
    fields.expandedSize = static_cast<std::uint32_t>(body.size());
    fields.cols = behaviour.columnBomb;
    return Reply(fields, packed, behaviour);
  }

  // A chunked result that keeps the client waiting: empty chunks, slowly.
  bool Drip(const Behaviour& behaviour) {
    std::string head;
    Put32(head, 3);
    head += std::string("drip") + '\0';
    ReplyFields fields;
    fields.cols = 1;
    fields.flags = 0x20;
    if (!Reply(fields, head, behaviour)) return false;
    for (int i = 0; i < kMaxDrips; ++i) {
      if (!AwaitAck() || !Pause(behaviour.dripMilliseconds)) return false;
      {
        std::lock_guard lock(server_.mutex_);
        ++server_.drips_;
      }
      if (behaviour.beforeDrip) behaviour.beforeDrip();
      if (!Reply(fields, "", behaviour)) return false;
    }
    if (!AwaitAck()) return false;
    ReplyFields end;
    end.errorCode = 777;
    return Reply(end, "", behaviour);
  }

  // Lets the time go by; false when the server stops meanwhile.
  bool Pause(int milliseconds) {
    pollfd stop{server_.stopPipe_[0], POLLIN, 0};
    return ::poll(&stop, 1, milliseconds) == 0;
  }

  bool AwaitAck() {
    const auto request = ReadRequest();
    if (!request) return false;
    server_.Record(*request);
    if (request->command != 9 || request->selector != 25) return false;
    std::lock_guard lock(server_.mutex_);
    ++server_.chunkAcks_;
    return true;
  }

  FakeCubeSqlServer& server_;
  const int fd_;
  bool encrypted_ = false;
  bool loggedIn_ = false;
  bool databaseSelected_ = false;
  std::string userField_;
  std::string challenge_;
};

FakeCubeSqlServer::FakeCubeSqlServer(std::string user, std::string password, std::string database,
                                     int port)
    : user_(std::move(user)), password_(std::move(password)), database_(std::move(database)) {
  if (sqlite3_open(":memory:", &db_) != SQLITE_OK) ADD_FAILURE() << "cannot open SQLite";
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0) ADD_FAILURE() << "cannot create a pipe";

  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  const int reuse = 1;
  if (listener_ >= 0) ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "cannot listen on loopback: " << std::strerror(errno);
    return;
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

FakeCubeSqlServer::~FakeCubeSqlServer() {
  if (stopPipe_[1] >= 0) {
    const char byte = 'x';
    [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &byte, 1);
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard lock(threadsMutex_);
    for (std::thread& session : sessions_) session.join();
  }
  if (listener_ >= 0) ::close(listener_);
  for (const int fd : stopPipe_) {
    if (fd >= 0) ::close(fd);
  }
  sqlite3_close(db_);
}

void FakeCubeSqlServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    const int rc = ::poll(fds, 2, -1);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0 || (fds[1].revents & POLLIN) != 0) return;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard lock(mutex_);
      ++connections_;
    }
    std::lock_guard lock(threadsMutex_);
    sessions_.emplace_back([this, fd] { Session(*this, fd).Run(); });
  }
}

void FakeCubeSqlServer::Execute(const std::string& sql) {
  std::lock_guard lock(dbMutex_);
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    ADD_FAILURE() << "SQL for the fake cubeSQL server failed: " << (message ? message : "") << "\n"
                  << sql;
  }
  sqlite3_free(message);
}

void FakeCubeSqlServer::SetBehaviour(const Behaviour& behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
}

FakeCubeSqlServer::Behaviour FakeCubeSqlServer::CurrentBehaviour() const {
  std::lock_guard lock(mutex_);
  return behaviour_;
}

void FakeCubeSqlServer::Record(const Request& request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
}

std::vector<FakeCubeSqlServer::Request> FakeCubeSqlServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> FakeCubeSqlServer::Statements() const {
  std::vector<std::string> statements;
  for (const Request& request : Requests()) {
    if ((request.command == 2 || request.command == 3) && !request.fields.empty()) {
      std::string text = request.fields[0];
      if (!text.empty() && text.back() == '\0') text.pop_back();
      statements.push_back(std::move(text));
    }
  }
  return statements;
}

int FakeCubeSqlServer::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

int FakeCubeSqlServer::ChunkAcks() const {
  std::lock_guard lock(mutex_);
  return chunkAcks_;
}

int FakeCubeSqlServer::Drips() const {
  std::lock_guard lock(mutex_);
  return drips_;
}

}  // namespace vantrix::test
