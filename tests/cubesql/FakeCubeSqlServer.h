#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

namespace vantrix::test {

// A cubeSQL server for tests. It listens on a loopback port the system picks,
// serves each connection on its own thread, checks the clear login against
// the user and password it was given, accepts USE DATABASE for its one
// database name, and answers SELECT statements by running them on an
// in-memory SQLite database, so that sqlite_master and PRAGMA queries give
// real answers. It can be told to use each reply form the protocol has, to
// refuse logins, to send broken replies, or to stay silent.
class FakeCubeSqlServer {
public:
  static constexpr int kLoginRefusedCode = 7056;
  static constexpr const char* kLoginRefusedText = "Invalid username and/or password.";
  static constexpr int kUnknownDatabaseCode = 7018;
  // A dripping result ends after this many empty chunks.
  static constexpr int kMaxDrips = 40;

  enum class Refusal { kNone, kAtStep1, kAtStep2 };
  enum class Garbage {
    kNone,
    kBadSignature,      // a header that does not start with "SQLS"
    kImpossibleLength,  // a header announcing a body of nearly 4 GiB
    kTruncatedBody,     // a body shorter than its header says, then hang up
  };

  struct Behaviour {
    bool compress = false;             // zlib-compress every cursor body
    int chunkRows = 0;                 // > 0: send results in chunks of this many rows
    bool rowidColumn = false;          // lead every cursor with a rowid column
    bool tableNames = false;           // add the table name of every column
    Refusal refuse = Refusal::kNone;   // refuse every login at this step
    Garbage garbage = Garbage::kNone;  // answer every request with broken bytes
    bool silent = false;               // accept connections, read, never answer
    // Not empty: log in and choose the database as usual, but refuse every
    // SELECT with this message (error code 1, as SQLite's errors have).
    std::string refuseSelects;
    // > 0: answer every SELECT with a small compressed reply announcing this
    // many columns, all with empty names, and no rows.
    std::uint32_t columnBomb = 0;
    // > 0: answer every SELECT with a chunked result that does not end: after
    // its first packet (one column, no rows), an empty chunk every
    // dripMilliseconds, each once the client has acknowledged the one before,
    // up to kMaxDrips chunks; only then the end marker.
    int dripMilliseconds = 0;
    // Called as each dripped chunk is about to go out (tests move their clock
    // here).
    std::function<void()> beforeDrip = nullptr;
  };

  struct Request {
    std::uint8_t command = 0;
    std::uint8_t selector = 0;
    std::vector<std::string> fields;
  };

  // Serves `database` to `user` with `password`, on the given loopback port
  // or, with 0, on one the system picks.
  FakeCubeSqlServer(std::string user, std::string password, std::string database, int port = 0);
  ~FakeCubeSqlServer();
  FakeCubeSqlServer(const FakeCubeSqlServer&) = delete;
  FakeCubeSqlServer& operator=(const FakeCubeSqlServer&) = delete;

  [[nodiscard]] int Port() const { return port_; }

  // Runs SQL on the served database (tables, views, rows); fails the test on
  // an error.
  void Execute(const std::string& sql);

  // Takes effect from the next reply on, also on open connections.
  void SetBehaviour(const Behaviour& behaviour);

  // Every request received, in order, over all connections.
  [[nodiscard]] std::vector<Request> Requests() const;
  // The SQL text (without its NUL) of every SELECT and EXECUTE request.
  [[nodiscard]] std::vector<std::string> Statements() const;
  // Connections accepted, over the server's life.
  [[nodiscard]] int Connections() const;
  // Chunk acknowledgements received.
  [[nodiscard]] int ChunkAcks() const;
  // Empty chunks of dripping results sent (or about to be sent).
  [[nodiscard]] int Drips() const;

private:
  class Session;
  friend class Session;

  void AcceptLoop();
  [[nodiscard]] Behaviour CurrentBehaviour() const;
  void Record(const Request& request);

  const std::string user_;
  const std::string password_;
  const std::string database_;

  int listener_ = -1;
  int port_ = 0;
  int stopPipe_[2] = {-1, -1};

  sqlite3* db_ = nullptr;
  std::mutex dbMutex_;

  mutable std::mutex mutex_;
  Behaviour behaviour_;
  std::vector<Request> requests_;
  int connections_ = 0;
  int chunkAcks_ = 0;
  int drips_ = 0;

  std::mutex threadsMutex_;
  std::vector<std::thread> sessions_;
  std::thread acceptThread_;
};

}  // namespace vantrix::test
