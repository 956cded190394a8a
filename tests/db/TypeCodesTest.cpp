#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "db/Database.h"
#include "db/TypeCodes.h"

namespace vantrix::db {
namespace {

struct TypeCase {
  const char* declared;
  int code;
};

TEST(TypeCodes, DeclaredTypesMapToTheirCodes) {
  const std::vector<TypeCase> cases = {
      {"tinyint(1)", 12},
      {"TINYINT(1) UNSIGNED", 12},
      {"bool", 12},
      {"BOOLEAN", 12},
      {"bit(1)", 12},
      {"bit", 12},
      {"tinyint", 1},
      {"tinyint(4)", 1},
      {"tinyint(3) unsigned", 1},
      {"smallint(6)", 2},
      {"SMALLINT UNSIGNED ZEROFILL", 2},
      {"mediumint(9)", 3},
      {"int(11)", 3},
      {"int unsigned", 3},
      {"INTEGER", 3},
      {"year(4)", 3},
      {"year", 3},
      {"bigint(20) unsigned", 19},
      {"char(10)", 4},
      {"NCHAR(2)", 4},
      {"character(3)", 4},
      {"varchar(255)", 5},
      {"NVARCHAR(160)", 5},
      {"character varying(20)", 5},
      {"text", 5},
      {"tinytext", 5},
      {"enum('a','b)')", 5},
      {"set('x','y')", 5},
      {"CLOB", 5},
      {"mediumtext", 15},
      {"longtext", 15},
      {"json", 15},
      {"float", 6},
      {"float(7,4)", 6},
      {"double", 7},
      {"DOUBLE PRECISION", 7},
      {"real", 7},
      {"decimal(10,2)", 13},
      {"NUMERIC(10,2)", 13},
      {"dec(5)", 13},
      {"fixed", 13},
      {"money", 11},
      {"currency", 11},
      {"date", 8},
      {"time", 9},
      {"time(3)", 9},
      {"datetime", 10},
      {"DATETIME(6)", 10},
      {"timestamp", 10},
      {"binary(16)", 14},
      {"varbinary(255)", 14},
      {"bit(8)", 14},
      {"blob", 16},
      {"tinyblob", 16},
      {"mediumblob", 16},
      {"longblob", 16},
      {"", 0},
      {"   ", 0},
      {"\tBIGINT\n", 19},
  };
  for (const TypeRules rules : {TypeRules::kSqlite, TypeRules::kServer}) {
    for (const TypeCase& c : cases) {
      EXPECT_EQ(TypeCodeForDeclaredType(c.declared, rules), c.code)
          << "declared type: '" << c.declared << "'";
    }
  }
}

// Types outside the table: SQLite gives them an affinity, a server's have no
// code of their own.
TEST(TypeCodes, TypesOutsideTheTableFollowTheirEnginesRules) {
  struct OutsideCase {
    const char* declared;
    int sqlite;
  };
  const std::vector<OutsideCase> cases = {
      {"UNSIGNED BIG INT", 3},
      {"INT2", 3},
      {"VARYING CHARACTER(255)", 5},
      {"NATIVE CHARACTER(70)", 5},
      {"STRING TEXT", 5},
      {"blob sub_type 1", 16},
      {"FLOATING POINT", 3},
      {"DOUB", 7},
      {"BOOLEANISH", 13},
      {"uuid", 13},
      {"(10)", 13},
      {"point", 3},
      {"POLYGON", 13},
      {"geometry", 13},
      {"inet6", 13},
  };
  for (const OutsideCase& c : cases) {
    EXPECT_EQ(TypeCodeForDeclaredType(c.declared, TypeRules::kSqlite), c.sqlite) << c.declared;
    EXPECT_EQ(TypeCodeForDeclaredType(c.declared, TypeRules::kServer), kUnknownTypeCode)
        << c.declared;
  }
  EXPECT_EQ(ConvertFieldType(kUnknownTypeCode), "Unknown");
}

TEST(TypeCodes, AServerTypeOutsideTheTableAgreesOnlyWithTheSameDeclaration) {
  struct SameCase {
    int codeA;
    const char* declaredA;
    int codeB;
    const char* declaredB;
    bool same;
  };
  const int unknown = kUnknownTypeCode;
  const std::vector<SameCase> cases = {
      {3, "int", 3, "INTEGER", true},
      {3, "int", 19, "bigint", false},
      {unknown, "point", 3, "int", false},
      {3, "int", unknown, "point", false},
      {unknown, "point", unknown, "POINT", true},
      {unknown, "point", unknown, "polygon", false},
      {unknown, "enum('a', 'b')", unknown, "ENUM('a','b')", true},
      {unknown, "geometry", 13, "GEOMETRY", true},  // SQLite's declaration of the same type
      {unknown, "uuid", 13, "decimal", false},
      {unknown, "inet6", unknown, "inet4", false},
  };
  for (const SameCase& c : cases) {
    EXPECT_EQ(SameType(c.codeA, c.declaredA, c.codeB, c.declaredB), c.same)
        << c.declaredA << " / " << c.declaredB;
  }
}

// The toolkit applies the user's locale at start; under a Turkish one the C
// library maps "I" to a dotless i, which must not change any code.
TEST(TypeCodes, CodesDoNotDependOnTheLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "tr_TR.UTF-8"), nullptr)
      << "the tr_TR.UTF-8 locale is missing (scripts/test generates it)";
  const std::vector<TypeCase> cases = {
      {"BIGINT", 19},    {"DATETIME", 10},   {"SMALLINT", 2},         {"TINYINT(1)", 12},
      {"INT", 3},        {"INTEGER", 3},     {"MEDIUMINT", 3},        {"TIME", 9},
      {"TIMESTAMP", 10}, {"BINARY(16)", 14}, {"DOUBLE PRECISION", 7}, {"BIT", 12},
      {"LONGTEXT", 15},
  };
  for (const TypeCase& c : cases) {
    EXPECT_EQ(TypeCodeForDeclaredType(c.declared, TypeRules::kServer), c.code) << c.declared;
    EXPECT_EQ(TypeCodeForDeclaredType(c.declared, TypeRules::kSqlite), c.code) << c.declared;
  }
  EXPECT_TRUE(SameType(kUnknownTypeCode, "POINT", kUnknownTypeCode, "point"));
  // Engine names too.
  EXPECT_TRUE(EqualsIgnoringAsciiCase("SQLite", "SQLITE"));
  EXPECT_NE(CreateDatabase("SQLITE"), nullptr);
  EXPECT_NE(CreateDatabase("REALSERVER"), nullptr);
  std::setlocale(LC_ALL, before.c_str());
}

TEST(TypeCodes, LabelsCoverTheTwentyCodesAndNothingElse) {
  const std::vector<std::pair<long long, std::string>> cases = {
      {0, "0-Null"},
      {1, "1-Byte"},
      {2, "2-SmallInt"},
      {3, "3-Integer"},
      {4, "4-Char"},
      {5, "5-Text or VarChar"},
      {6, "6-Float"},
      {7, "7-Double"},
      {8, "8-Date"},
      {9, "9-Time"},
      {10, "10-TimeStamp"},
      {11, "11-Currency"},
      {12, "12-Boolean"},
      {13, "13-Decimal"},
      {14, "14-Binary"},
      {15, "15-Long Text (Blob)"},
      {16, "16-Long VarBinary (Blob)"},
      {17, "17-MacPict"},
      {18, "18-String"},
      {19, "19-Int64"},
      {20, "Unknown"},
      {-1, "Unknown"},
      {1LL << 40, "Unknown"},
  };
  for (const auto& [code, label] : cases) EXPECT_EQ(ConvertFieldType(code), label) << code;
}

}  // namespace
}  // namespace vantrix::db
