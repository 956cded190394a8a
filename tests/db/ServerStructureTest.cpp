// The whole structure of a MariaDB database and of a PostgreSQL schema, read
// from the real test servers: the shop of the fixture as each engine gives
// it back, the objects each engine makes or names on its own, and the cost
// in statements, which does not grow with the tables.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "db/MySQLCommunityServer.h"
#include "db/PostgreSQLServer.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/SchemaPrinting.h"
#include "support/SchemaReads.h"
#include "support/TempSqlite.h"

namespace vantrix::db {
namespace {

using Expected = std::map<std::string, std::string>;

std::string Fixture(const char* engine) {
  return test::ReadFile(std::string(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/") + engine +
                        ".sql");
}

std::unique_ptr<PostgreSQLServer> PostgresHandle(const test::PostgresServer& server,
                                                 const std::string& database) {
  auto db = std::make_unique<PostgreSQLServer>();
  db->Host = server.host;
  db->Port = server.port;
  db->UserName = server.user;
  db->Password = server.password;
  db->DatabaseName = database;
  return db;
}

// Reads the whole structure, checks each table against `expected` (by the
// printer of SchemaReads.h: names the engine made up show as "*"), that
// each table read alone is the same, and that the read took at most
// `statements` statements.
Schema ExpectStructure(Database& db, const Expected& expected, int statements) {
  const int before = db.StatementsSent();
  auto whole = db.WholeSchema(Detail::kStructure);
  EXPECT_TRUE(whole.has_value()) << db.ErrorMessage();
  if (!whole) return {};
  EXPECT_LE(db.StatementsSent() - before, statements);
  std::vector<std::string> names;
  for (const Table& t : whole->tables) {
    names.push_back(t.name);
    const auto it = expected.find(t.name);
    if (it == expected.end()) {
      ADD_FAILURE() << "unexpected table " << t.name;
      continue;
    }
    EXPECT_EQ(test::Structure(t), it->second) << t.name;
  }
  EXPECT_EQ(names.size(), expected.size());
  EXPECT_EQ(whole->tables, test::TableByTable(db, Detail::kStructure).tables);
  return *whole;
}

const Table& Named(const Schema& schema, const std::string& name) {
  for (const Table& t : schema.tables) {
    if (t.name == name) return t;
  }
  static const Table none;
  ADD_FAILURE() << "no table " << name;
  return none;
}

TEST(MariaDbStructure, TheFixtureReadsAsItsTextSays) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(server, "vx_structure", Fixture("mariadb"));
  auto db = test::MariaDbHandle(server, "vx_structure");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  // MariaDB's references restrict unless told otherwise; DEFAULT NULL is no
  // default; its generated
  // columns and checks quote their names; views name the database.
  const Schema schema = ExpectStructure(
      *db,
      {{"customers",
        "pk id\n"
        "auto-increment id\n"
        "default name: string anon\n"
        "default active: boolean true\n"
        "default score: number 0\n"
        "default created: now timestamp\n"
        "unique uq_customers_email (email)\n"
        "check ck_customers_score: `score` >= 0\n"},
       {"employees",
        "pk id\n"
        "fk fk_employees_manager (manager_id) -> employees (id) on delete SET NULL on update "
        "RESTRICT\n"},
       {"orders",
        "pk id\n"
        "default total: number 0\n"
        "default status: string new\n"
        "generated total_with_tax stored: `total` * 2\n"
        "index idx_orders_placed (placed desc, status)\n"
        "fk fk_orders_customer (customer_id) -> customers (id) on delete CASCADE on update "
        "RESTRICT\n"
        "trigger trg_orders_score AFTER INSERT\n"},
       {"order_lines",
        "pk order_id, line_no\n"
        "default qty: number 1\n"
        "index idx_lines_product (product, qty)\n"
        "fk fk_lines_order (order_id) -> orders (id) on delete CASCADE on update RESTRICT\n"
        "check ck_lines_qty: `qty` > 0\n"},
       {"shipments",
        "pk id\n"
        "fk fk_shipments_line (order_id, line_no) -> order_lines (order_id, line_no) on delete "
        "SET NULL on update CASCADE\n"},
       {"customer_totals",
        "view: select `vx_structure`.`orders`.`customer_id` AS "
        "`customer_id`,sum(`vx_structure`.`orders`.`total`) AS `spent` from "
        "`vx_structure`.`orders` group by `vx_structure`.`orders`.`customer_id`\n"}},
      8);
  // The indexes MariaDB made for three references are there, marked as
  // the references' own (the printer leaves them out).
  for (const auto& [table, index] : std::vector<std::pair<std::string, std::string>>{
           {"employees", "fk_employees_manager"},
           {"orders", "fk_orders_customer"},
           {"shipments", "fk_shipments_line"}}) {
    const Table& t = Named(schema, table);
    ASSERT_EQ(t.indexes.size(), table == "orders" ? 2U : 1U) << table;
    EXPECT_EQ(t.indexes.front().name, index);
    EXPECT_TRUE(t.indexes.front().backsForeignKey) << table;
  }
  const Table& orders = Named(schema, "orders");
  ASSERT_EQ(orders.triggers.size(), 1U);
  EXPECT_EQ(orders.triggers[0].body,
            "UPDATE customers SET score = score + 1 WHERE id = NEW.customer_id");
}

// What MariaDB adds or names on its own, and what it keeps apart.
TEST(MariaDbStructure, WhatTheServerMakesUpIsToldApart) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(
      server, "vx_structure_own",
      "CREATE TABLE p (id INT PRIMARY KEY, code VARCHAR(40) COLLATE utf8mb4_bin, body TEXT,"
      " FULLTEXT INDEX ft_body (body)) DEFAULT CHARSET utf8mb4 COLLATE utf8mb4_general_ci;"
      // Unnamed references: the server numbers them, and names the index it
      // makes after the column; an index of one's own on the other column
      // serves its reference and stays.
      "CREATE TABLE c (a INT, b INT, j JSON, n INT CHECK (n > 0),"
      " stamp TIMESTAMP NULL DEFAULT NULL ON UPDATE CURRENT_TIMESTAMP,"
      " half INT AS (n DIV 2) VIRTUAL, CHECK (a <> b),"
      " FOREIGN KEY (a) REFERENCES p (id), INDEX mine (b, a), FOREIGN KEY (b) REFERENCES p (id),"
      " INDEX code_prefix (j(10)));"
      // Names that differ only in letter case are two tables here.
      "CREATE TABLE Twin (x INT, INDEX upper_x (x)); CREATE TABLE twin (x INT, y INT,"
      " INDEX lower_y (y));");
  auto db = test::MariaDbHandle(server, "vx_structure_own");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  const Schema schema = ExpectStructure(
      *db,
      {{"p", "pk id\nindex ft_body (body) using fulltext\n"},
       {"c",
        // The JSON column's own check is part of its type.
        "generated half: `n` DIV 2\n"
        "index code_prefix (j)\n"
        "index mine (b, a)\n"
        "fk * (a) -> p (id) on delete RESTRICT on update RESTRICT\n"
        "fk * (b) -> p (id) on delete RESTRICT on update RESTRICT\n"
        "check *: `a` <> `b`\n"
        "check *: `n` > 0\n"},
       {"Twin", "index upper_x (x)\n"},
       {"twin", "index lower_y (y)\n"}},
      8);
  const Table& c = Named(schema, "c");
  ASSERT_EQ(c.indexes.size(), 3U);
  EXPECT_EQ(c.indexes[0].name, "a");
  EXPECT_TRUE(c.indexes[0].backsForeignKey);
  EXPECT_EQ(c.indexes[1].parts[0].prefixLength, 10);
  EXPECT_FALSE(c.indexes[2].backsForeignKey);
  ASSERT_EQ(c.columns.size(), 6U);
  EXPECT_TRUE(c.columns[4].onUpdateCurrentTime);
  EXPECT_FALSE(c.columns[5].generatedStored);
  // A collation of the column's own counts; the table's is the table's.
  const Table& p = Named(schema, "p");
  EXPECT_EQ(p.collation, "utf8mb4_general_ci");
  EXPECT_EQ(p.columns[1].collation, "utf8mb4_bin");
  EXPECT_EQ(p.columns[2].collation, "");
}

// A whole database's references come from InnoDB's own dictionary when
// the account may read it and its names are written there as they are; else
// from the standard tables. Wherever they come from, they read the same.
TEST(MariaDbStructure, ReferencesReadTheSameWhereverTheyComeFrom) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::RunMariaDbSql(server, "DROP DATABASE IF EXISTS vx_refs;");
  test::CreateMariaDbSchema(server, "vx_refs_far", "CREATE TABLE q (id INT PRIMARY KEY);");
  const std::string tables =
      "CREATE TABLE p (a INT, b INT, PRIMARY KEY (a, b), UNIQUE KEY (b));"
      "CREATE TABLE c (x INT, y INT, z INT,"
      " FOREIGN KEY (x, y) REFERENCES p (a, b) ON DELETE CASCADE ON UPDATE SET NULL,"
      // A name with a quote, and a comment that reads as a reference.
      " CONSTRAINT `Z``ed` FOREIGN KEY (z) REFERENCES p (b) ON DELETE NO ACTION,"
      " CONSTRAINT alpha FOREIGN KEY (z) REFERENCES c (x) ON DELETE SET NULL ON UPDATE CASCADE,"
      " CONSTRAINT `\xc3\xbc` FOREIGN KEY (y) REFERENCES p (b) ON UPDATE NO ACTION,"
      " FOREIGN KEY (z) REFERENCES vx_refs_far.q (id))"
      " COMMENT 'CONSTRAINT `Z``ed` FOREIGN KEY (`z`) REFERENCES `p` (`b`) ON DELETE CASCADE';";
  test::CreateMariaDbSchema(server, "vx_refs", tables);
  const std::string expected =
      "fk Z`ed (z) -> p (b) on delete NO ACTION on update RESTRICT\n"
      "fk alpha (z) -> c (x) on delete SET NULL on update CASCADE\n"
      "fk * (x, y) -> p (a, b) on delete CASCADE on update SET NULL\n"
      "fk * (z) -> vx_refs_far.q (id) on delete RESTRICT on update RESTRICT\n"
      "fk \xc3\xbc (y) -> p (b) on delete RESTRICT on update NO ACTION\n";
  // The account, and the statements the read takes: the table list,
  // columns, indexes, checks and triggers, and the references in one, two
  // or three. The dictionary serves large databases only; here it is let
  // serve two tables.
  const auto read = [&](const test::MariaDbServer& as, int statements,
                        std::size_t dictionaryFrom = 1) {
    auto db = test::MariaDbHandle(as, "vx_refs");
    db->DictionaryFromTables = dictionaryFrom;
    EXPECT_TRUE(db->Connect()) << db->ErrorMessage();
    const auto whole = db->WholeSchema(Detail::kStructure);
    EXPECT_TRUE(whole.has_value()) << db->ErrorMessage();
    if (!whole) return Schema{};
    EXPECT_EQ(db->StatementsSent(), statements + 1);  // and the session's read-only mark
    EXPECT_EQ(whole->tables, test::TableByTable(*db, Detail::kStructure).tables);
    return *whole;
  };
  const Schema fromDictionary = read(server, 6);
  EXPECT_EQ(test::Structure(Named(fromDictionary, "c")), expected);
  // A database of fewer tables than it takes is read the standard way.
  EXPECT_EQ(read(server, 7, 3).tables, fromDictionary.tables);

  // Accounts that may not read the dictionary (no PROCESS privilege). One
  // whose only privilege on a table is SELECT does not see its references'
  // actions in the standard tables either: they come from the table's
  // statement, one more for each such table.
  for (const auto& [privileges, statements] :
       std::vector<std::pair<std::string, int>>{{"SELECT", 9}, {"SELECT, SHOW VIEW", 8}}) {
    test::RunMariaDbSql(server,
                        "DROP USER IF EXISTS 'vx_refs_reader'@'127.0.0.1';"
                        "CREATE USER 'vx_refs_reader'@'127.0.0.1' IDENTIFIED BY 'r';"
                        "GRANT " + privileges + " ON vx_refs.* TO 'vx_refs_reader'@'127.0.0.1';"
                        "GRANT SELECT ON vx_refs_far.* TO 'vx_refs_reader'@'127.0.0.1';");
    test::MariaDbServer reader = server;
    reader.user = "vx_refs_reader";
    reader.password = "r";
    const Schema fromStandard = read(reader, statements);
    EXPECT_EQ(test::Structure(Named(fromStandard, "c")), expected) << privileges;
    EXPECT_EQ(fromStandard.tables, fromDictionary.tables) << privileges;
    // The window's read of one table, the same way.
    auto db = test::MariaDbHandle(reader, "vx_refs");
    ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
    const auto one = db->ReadTable("c", Detail::kStructure);
    ASSERT_TRUE(one.has_value()) << db->ErrorMessage();
    EXPECT_EQ(test::Structure(*one), expected) << privileges;
  }
  test::RunMariaDbSql(server, "DROP USER 'vx_refs_reader'@'127.0.0.1';");

  // A database whose name differs only in letter case, with a table of the
  // same name and a reference of its own: the dictionary compares names
  // without case, so it cannot tell them apart.
  test::CreateMariaDbSchema(server, "VX_REFS",
                            "CREATE TABLE p (b INT PRIMARY KEY); CREATE TABLE c (x INT,"
                            " CONSTRAINT twin_fk FOREIGN KEY (x) REFERENCES p (b));");
  EXPECT_EQ(read(server, 8).tables, fromDictionary.tables);
  test::RunMariaDbSql(server, "DROP DATABASE VX_REFS;");

  // A table whose name the dictionary writes otherwise.
  test::RunMariaDbSql(server, "CREATE TABLE vx_refs.`line-items` (b INT REFERENCES vx_refs.p (b));");
  const Schema named = read(server, 7);
  EXPECT_EQ(test::Structure(Named(named, "line-items")),
            "fk * (b) -> p (b) on delete RESTRICT on update RESTRICT\n");
  EXPECT_EQ(test::Structure(Named(named, "c")), test::Structure(Named(fromDictionary, "c")));
}

TEST(PostgresStructure, TheFixtureReadsAsItsTextSays) {
  VANTRIX_REQUIRE_POSTGRES(server);
  test::CreatePostgresDatabase(server, "vx_structure", Fixture("postgresql"));
  auto db = PostgresHandle(server, "vx_structure");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  // PostgreSQL keeps no DEFAULT NULL, writes expressions back in its own
  // words, and runs a trigger's statements in a function.
  const Schema schema = ExpectStructure(
      *db,
      {{"customers",
        "pk id\n"
        "auto-increment id\n"
        "default name: string anon\n"
        "default active: boolean true\n"
        "default score: number 0\n"
        "default created: now timestamp\n"
        "unique uq_customers_email (email)\n"
        "check ck_customers_score: (score >= 0)\n"},
       {"employees",
        "pk id\n"
        "fk fk_employees_manager (manager_id) -> employees (id) on delete SET NULL on update NO "
        "ACTION\n"},
       {"orders",
        "pk id\n"
        "default total: number 0\n"
        "default status: string new\n"
        "generated total_with_tax stored: (total * (2)::numeric)\n"
        "index idx_orders_placed (placed desc, status)\n"
        "fk fk_orders_customer (customer_id) -> customers (id) on delete CASCADE on update NO "
        "ACTION\n"
        "trigger trg_orders_score AFTER INSERT\n"},
       {"order_lines",
        "pk order_id, line_no\n"
        "default qty: number 1\n"
        "index idx_lines_product (product, qty)\n"
        "fk fk_lines_order (order_id) -> orders (id) on delete CASCADE on update NO ACTION\n"
        "check ck_lines_qty: (qty > 0)\n"},
       {"shipments",
        "pk id\n"
        "fk fk_shipments_line (order_id, line_no) -> order_lines (order_id, line_no) on delete "
        "SET NULL on update CASCADE\n"},
       {"customer_totals",
        "view: SELECT orders.customer_id,\n"
        "    sum(orders.total) AS spent\n"
        "   FROM orders\n"
        "  GROUP BY orders.customer_id\n"}},
      4);
  // Primary keys named table_pkey carry the name PostgreSQL gives them.
  for (const Table& t : schema.tables) EXPECT_EQ(t.primaryKeyName, "") << t.name;
  const Table& orders = Named(schema, "orders");
  ASSERT_EQ(orders.triggers.size(), 1U);
  EXPECT_EQ(orders.triggers[0].declared,
            "CREATE TRIGGER trg_orders_score AFTER INSERT ON public.orders FOR EACH ROW EXECUTE "
            "FUNCTION bump_score()");
  // What runs: the call, then the function's statements.
  EXPECT_NE(orders.triggers[0].body.find(
                "FOR EACH ROW EXECUTE FUNCTION bump_score()\n\nBEGIN\n  UPDATE customers"),
            std::string::npos)
      << orders.triggers[0].body;
}

// What PostgreSQL names on its own, and objects of other schemas.
TEST(PostgresStructure, WhatTheServerMakesUpIsToldApart) {
  VANTRIX_REQUIRE_POSTGRES(server);
  test::CreatePostgresDatabase(
      server, "vx_structure_own",
      "CREATE SCHEMA other; CREATE TABLE other.ref (id int PRIMARY KEY);"
      "CREATE TABLE \"Odd Name\" (id serial CONSTRAINT my_pk PRIMARY KEY,"
      " n text COLLATE \"C\" UNIQUE, m int CHECK (m > 0), r int REFERENCES other.ref,"
      " g int GENERATED ALWAYS AS IDENTITY);"
      "CREATE UNIQUE INDEX ON \"Odd Name\" (lower(n) DESC) WHERE m > 1;"
      "CREATE INDEX by_m ON \"Odd Name\" USING hash (m);"
      "CREATE FUNCTION f() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RETURN NEW; END$$;"
      "CREATE TRIGGER t BEFORE INSERT OR UPDATE ON \"Odd Name\" FOR EACH ROW EXECUTE FUNCTION "
      "f();"
      "CREATE TABLE other.hidden (id int PRIMARY KEY);");
  auto db = PostgresHandle(server, "vx_structure_own");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  const Schema schema = ExpectStructure(
      *db,
      {{"Odd Name",
        "pk id\n"
        "auto-increment id\n"
        "auto-increment g\n"
        "unique * ((lower(n)) desc) where (m > 1)\n"
        "unique * (n)\n"
        "index by_m (m) using hash\n"
        "fk * (r) -> other.ref (id) on delete NO ACTION on update NO ACTION\n"
        "check *: (m > 0)\n"
        "trigger t BEFORE INSERT OR UPDATE\n"}},
      4);
  const Table& odd = schema.tables.front();
  EXPECT_EQ(odd.primaryKeyName, "my_pk");
  EXPECT_EQ(odd.columns[1].collation, "C");
  EXPECT_EQ(odd.columns[0].defaultValue.kind, Default::Kind::kNone);

  // The other schema, read by name: its tables only.
  db->SchemaName = "other";
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  ExpectStructure(*db, {{"hidden", "pk id\n"}, {"ref", "pk id\n"}}, 4);
}

// The text of an index is made from its parts where the server's own would
// say the same, and asked of the server otherwise: either way, it is what
// pg_get_indexdef says, for indexes of every odd kind.
TEST(PostgresStructure, AnIndexReadsAsTheServerWritesIt) {
  VANTRIX_REQUIRE_POSTGRES(server);
  test::CreatePostgresDatabase(
      server, "vx_structure_indexdef",
      "CREATE TABLE \"Odd T\" (\"select\" text, \"Mixed\" int, plain text COLLATE \"C\","
      " n int, arr int[], nm name, \"we\"\"ird\" int);"
      "CREATE INDEX \"Odd I\" ON \"Odd T\" (\"select\" DESC NULLS LAST, \"Mixed\" NULLS FIRST);"
      "CREATE INDEX odd_desc ON \"Odd T\" (n DESC, \"we\"\"ird\");"
      "CREATE UNIQUE INDEX odd_unique ON \"Odd T\" (n, \"Mixed\");"
      "CREATE INDEX odd_include ON \"Odd T\" (\"Mixed\") INCLUDE (n);"
      "CREATE INDEX odd_collate ON \"Odd T\" (\"select\" COLLATE \"C\");"
      "CREATE INDEX odd_column_collation ON \"Odd T\" (plain);"
      "CREATE INDEX odd_opclass ON \"Odd T\" (\"select\" text_pattern_ops);"
      "CREATE INDEX odd_expression ON \"Odd T\" (lower(\"select\"), n);"
      "CREATE INDEX odd_partial ON \"Odd T\" (n) WHERE n > 0;"
      "CREATE INDEX odd_hash ON \"Odd T\" USING hash (n);"
      "CREATE INDEX odd_gin ON \"Odd T\" USING gin (arr);"
      "CREATE INDEX odd_name ON \"Odd T\" (nm);"
      "CREATE TABLE parted (id int, v int) PARTITION BY RANGE (id);"
      "CREATE TABLE parted_1 PARTITION OF parted FOR VALUES FROM (0) TO (10);"
      "CREATE INDEX parted_v ON parted (v);");
  auto db = PostgresHandle(server, "vx_structure_indexdef");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto expected = db->SelectSQL(
      "SELECT c.relname, ic.relname, pg_get_indexdef(i.indexrelid) FROM pg_index AS i"
      " JOIN pg_class AS c ON c.oid = i.indrelid JOIN pg_class AS ic ON ic.oid = i.indexrelid"
      " WHERE c.relnamespace = 'public'::regnamespace");
  ASSERT_NE(expected, nullptr) << db->ErrorMessage();
  std::map<std::pair<std::string, std::string>, std::string> theServers;
  for (; !expected->AfterLastRow(); expected->MoveToNextRow()) {
    theServers[{expected->ColumnAt(0).StringValue(), expected->ColumnAt(1).StringValue()}] =
        expected->ColumnAt(2).StringValue();
  }
  ASSERT_EQ(theServers.size(), 14u);
  const auto schema = db->WholeSchema(Detail::kStructure);
  ASSERT_TRUE(schema.has_value()) << db->ErrorMessage();
  std::size_t seen = 0;
  for (const Table& table : schema->tables) {
    for (const Index& index : table.indexes) {
      const auto it = theServers.find({table.name, index.name});
      ASSERT_NE(it, theServers.end()) << table.name << "." << index.name;
      EXPECT_EQ(index.declared, it->second) << table.name << "." << index.name;
      ++seen;
    }
    // One table alone reads the same.
    const auto one = db->ReadTable(table.name, Detail::kStructure);
    ASSERT_TRUE(one.has_value()) << db->ErrorMessage();
    EXPECT_EQ(one->indexes, table.indexes) << table.name;
  }
  EXPECT_EQ(seen, theServers.size());
}

// A reference's text is made from its parts where the server would write
// no more than them; each reads as pg_get_constraintdef writes it.
TEST(PostgresStructure, AReferenceReadsAsTheServerWritesIt) {
  VANTRIX_REQUIRE_POSTGRES(server);
  test::CreatePostgresDatabase(
      server, "vx_structure_fkdef",
      "CREATE SCHEMA other;"
      "CREATE TABLE other.far (id int PRIMARY KEY);"
      // Named as a table of the system catalog, which hides it.
      "CREATE TABLE public.pg_type (id int PRIMARY KEY);"
      "CREATE TABLE \"Parent T\" (\"Id\" int, \"select\" int, n int, PRIMARY KEY (\"Id\", n),"
      " UNIQUE (\"select\"));"
      "CREATE TABLE child (id int PRIMARY KEY, p int, q int, s int, \"we\"\"ird\" int, f int,"
      " up int REFERENCES child (id),"
      " CONSTRAINT plain FOREIGN KEY (p, q) REFERENCES \"Parent T\" (\"Id\", n),"
      " CONSTRAINT \"Quoted Name\" FOREIGN KEY (\"we\"\"ird\") REFERENCES \"Parent T\" (\"select\")"
      " ON DELETE CASCADE ON UPDATE SET NULL,"
      " CONSTRAINT restrictive FOREIGN KEY (s) REFERENCES \"Parent T\" (\"select\")"
      " ON DELETE RESTRICT ON UPDATE SET DEFAULT,"
      " CONSTRAINT full_match FOREIGN KEY (p, q) REFERENCES \"Parent T\" (\"Id\", n) MATCH FULL,"
      " CONSTRAINT defer_later FOREIGN KEY (s) REFERENCES \"Parent T\" (\"select\")"
      " DEFERRABLE INITIALLY DEFERRED,"
      " CONSTRAINT may_defer FOREIGN KEY (s) REFERENCES \"Parent T\" (\"select\") DEFERRABLE,"
      " CONSTRAINT some_null FOREIGN KEY (p, q) REFERENCES \"Parent T\" (\"Id\", n)"
      " ON DELETE SET NULL (q),"
      " CONSTRAINT far_away FOREIGN KEY (f) REFERENCES other.far (id),"
      " CONSTRAINT hidden FOREIGN KEY (f) REFERENCES public.pg_type (id));"
      "ALTER TABLE child ADD CONSTRAINT unchecked FOREIGN KEY (f) REFERENCES child (id) NOT VALID;");
  auto db = PostgresHandle(server, "vx_structure_fkdef");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto expected = db->SelectSQL(
      "SELECT conname, 'CONSTRAINT ' || conname || ' ' || pg_get_constraintdef(oid)"
      " FROM pg_constraint WHERE contype = 'f' AND conrelid = 'public.child'::regclass");
  ASSERT_NE(expected, nullptr) << db->ErrorMessage();
  std::map<std::string, std::string> theServers;
  for (; !expected->AfterLastRow(); expected->MoveToNextRow()) {
    theServers[expected->ColumnAt(0).StringValue()] = expected->ColumnAt(1).StringValue();
  }
  ASSERT_EQ(theServers.size(), 11u);
  const auto schema = db->WholeSchema(Detail::kStructure);
  ASSERT_TRUE(schema.has_value()) << db->ErrorMessage();
  const Table& child = Named(*schema, "child");
  ASSERT_EQ(child.foreignKeys.size(), theServers.size());
  for (const ForeignKey& key : child.foreignKeys) {
    EXPECT_EQ(key.declared, theServers[key.name]) << key.name;
  }
  const auto one = db->ReadTable("child", Detail::kStructure);
  ASSERT_TRUE(one.has_value()) << db->ErrorMessage();
  EXPECT_EQ(one->foreignKeys, child.foreignKeys);
}

// Three tables or a hundred: the same statements on both servers.
TEST(ServerStructure, TheCostDoesNotGrowWithTheTables) {
  VANTRIX_REQUIRE_MARIADB(mariadb);
  VANTRIX_REQUIRE_POSTGRES(postgres);
  for (const int tables : {3, 100}) {
    std::string sql;
    for (int i = 0; i < tables; ++i) {
      const std::string n = std::to_string(i);
      sql += "CREATE TABLE t" + n + " (id INT PRIMARY KEY, v VARCHAR(9) DEFAULT 'x' CHECK (v <> ''),"
             " p INT REFERENCES t0 (id)); CREATE INDEX i" + n + " ON t" + n + " (v);";
    }
    const std::string name = "vx_structure_cost" + std::to_string(tables);
    test::CreateMariaDbSchema(mariadb, name, sql);
    test::CreatePostgresDatabase(postgres, name, sql);
    std::vector<std::unique_ptr<Database>> both;
    both.push_back(test::MariaDbHandle(mariadb, name));
    both.push_back(PostgresHandle(postgres, name));
    for (auto& db : both) {
      ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
      const int before = db->StatementsSent();
      auto whole = db->WholeSchema(Detail::kStructure);
      ASSERT_TRUE(whole.has_value()) << db->ErrorMessage();
      ASSERT_EQ(whole->tables.size(), static_cast<std::size_t>(tables));
      EXPECT_EQ(test::Structure(Named(*whole, "t" + std::to_string(tables - 1))),
                "pk id\ndefault v: string x\nindex i" + std::to_string(tables - 1) +
                    " (v)\nfk * (p) -> t0 (id) on delete " +
                    (db.get() == both.front().get() ? "RESTRICT on update RESTRICT"
                                                     : "NO ACTION on update NO ACTION") +
                    "\ncheck *: " +
                    (db.get() == both.front().get() ? "`v` <> ''" : "((v)::text <> ''::text)") +
                    "\n");
      // MariaDB asks for views only when the tables read name one: here none.
      EXPECT_EQ(db->StatementsSent() - before, db.get() == both.front().get() ? 7 : 4);
    }
  }
}

}  // namespace
}  // namespace vantrix::db
