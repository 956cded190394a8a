// Defaults, expressions and actions as each engine spells them, turned into
// values that mean the same: the false differences other tools report are
// the cases here.
#include "db/Defaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrix::db {
namespace {

using Kind = Default::Kind;

TEST(Defaults, EachSpellingMeansItsValue) {
  struct Case {
    const char* declared;
    int typeCode;
    Kind kind;
    const char* value;
  };
  const std::vector<Case> cases = {
      {"", 3, Kind::kNone, ""},
      {"NULL", 5, Kind::kNull, ""},
      {"NULL::character varying", 5, Kind::kNull, ""},
      {"0", 3, Kind::kNumber, "0"},
      {"'0'", 3, Kind::kNumber, "0"},
      {"0.0", 13, Kind::kNumber, "0"},
      {"((0))", 3, Kind::kNumber, "0"},
      {"'1.50'::numeric", 13, Kind::kNumber, "1.5"},
      {"-007.10", 7, Kind::kNumber, "-7.1"},
      {"'abc'", 5, Kind::kString, "abc"},
      {"'abc'::character varying", 5, Kind::kString, "abc"},
      {"'it''s'", 5, Kind::kString, "it's"},
      {"N'x'", 5, Kind::kString, "x"},
      {"'0'", 5, Kind::kString, "0"},  // a string on a text column stays one
      {"TRUE", 12, Kind::kBoolean, "true"},
      {"1", 12, Kind::kBoolean, "true"},
      {"'0'", 12, Kind::kBoolean, "false"},
      {"b'1'", 12, Kind::kBoolean, "true"},
      {"false", 12, Kind::kBoolean, "false"},
      {"'t'", 12, Kind::kBoolean, "true"},
      {"CURRENT_TIMESTAMP", 10, Kind::kCurrentTime, "timestamp"},
      {"current_timestamp()", 10, Kind::kCurrentTime, "timestamp"},
      {"CURRENT_TIMESTAMP(0)", 10, Kind::kCurrentTime, "timestamp"},
      {"now()", 10, Kind::kCurrentTime, "timestamp"},
      {"CURRENT_DATE", 8, Kind::kCurrentTime, "date"},
      {"curdate()", 8, Kind::kCurrentTime, "date"},
      {"lower('X')", 5, Kind::kExpression, "lower('X')"},
      {"(random() * 10)", 7, Kind::kExpression, "random() * 10"},
  };
  for (const Case& c : cases) {
    const Default d = ParseDefault(c.declared, c.typeCode);
    EXPECT_EQ(d.kind, c.kind) << c.declared;
    EXPECT_EQ(d.value, c.value) << c.declared;
  }
}

TEST(Defaults, SameMeaningIsTheSameDefault) {
  struct Case {
    const char* a;
    const char* b;
    int typeCode;
    bool same;
  };
  const std::vector<Case> cases = {
      {"", "NULL", 5, true},
      {"0", "'0'", 3, true},
      {"'abc'", "'abc'::character varying", 5, true},
      {"TRUE", "1", 12, true},
      {"now()", "CURRENT_TIMESTAMP", 10, true},
      {"CURRENT_DATE", "CURRENT_TIMESTAMP", 10, false},
      {"LOWER( 'X' )", "lower('X')", 5, true},
      {"lower('X')", "lower('x')", 5, false},
      {"1", "2", 3, false},
      {"", "0", 3, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameDefault(ParseDefault(c.a, c.typeCode), ParseDefault(c.b, c.typeCode)), c.same)
        << c.a << " / " << c.b;
  }
}

TEST(Defaults, ExpressionsAndActionsAreComparedByMeaning) {
  EXPECT_EQ(NormalizedExpression("(`price` >  0)"), NormalizedExpression("price>0"));
  EXPECT_EQ(NormalizedExpression("CHECK_ME( a , 'A  b' )"), "check_me(a,'A  b')");
  EXPECT_EQ(NormalizedExpression("select `shop`.`t`.`a` from `shop`.`t`", "shop"),
            "select t.a from t");
  EXPECT_NE(NormalizedExpression("a > 0"), NormalizedExpression("a >= 0"));
  EXPECT_EQ(NormalizedAction("set  null"), "SET NULL");
  EXPECT_EQ(NormalizedAction(""), "NO ACTION");
  EXPECT_EQ(NormalizedAction("Cascade"), "CASCADE");
}

}  // namespace
}  // namespace vantrix::db
