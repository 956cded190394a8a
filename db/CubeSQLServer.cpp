#include "db/CubeSQLServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "db/CubeSqlLogin.h"
#include "db/CubeSqlProtocol.h"
#include "db/SqliteColumns.h"
#include "db/SqliteStructure.h"
#include "db/TypeCodes.h"

namespace vantrix::db {
namespace {

using namespace std::chrono_literals;
using cubesql::Reply;
using cubesql::ReplyHeader;
using Clock = CubeSQLServer::Clock;
using Now = std::function<Clock::time_point()>;

constexpr int kDefaultTimeoutSeconds = 10;
constexpr const char* kNoSha1 =
    "The cubeSQL login needs SHA-1, which this system's OpenSSL library refused to compute";
// How long Close waits for the server to confirm the CLOSE command.
constexpr std::chrono::milliseconds kCloseWait = 1000ms;

enum class Io { kOk, kTimeout, kClosed, kFailed };

// Waits for the socket to become readable or writable, until the deadline.
Io WaitFor(int socket, short events, Clock::time_point deadline, const Now& now) {
  pollfd entry{socket, events, 0};
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now());
    if (left.count() <= 0) return Io::kTimeout;
    // Waits in slices of at most a minute; the loop checks the deadline.
    const int rc = ::poll(&entry, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
    if (rc > 0) return Io::kOk;
    if (rc < 0 && errno != EINTR) return Io::kFailed;
  }
}

Io SendAll(int socket, std::string_view bytes, Clock::time_point deadline, const Now& now) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const Io io = WaitFor(socket, POLLOUT, deadline, now);
      if (io != Io::kOk) return io;
      continue;
    }
    return errno == EPIPE || errno == ECONNRESET ? Io::kClosed : Io::kFailed;
  }
  return Io::kOk;
}

// Reads exactly `size` bytes, all of them before the deadline.
Io ReceiveAll(int socket, std::string& out, std::size_t size, Clock::time_point deadline,
              const Now& now) {
  out.assign(size, '\0');
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::recv(socket, out.data() + done, size - done, 0);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      continue;
    }
    if (got == 0) return Io::kClosed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const Io io = WaitFor(socket, POLLIN, deadline, now);
      if (io != Io::kOk) return io;
      continue;
    }
    return errno == ECONNRESET ? Io::kClosed : Io::kFailed;
  }
  return Io::kOk;
}

std::string SecondsText(std::chrono::milliseconds wait) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait).count();
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

// What went wrong with a transfer, or "" when nothing did. `awaited` is what
// the server did not do in time ("answer", "accept data").
std::string IoFailure(Io io, const char* awaited, std::chrono::milliseconds timeout) {
  switch (io) {
    case Io::kOk:
      return {};
    case Io::kTimeout:
      return std::string("The cubeSQL server did not ") + awaited + " within " +
             SecondsText(timeout);
    case Io::kClosed:
      return "The cubeSQL server closed the connection";
    case Io::kFailed:
      break;
  }
  return std::string("The connection to the cubeSQL server failed: ") + std::strerror(errno);
}

// A name lookup running on its own thread. The thread and the caller share
// this record, so whichever lets go last frees it: a caller that stops
// waiting leaves the lookup to finish and drop its result alone.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  CubeSQLServer::LookupResult result;
};

}  // namespace

CubeSQLServer::~CubeSQLServer() { Close(); }

std::chrono::milliseconds CubeSQLServer::Timeout() const {
  return std::chrono::seconds(TimeoutSeconds > 0 ? TimeoutSeconds : kDefaultTimeoutSeconds);
}

CubeSQLServer::LookupResult CubeSQLServer::SystemLookup(const std::string& host, int port) {
  LookupResult result;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) {
    result.error = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
    return result;
  }
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_addrlen > sizeof(Address::bytes)) continue;
    Address address;
    address.family = entry->ai_family;
    address.protocol = entry->ai_protocol;
    std::memcpy(&address.bytes, entry->ai_addr, entry->ai_addrlen);
    address.length = entry->ai_addrlen;
    result.addresses.push_back(address);
  }
  ::freeaddrinfo(found);
  if (result.addresses.empty()) result.error = "no address to try";
  return result;
}

bool CubeSQLServer::Connect() {
  Close();
  ClearError();
  if (Host.empty()) {
    SetError("No cubeSQL server was given");
    return false;
  }
  const int port = Port > 0 ? Port : kDefaultPort;
  if (port > 65535) {
    SetError("The port " + std::to_string(port) + " is not a valid TCP port");
    return false;
  }
  // One deadline for the whole of connecting.
  const auto deadline = Now() + Timeout();
  if (!OpenSocket(Host, port, deadline)) return false;
  if (!Login(deadline)) {
    // A refused login may leave the server closing its end; just let go.
    DropSocket();
    return false;
  }
  if (!DatabaseName.empty() &&
      !Execute("USE DATABASE " + cubesql::QuoteSqlString(DatabaseName) + ";", deadline)) {
    Close();
    return false;
  }
  return true;
}

bool CubeSQLServer::FindHost(const std::string& host, int port, Clock::time_point deadline,
                             LookupResult& found) {
  // getaddrinfo has no time limit of its own, so it runs on a thread of its
  // own and is waited for only until the deadline.
  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, lookup = lookup_, host, port] {
      LookupResult result = lookup(host, port);
      std::lock_guard lock(pending->mutex);
      pending->result = std::move(result);
      pending->done = true;
      pending->finished.notify_all();
    }).detach();
  } catch (const std::system_error& error) {
    SetError("Could not look up the cubeSQL server \"" + host + "\": " + error.what());
    return false;
  }
  std::unique_lock lock(pending->mutex);
  while (!pending->done) {
    const auto left = deadline - Now();
    if (left <= Clock::duration::zero()) {
      SetError("Could not find the cubeSQL server \"" + host + "\" within " +
               SecondsText(Timeout()));
      return false;
    }
    pending->finished.wait_for(lock, left);
  }
  found = std::move(pending->result);
  if (!found.error.empty()) {
    SetError("Could not find the cubeSQL server \"" + host + "\": " + found.error);
    return false;
  }
  return true;
}

bool CubeSQLServer::OpenSocket(const std::string& host, int port, Clock::time_point deadline) {
  endpoint_ = host + ":" + std::to_string(port);
  LookupResult found;
  if (!FindHost(host, port, deadline, found)) return false;

  // The rest of the deadline for all the host's addresses together.
  std::string failure = "no address to try";
  for (const Address& address : found.addresses) {
    const int fd =
        ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address.protocol);
    if (fd < 0) {
      failure = std::strerror(errno);
      continue;
    }
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.bytes), address.length) != 0) {
      error = errno;
      if (error == EINPROGRESS) {
        const Io io = WaitFor(fd, POLLOUT, deadline, now_);
        if (io == Io::kTimeout) {
          failure = "no answer within " + SecondsText(Timeout());
          ::close(fd);
          continue;
        }
        socklen_t length = sizeof error;
        if (io != Io::kOk || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
          error = errno;
        }
      }
    }
    if (error == 0) {
      socket_ = fd;
      return true;
    }
    failure = std::strerror(error);
    ::close(fd);
  }
  SetError("Could not connect to the cubeSQL server at " + endpoint_ + ": " + failure);
  return false;
}

bool CubeSQLServer::Login(Clock::time_point deadline) {
  using namespace cubesql;
  const auto timeout = static_cast<std::uint32_t>(Timeout().count() / 1000);
  // Step 1: announce the user by the hex SHA-1 of its name; the server
  // answers with a random challenge.
  const std::string userHash = LoginUserHash(UserName);
  if (userHash.empty()) {
    SetError(kNoSha1);
    return false;
  }
  if (!Send(EncodeRequest(kCommandConnect, kSelectorLoginStep1, {TextField(userHash)}, timeout),
            deadline)) {
    return false;
  }
  Reply challenge;
  if (!ReceiveOpened(challenge, deadline)) return false;
  if (challenge.kind == Reply::Kind::kServerError) {
    SetError(challenge.body);
    return false;
  }
  if (challenge.kind != Reply::Kind::kOk || challenge.body.size() != kChallengeSize) {
    SetError(InvalidReplyMessage("the login challenge has the wrong form"));
    return false;
  }
  // Step 2: prove the password without sending it.
  const std::string proof = LoginProof(challenge.body, Password);
  if (proof.empty()) {
    SetError(kNoSha1);
    return false;
  }
  if (!Send(EncodeRequest(kCommandConnect, kSelectorLoginStep2, {proof}, timeout), deadline)) {
    return false;
  }
  Reply answer;
  if (!ReceiveOpened(answer, deadline)) return false;
  if (answer.kind == Reply::Kind::kServerError) {
    SetError(answer.body);
    return false;
  }
  if (answer.kind != Reply::Kind::kOk) {
    SetError(InvalidReplyMessage("the login answer has the wrong form"));
    return false;
  }
  return true;
}

bool CubeSQLServer::Execute(std::string_view statement, Clock::time_point deadline) {
  using namespace cubesql;
  const auto timeout = static_cast<std::uint32_t>(Timeout().count() / 1000);
  if (!Send(EncodeRequest(kCommandExecute, kSelectorNone, {TextField(statement)}, timeout),
            deadline)) {
    return false;
  }
  Reply reply;
  if (!ReceiveOpened(reply, deadline)) return false;
  if (reply.kind == Reply::Kind::kServerError) {
    SetError(reply.body);
    return false;
  }
  return true;
}

std::unique_ptr<RecordSet> CubeSQLServer::Query(std::string_view statement) {
  using namespace cubesql;
  lastRefusedByServer_ = false;
  CountStatement();
  if (socket_ < 0) {
    SetError("The database is not connected");
    return nullptr;
  }
  if (statement.size() >= kMaxBodySize) {
    SetError("The statement is too long to send to the cubeSQL server");
    return nullptr;
  }
  // One deadline for the request, every chunk and every acknowledgement: a
  // server that keeps sending chunks cannot stretch the query for ever.
  const auto deadline = Now() + Timeout();
  const auto timeout = static_cast<std::uint32_t>(Timeout().count() / 1000);
  if (!Send(EncodeRequest(kCommandSelect, kSelectorNone, {TextField(statement)}, timeout),
            deadline)) {
    return nullptr;
  }
  CursorReader reader;
  for (;;) {
    ReplyHeader header;
    std::string body;
    if (!ReceiveReply(header, body, deadline)) return nullptr;
    switch (reader.Add(header, body)) {
      case CursorReader::Step::kNeedAck:
        if (!Send(EncodeRequest(kCommandChunk, kSelectorChunkOk, {}, timeout), deadline)) {
          return nullptr;
        }
        break;
      case CursorReader::Step::kComplete:
        return std::make_unique<RecordSet>(reader.TakeRecords());
      case CursorReader::Step::kServerError:
        lastRefusedByServer_ = true;
        SetError(reader.Error());
        return nullptr;
      case CursorReader::Step::kInvalid:
        SetError(reader.Error());
        DropSocket();
        return nullptr;
    }
  }
}

std::unique_ptr<RecordSet> CubeSQLServer::TableSchema() {
  return Query(
      "SELECT name FROM sqlite_master WHERE type IN ('table','view') "
      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
      "AND name NOT LIKE 'cubesql\\_%' ESCAPE '\\' ORDER BY rowid;");
}

namespace {

// Where the standard columns of PRAGMA table_info (cid, name, type, notnull,
// dflt_value, pk) stand in a result, found by name so that a server adding
// columns cannot shift them.
struct TableInfoColumns {
  explicit TableInfoColumns(const RecordSet& info, std::size_t first) {
    const auto find = [&](std::string_view name, std::size_t fallback) {
      const auto& names = info.ColumnNames();
      for (std::size_t i = first; i < names.size(); ++i) {
        if (EqualsIgnoringAsciiCase(names[i], name)) return i;
      }
      return fallback;
    };
    nameAt = find("name", first + 1);
    typeAt = find("type", first + 2);
    notNullAt = find("notnull", first + 3);
    defaultAt = find("dflt_value", first + 4);
    pkAt = find("pk", first + 5);
    needed = std::max({nameAt, typeAt, notNullAt, defaultAt, pkAt}) + 1;
    // The extended list (table_xinfo) adds "hidden"; table_info has none.
    hiddenAt = find("hidden", info.ColumnNames().size());
  }
  // Whether a row is one of the table's own columns (see IsOwnColumn).
  [[nodiscard]] bool Own(const Row& r) const {
    return hiddenAt >= r.size() || r[hiddenAt].IsNull() || IsOwnColumn(r[hiddenAt].IntegerValue());
  }
  [[nodiscard]] Column Of(const Row& r) const {
    const std::string declared = r[typeAt].StringValue();
    Column column{r[nameAt].StringValue(), TypeCodeForDeclaredType(declared, TypeRules::kSqlite),
                  declared, r[notNullAt].IntegerValue() != 0, r[pkAt].IntegerValue() != 0};
    SetDeclaredDefault(column, r[defaultAt].Value());
    return column;
  }
  std::size_t nameAt, typeAt, notNullAt, defaultAt, pkAt, needed, hiddenAt;
};

constexpr const char* kLacksColumns = "the column list lacks some of its columns";

}  // namespace

std::optional<Table> CubeSQLServer::ReadTable(std::string_view table, Detail detail) {
  if (socket_ < 0) {
    SetError("The database is not connected");
    return std::nullopt;
  }
  Table result{std::string(table), TableState::kRead, {}, {}};
  // The statement travels NUL-terminated, so a name with a NUL in it would
  // reach the server cut short; no table can have such a name.
  if (table.find('\0') != std::string_view::npos) {
    result.state = TableState::kUnknown;
    return result;
  }
  // The extended list shows generated columns too; a server whose SQLite
  // predates it (3.26) is asked for the plain one.
  const std::string quoted = cubesql::QuoteSqlString(table);
  auto info = Query("PRAGMA table_xinfo(" + quoted + ");");
  if (!info && lastRefusedByServer_) info = Query("PRAGMA table_info(" + quoted + ");");
  if (!info) {
    // The server refusing the statement is about this table (a view whose
    // tables are gone); a failed transfer fails the whole read.
    if (!lastRefusedByServer_) return std::nullopt;
    result.state = TableState::kUnreadable;
    result.error = ErrorMessage();
    return result;
  }
  if (info->RecordCount() == 0) {
    auto known = Query("SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = " +
                       cubesql::QuoteSqlString(table) + ";");
    if (!known) return std::nullopt;
    if (known->RecordCount() == 0) result.state = TableState::kUnknown;
    return result;
  }
  const TableInfoColumns at(*info, 0);
  result.columns.reserve(info->RecordCount());
  for (const Row& r : info->Rows()) {
    if (r.size() < at.needed) {
      SetError(cubesql::InvalidReplyMessage(kLacksColumns));
      return std::nullopt;
    }
    if (at.Own(r)) result.columns.push_back(at.Of(r));
  }
  MarkRowidAlias(result.columns);
  if (detail == Detail::kStructure) {
    Schema one{{std::move(result)}, {}};
    if (!ReadStructure(one, quoted)) return std::nullopt;
    return std::move(one.tables[0]);
  }
  return result;
}

std::optional<Schema> CubeSQLServer::WholeSchema(Detail detail) {
  auto all = Query(
      "SELECT m.name AS table_name, p.* "
      "FROM sqlite_master AS m LEFT JOIN pragma_table_xinfo(m.name) AS p "
      "ON p.hidden IN (0, 2, 3) "
      "WHERE m.type IN ('table','view') "
      "AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
      "AND m.name NOT LIKE 'cubesql\\_%' ESCAPE '\\' ORDER BY m.rowid, p.cid;");
  if (!all) {
    if (!lastRefusedByServer_) return std::nullopt;
    return SchemaTableByTable(detail);
  }
  // A server that leads each row with extra columns (a rowid) still names
  // the table column.
  std::size_t tableAt = 0;
  const auto& names = all->ColumnNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (EqualsIgnoringAsciiCase(names[i], "table_name")) {
      tableAt = i;
      break;
    }
  }
  const TableInfoColumns at(*all, tableAt + 1);
  Schema schema;
  for (const Row& r : all->Rows()) {
    if (r.size() < at.needed) {
      SetError(cubesql::InvalidReplyMessage(kLacksColumns));
      return std::nullopt;
    }
    const std::string name = r[tableAt].StringValue();
    if (schema.tables.empty() || schema.tables.back().name != name) {
      schema.tables.push_back(Table{name, TableState::kRead, {}, {}});
    }
    if (!r[at.nameAt].IsNull() && at.Own(r)) schema.tables.back().columns.push_back(at.Of(r));
  }
  for (Table& table : schema.tables) MarkRowidAlias(table.columns);
  if (detail == Detail::kStructure && !ReadStructure(schema, std::nullopt)) return std::nullopt;
  return schema;
}

bool CubeSQLServer::ReadStructure(Schema& schema, const std::optional<std::string>& onlyTable) {
  return ReadSqliteStructure(
      schema, [this](const std::string& sql) { return Query(sql + ";"); }, onlyTable,
      "cubesql\\_");
}

std::unique_ptr<RowSet> CubeSQLServer::SelectSQL(std::string_view statement) {
  // A cubeSQL session cannot be made read-only, so nothing but one SELECT
  // is ever sent.
  if (!IsSingleSelect(statement)) {
    SetError("Only a single SELECT statement is sent to a cubeSQL server");
    return nullptr;
  }
  auto records = Query(statement);
  if (!records) return nullptr;
  return std::make_unique<RowSet>(std::move(*records));
}

void CubeSQLServer::Close() {
  if (socket_ < 0) return;
  // Say goodbye, give the server a moment to confirm, and hang up whatever
  // it answers. Failures here change nothing for the caller.
  const std::string closing =
      cubesql::EncodeRequest(cubesql::kCommandClose, cubesql::kSelectorNone, {}, 0);
  const auto deadline = Now() + std::min(kCloseWait, Timeout());
  if (SendAll(socket_, closing, deadline, now_) == Io::kOk) {
    std::string header;
    ReceiveAll(socket_, header, cubesql::kHeaderSize, deadline, now_);
  }
  DropSocket();
}

void CubeSQLServer::DropSocket() {
  if (socket_ >= 0) {
    ::close(socket_);
    socket_ = -1;
  }
}

bool CubeSQLServer::Send(const std::string& bytes, Clock::time_point deadline) {
  if (socket_ < 0) {
    SetError("The database is not connected");
    return false;
  }
  // A deadline already past means the server's answer as a whole took too
  // long, however readily it takes this request.
  if (Now() >= deadline) return Transferred(IoFailure(Io::kTimeout, "answer", Timeout()));
  return Transferred(IoFailure(SendAll(socket_, bytes, deadline, now_), "accept data", Timeout()));
}

bool CubeSQLServer::ReceiveExact(std::string& out, std::size_t size, Clock::time_point deadline) {
  return Transferred(
      IoFailure(ReceiveAll(socket_, out, size, deadline, now_), "answer", Timeout()));
}

bool CubeSQLServer::Transferred(const std::string& failure) {
  if (failure.empty()) return true;
  SetError(failure);
  // After a transport failure the stream cannot be trusted any more.
  DropSocket();
  return false;
}

bool CubeSQLServer::ReceiveReply(ReplyHeader& header, std::string& body,
                                 Clock::time_point deadline) {
  if (socket_ < 0) {
    SetError("The database is not connected");
    return false;
  }
  // Even a reply already waiting in the socket is too late after the
  // deadline.
  if (Now() >= deadline) return Transferred(IoFailure(Io::kTimeout, "answer", Timeout()));
  std::string bytes;
  if (!ReceiveExact(bytes, cubesql::kHeaderSize, deadline)) return false;
  std::string error;
  if (!cubesql::ParseReplyHeader(bytes, header, error)) {
    SetError(error);
    DropSocket();
    return false;
  }
  return ReceiveExact(body, header.packetSize, deadline);
}

bool CubeSQLServer::ReceiveOpened(Reply& reply, Clock::time_point deadline) {
  ReplyHeader header;
  std::string body;
  if (!ReceiveReply(header, body, deadline)) return false;
  std::string error;
  if (!cubesql::OpenReply(header, body, reply, error)) {
    SetError(error);
    DropSocket();
    return false;
  }
  return true;
}

}  // namespace vantrix::db
