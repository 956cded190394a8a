#include <gtest/gtest.h>

#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CrossEngineTypes.h"
#include "db/MySQLCommunityServer.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"
#include "support/RecordSets.h"

namespace vantrix::db {
namespace {

using test::CreateMariaDbSchema;
using test::MariaDbServer;

using test::Column;

using test::ClosedLoopbackPort;
using test::SilentListener;

TEST(MySQLCommunityServer, ConnectFailuresGiveTheClientsMessage) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_connect", "CREATE TABLE t (a INT);");
  SilentListener silent;

  struct Case {
    const char* what;
    std::unique_ptr<MySQLCommunityServer> db;
    std::string messagePart;
  };
  std::vector<Case> cases;
  cases.push_back({"wrong password", test::MariaDbHandle(server, "vx_connect"), "Access denied"});
  cases.back().db->Password = "not-the-password";
  cases.push_back(
      {"unknown database", test::MariaDbHandle(server, "vx_no_such_db"), "Unknown database"});
  cases.push_back({"closed port", test::MariaDbHandle(server, "vx_connect"), "Can't connect"});
  cases.back().db->Port = ClosedLoopbackPort();
  cases.push_back({"silent server", test::MariaDbHandle(server, "vx_connect"),
                   "The server did not answer within 1 second"});
  cases.back().db->Port = silent.port();
  cases.back().db->TimeoutSeconds = 1;
  // A greeting that announces 74 bytes and sends one every 300 ms: each
  // byte comes within the read timeout, but the whole never within the one
  // deadline that covers connecting and logging in.
  test::DrippingServer dripping(std::string("\x4a\x00\x00\x00\x0a", 5) +
                                    "5.5.5-10.11.6-MariaDB-0+deb12u1" + std::string(40, 'x'),
                                std::chrono::milliseconds(300));
  cases.push_back({"server answering a byte at a time", test::MariaDbHandle(server, "vx_connect"),
                   "The server did not answer within 1 second"});
  cases.back().db->Port = dripping.port();
  cases.back().db->TimeoutSeconds = 1;
  for (Case& c : cases) {
    EXPECT_FALSE(c.db->Connect()) << c.what;
    EXPECT_NE(c.db->ErrorMessage().find(c.messagePart), std::string::npos)
        << c.what << ": " << c.db->ErrorMessage();
    EXPECT_FALSE(c.db->IsConnected());
  }
}

TEST(MySQLCommunityServer, ListsTablesAndViewsByNameAndReadsFields) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_list",
                      "CREATE TABLE zeta (id INT NOT NULL PRIMARY KEY, note VARCHAR(20));"
                      "CREATE TABLE alpha (a TEXT);"
                      "CREATE VIEW middle AS SELECT a FROM alpha;"
                      "CREATE TABLE empty_one (x INT); ALTER TABLE empty_one DROP COLUMN x, "
                      "ADD COLUMN y INT;");
  auto db = test::MariaDbHandle(server, "vx_list");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(Column(*tables, 1), (std::vector<std::string>{"alpha", "empty_one", "middle", "zeta"}));

  auto fields = db->FieldSchema("zeta");
  db->Close();
  ASSERT_NE(fields, nullptr);
  EXPECT_EQ(Column(*fields, kFieldName), (std::vector<std::string>{"id", "note"}));
  EXPECT_EQ(Column(*fields, kFieldTypeCode), (std::vector<std::string>{"3", "5"}));
  EXPECT_EQ(Column(*fields, kFieldDeclaredType),
            (std::vector<std::string>{"int(11)", "varchar(20)"}));
  EXPECT_EQ(Column(*fields, kFieldNotNull), (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(Column(*fields, kFieldPrimaryKey), (std::vector<std::string>{"1", "0"}));
}

TEST(MySQLCommunityServer, TableNamesKeepTheirCaseAndOddCharacters) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_names",
                      "CREATE TABLE `Users` (Id INT, Name TEXT);"
                      "CREATE TABLE `users` (id INT);"
                      "CREATE TABLE `it's` (q INT);"
                      "CREATE TABLE `back``tick` (b INT);"
                      "CREATE TABLE `say \"hi\"` (h INT);"
                      "CREATE TABLE `with space.dot` (s INT);"
                      "CREATE TABLE `select` (r INT);"
                      "CREATE TABLE `Übersicht` (u INT);"
                      "CREATE TABLE `1st` (n INT);"
                      "CREATE TABLE `x\\'` (e INT);");
  auto db = test::MariaDbHandle(server, "vx_names");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"Users", {"Id", "Name"}}, {"users", {"id"}},     {"it's", {"q"}},
      {"back`tick", {"b"}},      {"say \"hi\"", {"h"}}, {"with space.dot", {"s"}},
      {"select", {"r"}},         {"Übersicht", {"u"}},  {"1st", {"n"}},
      {"x\\'", {"e"}},           {"USERS", {}},         {"no such table", {}},
      {"' OR '1'='1", {}},
  };
  for (const auto& [table, expected] : cases) {
    auto fields = db->FieldSchema(table);
    ASSERT_NE(fields, nullptr) << table << ": " << db->ErrorMessage();
    EXPECT_EQ(Column(*fields, 1), expected) << table;
  }
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(tables->RecordCount(), 10U);
}

TEST(MySQLCommunityServer, CrossEngineDeclarationsGetTheSameCodesAsInSQLite) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_types", test::CrossEngineTableSql("types"));
  auto db = test::MariaDbHandle(server, "vx_types");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto fields = db->FieldSchema("types");
  ASSERT_NE(fields, nullptr);
  const auto& expected = test::CrossEngineColumns();
  ASSERT_EQ(fields->RecordCount(), expected.size());
  for (const auto& column : expected) {
    EXPECT_EQ(fields->IdxField(1).StringValue(), column.name);
    EXPECT_EQ(fields->IdxField(2).IntegerValue(), column.code)
        << column.declaration << " read back as " << fields->IdxField(3).StringValue();
    fields->MoveNext();
  }
}

TEST(MySQLCommunityServer, EmptyDatabaseListsNoTables) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_empty", "");
  auto db = test::MariaDbHandle(server, "vx_empty");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_TRUE(tables->IsEOF());
}

}  // namespace
}  // namespace vantrix::db

namespace vantrix::db {
namespace {

// A MySQL server on loopback that speaks only the start of the handshake,
// for one connection, the way a real server does: it greets proposing one
// login method; when the client answers with another than the account's, it
// asks it to switch to the account's method; a native login it refuses with
// an error, as for a wrong password. It records every byte the client sends
// until the client hangs up.
class HandshakeOnlyServer {
public:
  HandshakeOnlyServer(std::string greetingMethod, std::string accountMethod)
      : greetingMethod_(std::move(greetingMethod)), accountMethod_(std::move(accountMethod)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on loopback";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~HandshakeOnlyServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  HandshakeOnlyServer(const HandshakeOnlyServer&) = delete;
  HandshakeOnlyServer& operator=(const HandshakeOnlyServer&) = delete;

  [[nodiscard]] int port() const { return port_; }

  // Everything the client sent, once it has hung up.
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

private:
  static constexpr int kPatienceMs = 10000;

  static std::string Packet(std::uint8_t sequence, const std::string& payload) {
    std::string out;
    for (int shift = 0; shift < 24; shift += 8) out += static_cast<char>(payload.size() >> shift);
    out += static_cast<char>(sequence);
    return out + payload;
  }

  // The protocol-10 greeting of a server without TLS.
  std::string Greeting() const {
    const std::uint32_t capabilities = 0x00000001     // long password
                                       | 0x00000008   // connect with a database
                                       | 0x00000200   // protocol 4.1
                                       | 0x00002000   // transactions
                                       | 0x00008000   // secure connection
                                       | 0x00080000   // pluggable authentication
                                       | 0x00200000;  // long authentication data
    std::string payload = "\x0a" + std::string("8.0.36-handshake-only") + '\0';
    payload += std::string("\x01\x00\x00\x00", 4);  // connection id
    payload += "abcdefgh";                          // first part of the scramble
    payload += '\0';
    payload += static_cast<char>(capabilities & 0xFF);
    payload += static_cast<char>((capabilities >> 8) & 0xFF);
    payload += '\x2d';                      // utf8mb4
    payload += std::string("\x02\x00", 2);  // autocommit
    payload += static_cast<char>((capabilities >> 16) & 0xFF);
    payload += static_cast<char>((capabilities >> 24) & 0xFF);
    payload += '\x15';  // 21 bytes of scramble in all
    payload += std::string(10, '\0');
    payload += std::string("ijklmnopqrst") + '\0';
    return payload + greetingMethod_ + '\0';
  }

  bool Write(int fd, const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }

  // The next whole packet's payload, its bytes recorded; nothing when the
  // client hangs up or stays silent.
  std::optional<std::string> ReadPacket(int fd) {
    std::string packet;
    auto read = [&](std::size_t size) {
      while (packet.size() < size) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, kPatienceMs) <= 0) return false;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, size - packet.size()), 0);
        if (got <= 0) return false;
        packet.append(buffer, static_cast<std::size_t>(got));
      }
      return true;
    };
    const bool whole = read(4) && read(4 + (static_cast<unsigned char>(packet[0]) |
                                            static_cast<unsigned char>(packet[1]) << 8 |
                                            static_cast<unsigned char>(packet[2]) << 16));
    received_ += packet;
    if (!whole) return std::nullopt;
    return packet.substr(4);
  }

  void Serve() {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, kPatienceMs) <= 0) return;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    const std::string refusal = "\xff\x15\x04#28000Access denied for this test";
    if (Write(fd, Packet(0, Greeting()))) {
      if (const auto reply = ReadPacket(fd)) {
        // The method the client answered with ends its reply, NUL-terminated.
        const std::string method = reply->size() < 2
                                       ? std::string()
                                       : reply->substr(reply->rfind('\0', reply->size() - 2) + 1);
        if (method == accountMethod_ + '\0' && greetingMethod_ == accountMethod_) {
          Write(fd, Packet(2, refusal));
        } else if (Write(fd, Packet(2, "\xfe" + accountMethod_ + '\0' + "ABCDEFGHIJKLMNOPQRST" +
                                           '\0')) &&
                   ReadPacket(fd) && accountMethod_ == "mysql_native_password") {
          Write(fd, Packet(4, refusal));
        }
      }
      while (ReadPacket(fd)) {
      }
    }
    ::close(fd);
  }

  const std::string greetingMethod_;
  const std::string accountMethod_;
  int listener_ = -1;
  int port_ = 0;
  std::string received_;
  std::thread thread_;
};

TEST(MySQLCommunityServer, ThePasswordIsNeverSentToAServerAskingForItInClear) {
  constexpr const char* kSecret = "s3cret-Pa55word";
  const std::string refused =
      "The MySQL server asked for a login method that would reveal the password; this program "
      "only logs in with mysql_native_password or client_ed25519";
  const std::string denied = "Access denied for this test";
  struct Case {
    const char* what;
    std::string greetingMethod;
    std::string accountMethod;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"clear password proposed in the greeting", "mysql_clear_password", "mysql_clear_password",
       refused},
      {"clear password asked for after a native greeting", "mysql_native_password",
       "mysql_clear_password", refused},
      {"a dialog asked for", "mysql_native_password", "dialog", refused},
      {"sha256_password asked for", "mysql_native_password", "sha256_password", refused},
      {"caching_sha2_password proposed and asked for", "caching_sha2_password",
       "caching_sha2_password", refused},
      // The controls: a native login is made, without the password, and
      // the server's refusal comes back; also where a MySQL 8 greeting
      // proposes caching_sha2_password for an account that uses the native
      // method.
      {"native login", "mysql_native_password", "mysql_native_password", denied},
      {"native account behind a MySQL 8 greeting", "caching_sha2_password", "mysql_native_password",
       denied},
  };
  for (const Case& c : cases) {
    HandshakeOnlyServer server(c.greetingMethod, c.accountMethod);
    MySQLCommunityServer db;
    db.Host = "127.0.0.1";
    db.Port = server.port();
    db.UserName = "handshake-user";
    db.Password = kSecret;
    db.DatabaseName = "anything";
    db.TimeoutSeconds = 1;
    EXPECT_FALSE(db.Connect()) << c.what;
    EXPECT_FALSE(db.IsConnected()) << c.what;
    EXPECT_EQ(db.ErrorMessage(), c.message) << c.what;
    db.Close();
    const std::string received = server.Received();
    // The client did answer the greeting, so there was something to look at.
    EXPECT_NE(received.find("handshake-user"), std::string::npos) << c.what;
    EXPECT_EQ(received.find(kSecret), std::string::npos) << c.what;
  }
}

// The test server has a certificate of its own, issued for 127.0.0.1 by
// the authority in server.caFile.
TEST(MySQLCommunityServer, EncryptsAndVerifiesAsTheTlsModeSays) {
  VANTRIX_REQUIRE_MARIADB(server);
  ASSERT_FALSE(server.caFile.empty()) << "VANTRIX_TEST_MYSQL_CA is not set";
  CreateMariaDbSchema(server, "vx_tls", "");
  const std::string otherAuthority =
      (std::filesystem::path(server.caFile).parent_path() / "other-ca.pem").string();
  using Tls = Database::Tls;
  struct Case {
    const char* what;
    Tls mode;
    std::string caFile;
    const char* host;
    bool connects;
    bool encrypted;
  };
  const std::vector<Case> cases = {
      {"by default, encrypted when offered", Tls::kDefault, "", "127.0.0.1", true, true},
      {"disabled", Tls::kDisable, "", "127.0.0.1", true, false},
      {"required", Tls::kRequire, "", "127.0.0.1", true, true},
      {"verified", Tls::kVerifyFull, server.caFile, "127.0.0.1", true, true},
      {"verified, another host name", Tls::kVerifyFull, server.caFile, "localhost", false, false},
      {"verified by another authority", Tls::kVerifyFull, otherAuthority, "127.0.0.1", false,
       false},
  };
  for (const Case& c : cases) {
    auto db = test::MariaDbHandle(server, "vx_tls");
    db->TlsMode = c.mode;
    db->TlsCaFile = c.caFile;
    db->Host = c.host;
    ASSERT_EQ(db->Connect(), c.connects) << c.what << ": " << db->ErrorMessage();
    if (!c.connects) continue;
    auto cipher = db->SelectSQL("SHOW SESSION STATUS LIKE 'Ssl_cipher'");
    ASSERT_NE(cipher, nullptr) << c.what << ": " << db->ErrorMessage();
    ASSERT_FALSE(cipher->AfterLastRow()) << c.what;
    EXPECT_EQ(cipher->ColumnAt(1).StringValue() != "", c.encrypted) << c.what;
  }
}

}  // namespace
}  // namespace vantrix::db
