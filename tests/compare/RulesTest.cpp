#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compare/Rules.h"

namespace vantrix::compare {
namespace {

struct RuleCase {
  const char* what;
  FieldList db1;
  FieldList db2;
  bool differ;
  std::vector<std::string> notes;  // one per DB 1 field
};

const std::string kBothOk = "Field name OK  - Field type OK";
const std::string kTypeDiffers = "Field name OK  - Field type NOT OK";
const std::string kMissing = "Field name NOT OK  - Field type NOT OK";

TEST(CompareRules, FieldsAreMatchedByNameThenTypeCode) {
  const std::vector<RuleCase> cases = {
      {"same fields", {{"id", 3}, {"name", 5}}, {{"id", 3}, {"name", 5}}, false, {kBothOk, kBothOk}},
      {"other order", {{"id", 3}, {"name", 5}}, {{"name", 5}, {"id", 3}}, false, {kBothOk, kBothOk}},
      {"extra DB 2 fields", {{"id", 3}}, {{"x", 1}, {"id", 3}, {"y", 2}}, false, {kBothOk}},
      {"name case counts", {{"Id", 3}}, {{"id", 3}}, true, {kMissing}},
      {"same name, other code", {{"id", 3}, {"n", 5}}, {{"id", 19}, {"n", 5}}, true,
       {kTypeDiffers, kBothOk}},
      {"another field with the equal code does not help", {{"id", 3}}, {{"code", 3}, {"id", 5}},
       true, {kTypeDiffers}},
      {"first same-named DB 2 field decides (differs)", {{"a", 3}}, {{"a", 5}, {"a", 3}}, true,
       {kTypeDiffers}},
      {"first same-named DB 2 field decides (equal)", {{"a", 3}}, {{"a", 3}, {"a", 5}}, false,
       {kBothOk}},
      {"empty DB 1 schema", {}, {{"id", 3}}, false, {}},
      {"both empty", {}, {}, false, {}},
      {"empty DB 2 schema", {{"id", 3}, {"n", 5}}, {}, true, {kMissing, kMissing}},
      {"duplicate DB 1 fields each get a row", {{"a", 3}, {"a", 5}}, {{"a", 3}}, true,
       {kBothOk, kTypeDiffers}},
      {"names are exact bytes", {{"naïve", 5}, {"x ", 5}}, {{"naïve", 5}, {"x", 5}}, true,
       {kBothOk, kMissing}},
  };
  for (const RuleCase& c : cases) {
    EXPECT_EQ(FieldsDiffer(c.db1, c.db2), c.differ) << c.what;
    std::vector<std::string> notes;
    for (const FieldVerdict& v : CompareFields(c.db1, c.db2)) notes.push_back(FieldNote(v));
    EXPECT_EQ(notes, c.notes) << c.what;
  }
}

TEST(CompareRules, VerdictsFollowDb1Order) {
  const auto verdicts = CompareFields({{"z", 1}, {"a", 2}, {"m", 3}}, {{"a", 2}, {"m", 4}});
  ASSERT_EQ(verdicts.size(), 3U);
  EXPECT_EQ(verdicts[0], (FieldVerdict{"z", false, false}));
  EXPECT_EQ(verdicts[1], (FieldVerdict{"a", true, true}));
  EXPECT_EQ(verdicts[2], (FieldVerdict{"m", true, false}));
}

TEST(CompareRules, TableLookupIgnoresLetterCaseAndTakesTheFirstMatch) {
  const TableIndex index({"users", "Orders", "ORDERS", "Straße", "ÉTÉ"});
  struct Case {
    const char* name;
    std::optional<std::size_t> found;
  };
  const std::vector<Case> cases = {
      {"Users", 0}, {"users", 0}, {"USERS", 0}, {"orders", 1}, {"Orders", 1},
      {"STRAßE", 3}, {"été", 4}, {"user", std::nullopt}, {"", std::nullopt},
      {"users ", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(index.Find(c.name), c.found) << c.name;
}

TEST(CompareRules, FieldsOfReadsNameAndCodeAndRewinds) {
  db::RecordSet schema({"ColumnName", "FieldType", "DeclaredType"},
                       {{db::DatabaseField("id"), db::DatabaseField("3"), db::DatabaseField("int")},
                        {db::DatabaseField("t"), db::DatabaseField(), db::DatabaseField("")}});
  schema.MoveNext();
  EXPECT_EQ(FieldsOf(schema), (FieldList{{"id", 3}, {"t", 0}}));
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
