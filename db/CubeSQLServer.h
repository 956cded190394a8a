#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/Database.h"

namespace vantrix::db {

namespace cubesql {
class CursorReader;
struct ReplyHeader;
struct Reply;
}  // namespace cubesql

// A cubeSQL server, reached over its binary protocol on TCP with the clear
// (unencrypted) login. Connecting as a whole (name lookup, TCP, login,
// choosing the database) must finish within TimeoutSeconds, and so must each
// query as a whole (its request, every chunk of its result and every
// acknowledgement), so a server that stops answering, answers a byte at a
// time or sends chunks for ever cannot hold the program.
class CubeSQLServer final : public Database {
public:
  static constexpr int kDefaultPort = 4430;

  using Clock = std::chrono::steady_clock;

  // One address of a host, as a name lookup found it.
  struct Address {
    int family = 0;
    int protocol = 0;
    sockaddr_storage bytes{};
    socklen_t length = 0;
  };
  // A lookup's addresses, or the reason there are none.
  struct LookupResult {
    std::vector<Address> addresses;
    std::string error;
  };
  using Lookup = std::function<LookupResult(const std::string& host, int port)>;

  // The system's resolver (getaddrinfo), for TCP.
  static LookupResult SystemLookup(const std::string& host, int port);

  CubeSQLServer() = default;
  ~CubeSQLServer() override;

  // The clock deadlines are measured on, and the name lookup. The defaults
  // are the steady clock and SystemLookup; tests put their own here to move
  // time themselves or to make a lookup hang. The lookup runs on a thread of
  // its own and may outlive the call that started it, so it must not refer to
  // anything that could go before it.
  void SetClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }
  void SetLookup(Lookup lookup) { lookup_ = std::move(lookup); }

  bool Connect() override;
  std::unique_ptr<RecordSet> TableSchema() override;
  std::optional<Table> ReadTable(std::string_view table,
                                       Detail detail = Detail::kColumns) override;
  // The SQLite statement over the schema table and every table's fields;
  // table by table when the server refuses it.
  std::optional<Schema> WholeSchema(Detail detail = Detail::kColumns) override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return socket_ >= 0; }

private:
  // The structure beyond the fields (see SqliteStructure.h), of every table
  // or of the one named by a quoted literal.
  bool ReadStructure(Schema& schema, const std::optional<std::string>& onlyTable);
  // The host's addresses, found before the deadline; false (error set) when
  // there are none or the lookup takes too long.
  bool FindHost(const std::string& host, int port, Clock::time_point deadline, LookupResult& found);
  bool OpenSocket(const std::string& host, int port, Clock::time_point deadline);
  bool Login(Clock::time_point deadline);
  // Runs a statement that returns no rows (USE DATABASE, ...).
  bool Execute(std::string_view statement, Clock::time_point deadline);
  // Runs a statement that returns rows, reading every chunk of the result,
  // all within one timeout.
  std::unique_ptr<RecordSet> Query(std::string_view statement);
  // True when the last failed Query was refused by the server (the
  // connection is still fine), false when the transfer failed.
  bool lastRefusedByServer_ = false;

  // One whole request; false (socket dropped, error set) on failure.
  bool Send(const std::string& bytes, Clock::time_point deadline);
  // True for a transfer without failure; otherwise records it and lets the
  // connection go.
  bool Transferred(const std::string& failure);
  // One whole reply: the header, then its body. On failure the socket is
  // dropped and the error set, since the stream can no longer be trusted.
  bool ReceiveReply(cubesql::ReplyHeader& header, std::string& body, Clock::time_point deadline);
  // Exactly `size` bytes, all before the deadline.
  bool ReceiveExact(std::string& out, std::size_t size, Clock::time_point deadline);
  // A reply whose body is opened (error text or inflated body).
  bool ReceiveOpened(cubesql::Reply& reply, Clock::time_point deadline);

  [[nodiscard]] std::chrono::milliseconds Timeout() const;
  [[nodiscard]] Clock::time_point Now() const { return now_(); }
  void DropSocket();

  int socket_ = -1;
  std::string endpoint_;  // "host:port", for messages
  std::function<Clock::time_point()> now_ = Clock::now;
  Lookup lookup_ = SystemLookup;
};

}  // namespace vantrix::db
