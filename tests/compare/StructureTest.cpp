// The structure rules: each kind of object changed one at a time finds
// exactly that change, names count only where they should, and what is
// equal in meaning is no difference.
#include "compare/Findings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "db/SQLiteDatabase.h"
#include "support/TempSqlite.h"

namespace vantrix::compare {
namespace {

const std::string kShop =
    test::ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/sqlite.sql");

db::Schema Read(const std::string& sql) {
  test::TempSqlite file(sql);
  db::SQLiteDatabase db;
  db.DatabaseFile = file.path();
  EXPECT_TRUE(db.Connect()) << db.ErrorMessage();
  auto schema = db.WholeSchema(db::Detail::kStructure);
  EXPECT_TRUE(schema.has_value()) << db.ErrorMessage();
  if (!schema) return {};
  schema->engine = "SQLite";
  return *schema;
}

// The shop with `from` replaced by `to` (which must be in it).
std::string Changed(const std::string& from, const std::string& to) {
  std::string sql = kShop;
  const std::size_t at = sql.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) sql.replace(at, from.size(), to);
  return sql;
}

// "table: object name change", one line per finding, "note " before one that
// does not count.
std::vector<std::string> Lines(const Findings& findings) {
  std::vector<std::string> lines;
  for (const TableFinding& t : findings.tables) {
    for (const StructureFinding& f : t.structure) {
      lines.push_back(std::string(f.counts ? "" : "note ") + t.Name() + ": " +
                      ObjectName(f.object) + " " + f.name + " " + ChangeName(f.change));
    }
  }
  return lines;
}

TEST(Structure, EachChangeIsFoundAndNothingElse) {
  struct Case {
    const char* what;
    std::string db2;
    std::vector<std::string> found;
    bool strict = false;
  };
  const std::vector<Case> cases = {
      {"the same", kShop, {}},
      {"an index dropped",
       Changed("CREATE INDEX idx_lines_product ON order_lines (product, qty);", ""),
       {"order_lines: index idx_lines_product only_in_db1"}},
      {"an index's columns in another order",
       Changed("(product, qty);", "(qty, product);"),
       {"order_lines: index idx_lines_product only_in_db1",
        "order_lines: index idx_lines_product only_in_db2"}},
      {"an index's direction", Changed("(placed DESC, status)", "(placed, status)"),
       {"orders: index idx_orders_placed only_in_db1",
        "orders: index idx_orders_placed only_in_db2"}},
      {"a unique index added", kShop + "CREATE UNIQUE INDEX uq_sent ON shipments (sent);",
       {"shipments: unique uq_sent only_in_db2"}},
      {"a unique constraint made a plain index",
       Changed("  CONSTRAINT uq_customers_email UNIQUE (email),\n", "") +
           "CREATE INDEX uq_customers_email ON customers (email);",
       {"customers: unique uq_customers_email only_in_db1",
        "customers: index uq_customers_email only_in_db2"}},
      {"a foreign key's action", Changed("ON DELETE SET NULL\n);", "ON DELETE CASCADE\n);"),
       {"employees: foreign_key fk_employees_manager differs"}},
      {"a foreign key dropped",
       Changed(",\n  CONSTRAINT fk_lines_order FOREIGN KEY (order_id) REFERENCES orders (id) ON "
               "DELETE CASCADE",
               ""),
       {"order_lines: foreign_key fk_lines_order only_in_db1"}},
      {"a default", Changed("DEFAULT 'new'", "DEFAULT 'open'"),
       {"orders: default status differs"}},
      {"a default dropped", Changed("qty INTEGER NOT NULL DEFAULT 1", "qty INTEGER NOT NULL"),
       {"order_lines: default qty only_in_db1"}},
      {"a check dropped", Changed(",\n  CONSTRAINT ck_lines_qty CHECK (qty > 0)", ""),
       {"order_lines: check ck_lines_qty only_in_db1"}},
      {"a check rewritten", Changed("CHECK (qty > 0)", "CHECK (qty >= 0)"),
       {"order_lines: check ck_lines_qty only_in_db1", "order_lines: check ck_lines_qty only_in_db2"}},
      {"a view rewritten", Changed("SUM(total) AS spent", "MAX(total) AS spent"),
       {"customer_totals: view_definition  differs"}},
      {"a trigger dropped",
       Changed("CREATE TRIGGER trg_orders_score AFTER INSERT ON orders\nBEGIN\n  UPDATE customers "
               "SET score = score + 1 WHERE id = NEW.customer_id;\nEND;",
               ""),
       {"orders: trigger trg_orders_score only_in_db1"}},
      {"a trigger's timing", Changed("trg_orders_score AFTER INSERT", "trg_orders_score BEFORE INSERT"),
       {"orders: trigger trg_orders_score differs"}},
      {"a primary key of fewer columns",
       Changed("PRIMARY KEY (order_id, line_no)", "PRIMARY KEY (order_id, line_no, product)"),
       {"order_lines: primary_key  differs"}},
      {"a generated column's expression", Changed("(total * 2) STORED", "(total * 3) STORED"),
       {"orders: generated total_with_tax differs"}},
      {"auto-increment dropped", Changed("PRIMARY KEY AUTOINCREMENT", "PRIMARY KEY"),
       {"customers: auto_increment id only_in_db1"}},
      // Spelled otherwise, meaning the same.
      {"the same, written otherwise",
       Changed("DEFAULT TRUE", "DEFAULT 1") ,
       {}},
      {"a check written otherwise", Changed("CHECK (qty > 0)", "CHECK ( QTY>0 )"), {}},
      // Names count only with --strict.
      {"an index renamed", Changed("idx_lines_product", "idx_product_qty"), {}},
      {"an index renamed, strict", Changed("idx_lines_product", "idx_product_qty"),
       {"order_lines: index idx_lines_product differs"}, true},
      {"a check renamed, strict", Changed("ck_lines_qty", "ck_qty"),
       {"order_lines: check ck_lines_qty differs"}, true},
  };
  const db::Schema db1 = Read(kShop);
  for (const Case& c : cases) {
    FindingsOptions options;
    options.strict = c.strict;
    const Findings findings = FindDifferences(db1, Read(c.db2), options);
    EXPECT_EQ(Lines(findings), c.found) << c.what;
    EXPECT_EQ(findings.HasDifferences(), !c.found.empty()) << c.what;
    EXPECT_EQ(findings.counts.structureDifferences, static_cast<int>(c.found.size())) << c.what;
  }
}

// A view whose query the account may not see reads with an empty one: a
// note, never a difference, and never "the same" unseen.
TEST(Structure, AViewsHiddenQueryIsANote) {
  const db::Schema shown = Read(kShop);
  db::Schema hidden = shown;
  for (db::Table& t : hidden.tables) {
    if (t.view) t.viewDefinition.clear();
  }
  for (const auto& [what, db1, db2] :
       std::vector<std::tuple<const char*, const db::Schema*, const db::Schema*>>{
           {"hidden in DB 2", &shown, &hidden},
           {"hidden in DB 1", &hidden, &shown},
           {"hidden in both", &hidden, &hidden}}) {
    const Findings findings = FindDifferences(*db1, *db2, FindingsOptions{});
    EXPECT_EQ(Lines(findings),
              std::vector<std::string>{"note customer_totals: view_definition  not_comparable"})
        << what;
    EXPECT_FALSE(findings.HasDifferences()) << what;
  }
}

TEST(Structure, KindsCanBeLeftOutAndOneWayNeverComparesThem) {
  const db::Schema db1 = Read(kShop);
  const db::Schema db2 = Read(Changed("DEFAULT 'new'", "DEFAULT 'open'"));
  FindingsOptions ignoring;
  ignoring.ignore = {Ignorable::kDefaults};
  EXPECT_FALSE(FindDifferences(db1, db2, ignoring).HasDifferences());
  FindingsOptions columnsOnly;
  columnsOnly.structure = false;
  EXPECT_FALSE(FindDifferences(db1, db2, columnsOnly).HasDifferences());
  FindingsOptions oneWay;
  oneWay.oneWay = true;
  EXPECT_FALSE(FindDifferences(db1, db2, oneWay).HasDifferences());
  EXPECT_TRUE(FindDifferences(db1, db2, {}).HasDifferences());
}

}  // namespace
}  // namespace vantrix::compare
