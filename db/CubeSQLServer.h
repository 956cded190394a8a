#pragma once

#include <chrono>
#include <cstdint>

#include "db/Database.h"

namespace vantrix::db {

namespace cubesql {
class CursorReader;
struct ReplyHeader;
struct Reply;
}  // namespace cubesql

// A cubeSQL server, reached over its binary protocol on TCP with the clear
// (unencrypted) login. Connecting, and each reply as a whole, must finish
// within TimeoutSeconds, so a server that stops answering (or answers a byte
// at a time) cannot hold the program.
class CubeSQLServer final : public Database {
public:
  static constexpr int kDefaultPort = 4430;

  CubeSQLServer() = default;
  ~CubeSQLServer() override;

  bool Connect() override;
  std::unique_ptr<RecordSet> TableSchema() override;
  std::optional<Table> ReadTable(std::string_view table) override;
  // The SQLite statement over the schema table and every table's fields;
  // table by table when the server refuses it.
  std::optional<Schema> WholeSchema() override;
  std::unique_ptr<RowSet> SelectSQL(std::string_view statement) override;
  void Close() override;
  [[nodiscard]] bool IsConnected() const override { return socket_ >= 0; }

private:
  bool OpenSocket(const std::string& host, int port);
  bool Login();
  // Runs a statement that returns no rows (USE DATABASE, ...).
  bool Execute(std::string_view statement);
  // Runs a statement that returns rows, reading every chunk of the result.
  std::unique_ptr<RecordSet> Query(std::string_view statement);
  // True when the last failed Query was refused by the server (the
  // connection is still fine), false when the transfer failed.
  bool lastRefusedByServer_ = false;

  // One whole request; false (socket dropped, error set) on failure.
  bool Send(const std::string& bytes);
  // True for a transfer without failure; otherwise records it and lets the
  // connection go.
  bool Transferred(const std::string& failure);
  // One whole reply: the header, then its body. On failure the socket is
  // dropped and the error set, since the stream can no longer be trusted.
  bool ReceiveReply(cubesql::ReplyHeader& header, std::string& body);
  // Exactly `size` bytes, all before the deadline.
  bool ReceiveExact(std::string& out, std::size_t size,
                    std::chrono::steady_clock::time_point deadline);
  // A reply whose body is opened (error text or inflated body).
  bool ReceiveOpened(cubesql::Reply& reply);

  [[nodiscard]] std::chrono::milliseconds Timeout() const;
  void DropSocket();

  int socket_ = -1;
  std::string endpoint_;  // "host:port", for messages
};

}  // namespace vantrix::db
