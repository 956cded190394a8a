#pragma once

#include <string>
#include <vector>

namespace vantrix::test {

// Column declarations that both SQLite and MariaDB accept, with the type code
// each must get on either engine.
struct DeclaredColumn {
  const char* name;
  const char* declaration;
  int code;
};

inline const std::vector<DeclaredColumn>& CrossEngineColumns() {
  static const std::vector<DeclaredColumn> columns = {
      {"c_bool", "bool", 12},           {"c_boolean", "boolean", 12},
      {"c_tiny1", "tinyint(1)", 12},    {"c_bit1", "bit(1)", 12},
      {"c_tiny", "tinyint", 1},         {"c_small", "smallint", 2},
      {"c_medium", "mediumint", 3},     {"c_int", "int", 3},
      {"c_integer", "integer", 3},      {"c_uint", "int unsigned", 3},
      {"c_year", "year", 3},            {"c_big", "bigint", 19},
      {"c_char", "char(10)", 4},        {"c_nchar", "nchar(10)", 4},
      {"c_varchar", "varchar(255)", 5}, {"c_nvarchar", "nvarchar(40)", 5},
      {"c_text", "text", 5},            {"c_tinytext", "tinytext", 5},
      {"c_mediumtext", "mediumtext", 15}, {"c_longtext", "longtext", 15},
      {"c_json", "json", 15},           {"c_float", "float", 6},
      {"c_double", "double", 7},        {"c_doublep", "double precision", 7},
      {"c_real", "real", 7},            {"c_decimal", "decimal(10,2)", 13},
      {"c_numeric", "numeric(10,2)", 13}, {"c_dec", "dec(5,1)", 13},
      {"c_fixed", "fixed(5,1)", 13},    {"c_date", "date", 8},
      {"c_time", "time", 9},            {"c_datetime", "datetime", 10},
      {"c_timestamp", "timestamp NULL", 10}, {"c_binary", "binary(16)", 14},
      {"c_varbinary", "varbinary(64)", 14}, {"c_bit8", "bit(8)", 14},
      {"c_blob", "blob", 16},           {"c_tinyblob", "tinyblob", 16},
      {"c_mediumblob", "mediumblob", 16}, {"c_longblob", "longblob", 16},
  };
  return columns;
}

// CREATE TABLE text for the columns above.
inline std::string CrossEngineTableSql(const std::string& table) {
  std::string sql = "CREATE TABLE " + table + " (";
  bool first = true;
  for (const DeclaredColumn& c : CrossEngineColumns()) {
    if (!first) sql += ", ";
    first = false;
    sql += std::string(c.name) + " " + c.declaration;
  }
  return sql + ");";
}

}  // namespace vantrix::test
