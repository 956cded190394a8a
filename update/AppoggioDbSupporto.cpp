#include "update/AppoggioDbSupporto.h"

#include <QByteArray>

#include "Config.h"

namespace vantrix::update::AppoggioDbSupporto {

std::unique_ptr<db::CubeSQLServer> SupportDb;

SupportAccount& Account() {
  static SupportAccount account{config::kSupportHostBase64, config::kSupportDatabaseBase64,
                                config::kSupportUserBase64, config::kSupportPasswordBase64, 0};
  return account;
}

std::string DecodeSetting(const std::string& base64) {
  const auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(base64),
                                                      QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return {};
  return decoded.decoded.toStdString();
}

void ConnessioneDbSupporto() {
  const SupportAccount& account = Account();
  auto handle = std::make_unique<db::CubeSQLServer>();
  handle->Host = DecodeSetting(account.HostBase64);
  handle->DatabaseName = DecodeSetting(account.DatabaseNameBase64);
  handle->UserName = DecodeSetting(account.UserNameBase64);
  handle->Password = DecodeSetting(account.PasswordBase64);
  handle->Port = account.Port;
  // The previous connection object is released here.
  SupportDb = std::move(handle);
}

}  // namespace vantrix::update::AppoggioDbSupporto
