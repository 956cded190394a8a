#include "db/AppoggioMySQL.h"

#include <charconv>

#include "db/Ascii.h"
#include "db/TypeCodes.h"

namespace vantrix::db {
namespace AppoggioMySQL {

std::unique_ptr<Database> MysqlDb;
std::unique_ptr<Database> MysqlDb2;

namespace {
constexpr const char* kBadPort = "You have to input a port number from 1 to 65535";
constexpr const char* kNoEngine = "You have to choose a database type";
}  // namespace

std::unique_ptr<Database>& Slot(int side) { return side == 2 ? MysqlDb2 : MysqlDb; }

Preparation PrepareSlot(std::unique_ptr<Database>& slot, const PanelValues& panel) {
  if (EqualsIgnoringAsciiCase(panel.engine, "SQLite")) {
    auto handle = CreateDatabase(panel.engine);
    handle->DatabaseFile = panel.file;
    slot = std::move(handle);
    return {true, {}};
  }
  if (panel.server.empty()) return {false, kNoServer};
  if (panel.database.empty()) return {false, kNoDatabase};
  if (panel.user.empty()) return {false, kNoUser};
  if (panel.password.empty()) return {false, kNoPassword};

  auto handle = CreateDatabase(panel.engine);
  if (!handle) return {false, kNoEngine};
  if (!panel.port.empty()) {
    int port = 0;
    const char* end = panel.port.data() + panel.port.size();
    auto [ptr, ec] = std::from_chars(panel.port.data(), end, port);
    if (ec != std::errc() || ptr != end || port < 1 || port > 65535) return {false, kBadPort};
    handle->Port = port;
  }
  handle->Host = panel.server;
  handle->DatabaseName = panel.database;
  handle->UserName = panel.user;
  handle->Password = panel.password;
  slot = std::move(handle);
  return {true, {}};
}

void popolalista(RecordSet& records, ListRows& list) {
  if (records.IsEOF()) return;
  list.DeleteAllRows();
  while (!records.IsEOF()) {
    list.AddRow(records.IdxField(1).StringValue());
    for (int i = 2; i <= records.FieldCount(); ++i) {
      list.SetLastRowCell(i - 1, records.IdxField(i).StringValue());
    }
    records.MoveNext();
  }
}

}  // namespace AppoggioMySQL

void FillFieldList(RecordSet& records, ListRows& list) {
  if (records.IsEOF()) return;
  list.DeleteAllRows();
  while (!records.IsEOF()) {
    list.AddRow(records.IdxField(kFieldName).StringValue());
    const long long code = records.IdxField(kFieldTypeCode).IntegerValue();
    list.SetLastRowCell(1, ConvertFieldType(code));
    list.SetLastRowDescription(DescribeField(records.IdxField(kFieldDeclaredType).StringValue(),
                                             code, records.IdxField(kFieldDefault).Value(), ", "));
    records.MoveNext();
  }
}

std::string DescribeDeclaredType(std::string_view declaredType, long long code,
                                 std::string_view beforeLabel) {
  bool blank = true;
  for (const char c : declaredType) blank = blank && IsAsciiSpace(c);
  std::string text = blank ? std::string("(no declared type)") : std::string(declaredType);
  text += " \u2192 ";
  const std::string label = ConvertFieldType(code);
  // Labels of the table read "5-Text or VarChar"; the code is shown apart.
  const std::string prefix = std::to_string(code) + '-';
  if (label.starts_with(prefix)) {
    text += std::to_string(code);
    text += beforeLabel;
    text += label.substr(prefix.size());
  } else {
    text += label;
  }
  return text;
}

std::string DescribeField(std::string_view declaredType, long long code,
                          const std::optional<std::string>& declaredDefault,
                          std::string_view beforeLabel) {
  std::string text = DescribeDeclaredType(declaredType, code, beforeLabel);
  if (declaredDefault) text += " default " + *declaredDefault;
  return text;
}

}  // namespace vantrix::db
