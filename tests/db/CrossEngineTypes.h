#pragma once

#include <string>
#include <vector>

namespace vantrix::test {

// Column declarations that both SQLite and MariaDB accept, with the type code
// each must get on either engine, and PostgreSQL's spelling of the same
// meaning where it has one (nullptr where it has none: a one-byte integer, a
// long text apart from text, a fixed or bit binary). PostgreSQL's real is a
// four-byte float, so MariaDB's float is its real and MariaDB's real its
// double precision.
struct DeclaredColumn {
  const char* name;
  const char* declaration;
  int code;
  const char* postgres = nullptr;
};

inline const std::vector<DeclaredColumn>& CrossEngineColumns() {
  static const std::vector<DeclaredColumn> columns = {
      {"c_bool", "bool", 12, "bool"},
      {"c_boolean", "boolean", 12, "boolean"},
      {"c_tiny1", "tinyint(1)", 12, "boolean"},
      {"c_bit1", "bit(1)", 12, "boolean"},
      {"c_tiny", "tinyint", 1},
      {"c_small", "smallint", 2, "smallint"},
      {"c_medium", "mediumint", 3, "integer"},
      {"c_int", "int", 3, "int"},
      {"c_integer", "integer", 3, "integer"},
      {"c_uint", "int unsigned", 3, "integer"},
      {"c_year", "year", 3},
      {"c_big", "bigint", 19, "bigint"},
      {"c_char", "char(10)", 4, "char(10)"},
      {"c_nchar", "nchar(10)", 4, "nchar(10)"},
      {"c_varchar", "varchar(255)", 5, "varchar(255)"},
      {"c_nvarchar", "nvarchar(40)", 5, "national character varying(40)"},
      {"c_text", "text", 5, "text"},
      {"c_tinytext", "tinytext", 5, "text"},
      {"c_mediumtext", "mediumtext", 15},
      {"c_longtext", "longtext", 15},
      {"c_json", "json", 15, "json"},
      {"c_float", "float", 6, "real"},
      {"c_double", "double", 7, "double precision"},
      {"c_doublep", "double precision", 7, "double precision"},
      {"c_real", "real", 7, "float8"},
      {"c_decimal", "decimal(10,2)", 13, "decimal(10,2)"},
      {"c_numeric", "numeric(10,2)", 13, "numeric(10,2)"},
      {"c_dec", "dec(5,1)", 13, "dec(5,1)"},
      {"c_fixed", "fixed(5,1)", 13, "numeric(5,1)"},
      {"c_date", "date", 8, "date"},
      {"c_time", "time", 9, "time"},
      {"c_datetime", "datetime", 10, "timestamp"},
      {"c_timestamp", "timestamp NULL", 10, "timestamp NULL"},
      {"c_binary", "binary(16)", 14},
      {"c_varbinary", "varbinary(64)", 14},
      {"c_bit8", "bit(8)", 14},
      {"c_blob", "blob", 16, "bytea"},
      {"c_tinyblob", "tinyblob", 16, "bytea"},
      {"c_mediumblob", "mediumblob", 16, "bytea"},
      {"c_longblob", "longblob", 16, "bytea"},
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

// CREATE TABLE text for the columns above that PostgreSQL can declare, in
// its spellings.
inline std::string PostgresCrossEngineTableSql(const std::string& table) {
  std::string sql = "CREATE TABLE " + table + " (";
  bool first = true;
  for (const DeclaredColumn& c : CrossEngineColumns()) {
    if (!c.postgres) continue;
    if (!first) sql += ", ";
    first = false;
    sql += std::string(c.name) + " " + c.postgres;
  }
  return sql + ");";
}

}  // namespace vantrix::test
