#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compare/Rules.h"
#include "db/TypeCodes.h"

namespace vantrix::compare {
namespace {

struct RuleCase {
  const char* what;
  FieldList db1;
  FieldList db2;
  bool differ;
  std::vector<std::string> notes;  // one per DB 1 field
};

// A field with a type from the table: its declaration does not matter.
Field F(const char* name, int code, const char* declared = "") {
  return Field{name, code, declared, false, false};
}

const std::string kBothOk = "Field name OK  - Field type OK";
const std::string kTypeDiffers = "Field name OK  - Field type NOT OK";
const std::string kMissing = "Field name NOT OK  - Field type NOT OK";

TEST(CompareRules, FieldsAreMatchedByNameThenTypeCode) {
  const std::vector<RuleCase> cases = {
      {"same fields",
       {F("id", 3), F("name", 5)},
       {F("id", 3), F("name", 5)},
       false,
       {kBothOk, kBothOk}},
      {"other order",
       {F("id", 3), F("name", 5)},
       {F("name", 5), F("id", 3)},
       false,
       {kBothOk, kBothOk}},
      {"extra DB 2 fields", {F("id", 3)}, {F("x", 1), F("id", 3), F("y", 2)}, false, {kBothOk}},
      {"name case counts", {F("Id", 3)}, {F("id", 3)}, true, {kMissing}},
      {"same name, other code",
       {F("id", 3), F("n", 5)},
       {F("id", 19), F("n", 5)},
       true,
       {kTypeDiffers, kBothOk}},
      {"another field with the equal code does not help",
       {F("id", 3)},
       {F("code", 3), F("id", 5)},
       true,
       {kTypeDiffers}},
      {"first same-named DB 2 field decides (differs)",
       {F("a", 3)},
       {F("a", 5), F("a", 3)},
       true,
       {kTypeDiffers}},
      {"first same-named DB 2 field decides (equal)",
       {F("a", 3)},
       {F("a", 3), F("a", 5)},
       false,
       {kBothOk}},
      {"empty DB 1 schema", {}, {F("id", 3)}, false, {}},
      {"both empty", {}, {}, false, {}},
      {"empty DB 2 schema", {F("id", 3), F("n", 5)}, {}, true, {kMissing, kMissing}},
      {"duplicate DB 1 fields each get a row",
       {F("a", 3), F("a", 5)},
       {F("a", 3)},
       true,
       {kBothOk, kTypeDiffers}},
      {"names are exact bytes",
       {F("naïve", 5), F("x ", 5)},
       {F("naïve", 5), F("x", 5)},
       true,
       {kBothOk, kMissing}},
      // A server type outside the table agrees only with the same declaration.
      {"int changed to point",
       {F("p", 3, "int")},
       {F("p", db::kUnknownTypeCode, "point")},
       true,
       {kTypeDiffers}},
      {"the same unknown type",
       {F("p", db::kUnknownTypeCode, "POINT")},
       {F("p", db::kUnknownTypeCode, "point")},
       false,
       {kBothOk}},
      {"two unknown types",
       {F("g", db::kUnknownTypeCode, "geometry")},
       {F("g", db::kUnknownTypeCode, "polygon")},
       true,
       {kTypeDiffers}},
  };
  for (const RuleCase& c : cases) {
    EXPECT_EQ(FieldsDiffer(c.db1, c.db2), c.differ) << c.what;
    std::vector<std::string> notes;
    for (const FieldVerdict& v : CompareFields(c.db1, c.db2)) notes.push_back(FieldNote(v));
    EXPECT_EQ(notes, c.notes) << c.what;
  }
}

TEST(CompareRules, VerdictsFollowDb1Order) {
  const auto verdicts = CompareFields({F("z", 1), F("a", 2), F("m", 3)}, {F("a", 2), F("m", 4)});
  ASSERT_EQ(verdicts.size(), 3U);
  EXPECT_EQ(verdicts[0], (FieldVerdict{"z", false, false, {"", 1}, std::nullopt}));
  EXPECT_EQ(verdicts[1], (FieldVerdict{"a", true, true, {"", 2}, FieldType{"", 2}}));
  EXPECT_EQ(verdicts[2], (FieldVerdict{"m", true, false, {"", 3}, FieldType{"", 4}}));
}

// A field with a default as its engine declares it.
Field WithDefault(Field field, db::Default::Kind kind, const char* declared) {
  field.defaultValue = db::Default{kind, "", declared};
  return field;
}

// Each verdict carries the types it was reached on: DB 1's field and the
// first DB 2 field of the same name, the one that decided, each with its
// default as declared when it has one (DEFAULT NULL is one).
TEST(CompareRules, VerdictsCarryTheTypesBehindThem) {
  using Kind = db::Default::Kind;
  const auto verdicts = CompareFields(
      {WithDefault(F("id", 3, "INTEGER"), Kind::kNumber, "0"),
       F("geo", db::kUnknownTypeCode, "point"), F("gone", 5, "TEXT")},
      {WithDefault(F("geo", db::kUnknownTypeCode, "POINT"), Kind::kNull, "NULL"),
       F("id", 19, "bigint"), WithDefault(F("id", 3, "int(11)"), Kind::kNumber, "1")});
  ASSERT_EQ(verdicts.size(), 3U);
  EXPECT_EQ(verdicts[0],
            (FieldVerdict{"id", true, false, {"INTEGER", 3, "0"}, FieldType{"bigint", 19}}));
  EXPECT_EQ(verdicts[1], (FieldVerdict{"geo",
                                       true,
                                       true,
                                       {"point", db::kUnknownTypeCode},
                                       FieldType{"POINT", db::kUnknownTypeCode, "NULL"}}));
  EXPECT_EQ(verdicts[2], (FieldVerdict{"gone", false, false, {"TEXT", 5}, std::nullopt}));
}

TEST(CompareRules, TableLookupTakesTheExactNameThenTheFirstMatchIgnoringCase) {
  const TableIndex index({"users", "Orders", "ORDERS", "Straße", "ÉTÉ"});
  struct Case {
    const char* name;
    std::optional<std::size_t> found;
  };
  const std::vector<Case> cases = {
      {"Users", 0},       {"users", 0},
      {"USERS", 0},       {"orders", 1},
      {"Orders", 1},      {"STRAßE", 3},
      {"été", 4},         {"user", std::nullopt},
      {"", std::nullopt}, {"users ", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(index.Find(c.name), c.found) << c.name;

  // Case twins on a server that tells them apart: each finds its own.
  const TableIndex twins({"USERS", "users", "Users"});
  const std::vector<Case> twinCases = {
      {"USERS", 0},
      {"users", 1},
      {"Users", 2},
      {"uSers", 0},
  };
  for (const Case& c : twinCases) EXPECT_EQ(twins.Find(c.name), c.found) << c.name;

  // Names that are not UTF-8 (SQLite keeps any bytes) match only their own
  // bytes, not every other name that would show the same replacement mark.
  const TableIndex bytes({"caf\xE9", "CAF\xE8", "x\xC3"});
  const std::vector<Case> byteCases = {
      {"caf\xE9", 0},
      {"CAF\xE8", 1},
      {"caf\xE8", std::nullopt},
      {"CAF\xE9", std::nullopt},
      {"caf\xEF\xBF\xBD", std::nullopt},
      {"x\xC3", 2},
      {"X\xC3", std::nullopt},
  };
  for (const Case& c : byteCases) EXPECT_EQ(bytes.Find(c.name), c.found) << c.name;
}

TEST(CompareRules, FieldsOfReadsNameAndCodeAndRewinds) {
  db::RecordSet schema({"ColumnName", "FieldType", "DeclaredType", "NotNull", "PrimaryKey"},
                       {{db::DatabaseField("id"), db::DatabaseField("3"), db::DatabaseField("int"),
                         db::DatabaseField("1"), db::DatabaseField("1")},
                        {db::DatabaseField("t"), db::DatabaseField(), db::DatabaseField(""),
                         db::DatabaseField("0"), db::DatabaseField()},
                        {db::DatabaseField("p"), db::DatabaseField("-1"),
                         db::DatabaseField("point"), db::DatabaseField(), db::DatabaseField()}});
  schema.MoveNext();
  EXPECT_EQ(FieldsOf(schema), (FieldList{{"id", 3, "int", true, true},
                                         {"t", 0, "", false, false},
                                         {"p", db::kUnknownTypeCode, "point", false, false}}));
  EXPECT_FALSE(schema.IsEOF());
  EXPECT_EQ(schema.IdxField(1).StringValue(), "id");
}

TEST(CompareRules, NotesForEachOutcome) {
  EXPECT_STREQ(NoteFor(TableOutcome::Ok), "Table ok");
  EXPECT_STREQ(NoteFor(TableOutcome::Missing), "Table NOT ok");
  EXPECT_STREQ(NoteFor(TableOutcome::FieldsDiffer), "Fields not ok");
  EXPECT_STREQ(NoteFor(TableOutcome::NotChecked), "Table not checked");
}

}  // namespace
}  // namespace vantrix::compare
