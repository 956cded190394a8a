#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/Database.h"
#include "db/ListRows.h"

namespace vantrix::db {

// What a connection panel holds at one moment.
struct PanelValues {
  std::string server;
  std::string database;
  std::string user;
  std::string password;
  std::string engine;  // the type menu's current item
  std::string port;    // the port field's text; empty = the engine's default
  std::optional<std::filesystem::path> file;  // the chosen SQLite file
};

// The outcome of preparing a slot: prepared, or the message to show.
struct Preparation {
  bool prepared = false;
  std::string message;
};

// The two connection slots, one per side, and how they are prepared.
namespace AppoggioMySQL {

extern std::unique_ptr<Database> MysqlDb;   // DB 1
extern std::unique_ptr<Database> MysqlDb2;  // DB 2

inline constexpr const char* kNoServer = "You have to input an address for the database server";
inline constexpr const char* kNoDatabase = "You have to input a name for the database to be processed";
inline constexpr const char* kNoUser = "You have to input an username to access the selected database";
inline constexpr const char* kNoPassword = "You have to input a password to complete the connection";

// Prepares a slot from panel values: checks the input, then replaces the
// slot's handle with a new, configured one. Never connects. When not
// prepared, the slot keeps its previous handle.
Preparation PrepareSlot(std::unique_ptr<Database>& slot, const PanelValues& panel);
inline Preparation ConnessioneDbMysql(const PanelValues& panel) { return PrepareSlot(MysqlDb, panel); }
inline Preparation ConnessioneDbMysql2(const PanelValues& panel) { return PrepareSlot(MysqlDb2, panel); }
// The slot of side 1 or 2.
std::unique_ptr<Database>& Slot(int side);

// Fills a list from a record set, one row per record, column i into cell
// i-1. A record set already at its end leaves the list untouched.
void popolalista(RecordSet& records, ListRows& list);

}  // namespace AppoggioMySQL

// Fills a field list: cell 0 the field name, cell 1 the label of its type
// code, and each row described by its declared type and default (see
// DescribeField, with ", " between code and label). A record set already
// at its end leaves the list untouched.
void FillFieldList(RecordSet& records, ListRows& list);

// A field's declared type and what it maps to, for the lists' tooltips:
// the declared type (or "(no declared type)"), " → ", then the code,
// `beforeLabel` and the code's label without its "N-" prefix, e.g.
// "NVARCHAR(160) → 5, Text or VarChar". A code outside the table has no
// code to show: "point → Unknown".
std::string DescribeDeclaredType(std::string_view declaredType, long long code,
                                 std::string_view beforeLabel);

// DescribeDeclaredType, followed by " default " and the field's default as
// the engine declares it when it has one:
// "varchar(30) → 5, Text or VarChar default 'x'".
std::string DescribeField(std::string_view declaredType, long long code,
                          const std::optional<std::string>& declaredDefault,
                          std::string_view beforeLabel);

}  // namespace vantrix::db
