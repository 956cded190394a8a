#pragma once

#include <memory>
#include <string>

#include "db/CubeSQLServer.h"

namespace vantrix::update {

// The support server's account as the program keeps it: each setting
// base64-encoded, decoded only when a connection is prepared.
struct SupportAccount {
  std::string HostBase64;
  std::string DatabaseNameBase64;
  std::string UserNameBase64;
  std::string PasswordBase64;
  // 0: the cubeSQL client's default port. Only tests set another.
  int Port = 0;
};

// The connection to the maker's support server, which the version check
// asks for the current version.
namespace AppoggioDbSupporto {

// The last connection object, closed or never opened between checks; empty
// before the first check.
extern std::unique_ptr<db::CubeSQLServer> SupportDb;

// The account in use: the one built into the program (see the
// VANTRIX_SUPPORT_* build settings) unless a test replaced it.
SupportAccount& Account();

// Replaces SupportDb with a new handle configured from the decoded account
// (host, database, user, password). Does not connect. A setting that is
// not valid base64 decodes to an empty text, so connecting fails quietly.
void ConnessioneDbSupporto();

// Standard base64 (with padding) to bytes; none for anything else.
std::string DecodeSetting(const std::string& base64);

}  // namespace AppoggioDbSupporto

}  // namespace vantrix::update
