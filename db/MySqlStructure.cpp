// The whole structure of a MySQL or MariaDB database, from the information
// schema: one statement each for indexes, references, checks, views and
// triggers, whatever the number of tables.
#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>

#include "db/Ascii.h"
#include "db/Defaults.h"
#include "db/MySQLCommunityServer.h"

namespace vantrix::db {
namespace {

// Where a named column stands in a row: MariaDB and MySQL do not give the
// same columns everywhere.
std::size_t At(const std::vector<std::string>& names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (EqualsIgnoringAsciiCase(names[i], name)) return i;
  }
  return names.size();
}

std::string Text(const Row& row, std::size_t at) {
  return at < row.size() ? row[at].StringValue() : std::string();
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

// Whether `name` is `prefix` followed by a number: the names the server
// gives keys and checks that were not named (orders_ibfk_1, CONSTRAINT_1,
// orders_chk_1).
bool NumberedName(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || !EqualsIgnoringAsciiCase(name.substr(0, prefix.size()), prefix)) {
    return false;
  }
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::string Upper(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

std::string IndexDeclared(const Index& index) {
  std::vector<std::string> parts;
  for (const IndexPart& part : index.parts) {
    std::string text = part.column;
    if (part.prefixLength > 0) text += "(" + std::to_string(part.prefixLength) + ")";
    if (part.descending) text += " DESC";
    parts.push_back(text);
  }
  std::string kind = index.unique ? "UNIQUE INDEX " : "INDEX ";
  if (!index.method.empty() && index.method != "hash") kind = Upper(index.method) + " " + kind;
  return kind + index.name + " (" + Joined(parts) + ")";
}

}  // namespace

bool MySQLCommunityServer::ReadStructure(Schema& schema, const TableCondition& where) {
  std::unordered_map<std::string, Table*> byName;
  for (Table& table : schema.tables) byName.emplace(table.name, &table);
  const auto tableNamed = [&](const std::string& name) -> Table* {
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
  };

  // 1. Indexes, the primary key among them, part by part. MariaDB would
  // also read its own statistics tables for each table (its cardinality
  // column, which is not asked for): four fifths of the statement's time.
  const bool indexesRead = QueryEach(
      std::string(statementVariables_ ? "SET STATEMENT use_stat_tables = 'NEVER' FOR " : "") +
          "SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME, SUB_PART, INDEX_TYPE, COLLATION "
          "FROM information_schema.STATISTICS WHERE " +
          where("TABLE_SCHEMA", "TABLE_NAME") +
          " ORDER BY TABLE_NAME, BINARY TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX",
      [&](const Row& r) {
        Table* table = tableNamed(Text(r, 0));
        if (!table) return;
        const std::string name = Text(r, 1);
        if (name == "PRIMARY") {
          table->primaryKey.push_back(Text(r, 3));
          for (Column& column : table->columns) {
            if (column.name == Text(r, 3)) column.primaryKey = true;
          }
          return;
        }
        if (table->indexes.empty() || table->indexes.back().name != name) {
          Index index;
          index.name = name;
          index.unique = Text(r, 2) == "0";
          // A UNIQUE constraint is a unique index on this engine.
          index.constraint = index.unique;
          const std::string method = AsciiLower(Text(r, 5));
          if (method != "btree") index.method = method;
          table->indexes.push_back(std::move(index));
        }
        IndexPart part;
        part.column = Text(r, 3);
        part.descending = Text(r, 6) == "D";
        if (!r[4].IsNull()) part.prefixLength = static_cast<int>(r[4].IntegerValue());
        table->indexes.back().parts.push_back(std::move(part));
      });
  if (!indexesRead) return false;

  // 2. References: their actions, then their columns. Two statements, as
  // MariaDB joins two information_schema tables slowly (a second for a
  // thousand tables).
  std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> actions;
  const bool actionsRead = QueryEach(
      "SELECT TABLE_NAME, CONSTRAINT_NAME, UPDATE_RULE, DELETE_RULE "
      "FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE " +
          where("CONSTRAINT_SCHEMA", "TABLE_NAME"),
      [&](const Row& r) {
        actions[{Text(r, 0), Text(r, 1)}] = {Text(r, 2), Text(r, 3)};
      });
  if (!actionsRead) return false;
  const bool keysRead = QueryEach(
      "SELECT TABLE_NAME, CONSTRAINT_NAME, COLUMN_NAME, REFERENCED_TABLE_SCHEMA, "
      "REFERENCED_TABLE_NAME, REFERENCED_COLUMN_NAME, TABLE_SCHEMA "
      "FROM information_schema.KEY_COLUMN_USAGE WHERE " +
          where("TABLE_SCHEMA", "TABLE_NAME") +
          " AND REFERENCED_TABLE_NAME IS NOT NULL "
          "ORDER BY TABLE_NAME, BINARY TABLE_NAME, CONSTRAINT_NAME, ORDINAL_POSITION",
      [&](const Row& r) {
        Table* table = tableNamed(Text(r, 0));
        if (!table) return;
        const std::string name = Text(r, 1);
        if (table->foreignKeys.empty() || table->foreignKeys.back().name != name) {
          ForeignKey key;
          key.name = name;
          key.engineNamed = NumberedName(name, table->name + "_ibfk_");
          // A table of another database is named with its database.
          key.referencedTable = Text(r, 3) == Text(r, 6) ? Text(r, 4) : Text(r, 3) + "." + Text(r, 4);
          const auto found = actions.find({Text(r, 0), name});
          if (found != actions.end()) {
            key.onUpdate = NormalizedAction(found->second.first);
            key.onDelete = NormalizedAction(found->second.second);
          }
          table->foreignKeys.push_back(std::move(key));
        }
        table->foreignKeys.back().columns.push_back(Text(r, 2));
        table->foreignKeys.back().referencedColumns.push_back(Text(r, 5));
      });
  if (!keysRead) return false;

  // 3. Checks. MariaDB names a check's table; MySQL only its schema, where
  // check names are unique.
  const std::string checks =
      mariaDb_ ? "SELECT * FROM information_schema.CHECK_CONSTRAINTS WHERE " +
                     where("CONSTRAINT_SCHEMA", "TABLE_NAME") +
                     " ORDER BY TABLE_NAME, CONSTRAINT_NAME"
               : "SELECT t.TABLE_NAME, c.CONSTRAINT_NAME, c.CHECK_CLAUSE "
                 "FROM information_schema.CHECK_CONSTRAINTS AS c "
                 "JOIN information_schema.TABLE_CONSTRAINTS AS t "
                 "ON t.CONSTRAINT_SCHEMA = c.CONSTRAINT_SCHEMA "
                 "AND t.CONSTRAINT_NAME = c.CONSTRAINT_NAME AND t.CONSTRAINT_TYPE = 'CHECK' "
                 "WHERE " +
                     where("t.TABLE_SCHEMA", "t.TABLE_NAME") +
                     " ORDER BY t.TABLE_NAME, c.CONSTRAINT_NAME";
  std::vector<std::string> checkColumns;
  const bool checksRead = QueryEach(
      checks,
      [&](const Row& r) {
        const std::size_t tableAt = At(checkColumns, "TABLE_NAME");
        Table* table = tableNamed(Text(r, tableAt));
        if (!table) return;
        const std::string name = Text(r, At(checkColumns, "CONSTRAINT_NAME"));
        const std::string clause = Text(r, At(checkColumns, "CHECK_CLAUSE"));
        const std::string level = Text(r, At(checkColumns, "LEVEL"));
        bool ofColumn = level == "Column";
        if (level.empty()) {
          for (const Column& column : table->columns) ofColumn = ofColumn || column.name == name;
        }
        // MariaDB's JSON type is text with a check of its own: the check is
        // part of the type, not of the table.
        if (ofColumn && (AsciiLower(clause) == "json_valid(`" + AsciiLower(name) + "`)")) return;
        // A check written beside a column is named after it; one written
        // without a name is numbered.
        const bool engineNamed = ofColumn || NumberedName(name, "CONSTRAINT_") ||
                                 NumberedName(name, table->name + "_chk_");
        table->checks.push_back({name, engineNamed, clause});
      },
      &checkColumns);
  if (!checksRead) return false;

  // 4. Views, when the tables read name any: the server looks at every
  // table of the schema to find them.
  const bool anyView = std::any_of(schema.tables.begin(), schema.tables.end(),
                                   [](const Table& table) { return table.view; });
  const bool viewsRead = !anyView || QueryEach(
      "SELECT TABLE_NAME, VIEW_DEFINITION FROM information_schema.VIEWS WHERE " +
          where("TABLE_SCHEMA", "TABLE_NAME"),
      [&](const Row& r) {
        if (Table* table = tableNamed(Text(r, 0))) {
          table->view = true;
          table->viewDefinition = Text(r, 1);
        }
      });
  if (!viewsRead) return false;

  // 5. Triggers.
  const bool triggersRead = QueryEach(
      "SELECT EVENT_OBJECT_TABLE, TRIGGER_NAME, ACTION_TIMING, EVENT_MANIPULATION, "
      "ACTION_STATEMENT FROM information_schema.TRIGGERS WHERE " +
          where("EVENT_OBJECT_SCHEMA", "EVENT_OBJECT_TABLE") + " ORDER BY TRIGGER_NAME",
      [&](const Row& r) {
        Table* table = tableNamed(Text(r, 0));
        if (!table) return;
        Trigger trigger{Text(r, 1), Upper(Text(r, 2)), Upper(Text(r, 3)), Text(r, 4), {}};
        trigger.declared = "CREATE TRIGGER " + trigger.name + " " + trigger.timing + " " +
                           trigger.event + " ON " + table->name + " FOR EACH ROW " + trigger.body;
        table->triggers.push_back(std::move(trigger));
      });
  if (!triggersRead) return false;

  for (Table& table : schema.tables) {
    // The index the server made for a reference that had none: named after
    // the reference, or after its first column when the reference has no
    // name of its own, with exactly its columns.
    for (Index& index : table.indexes) {
      if (index.unique || !index.method.empty()) continue;
      for (const ForeignKey& key : table.foreignKeys) {
        if (index.parts.size() != key.columns.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < key.columns.size(); ++i) {
          const IndexPart& part = index.parts[i];
          same = same && part.prefixLength == 0 && !part.descending &&
                 SameName(part.column, key.columns[i]);
        }
        const bool named = SameName(index.name, key.name) ||
                           (key.engineNamed && SameName(index.name, key.columns.front()));
        if (same && named) {
          index.backsForeignKey = true;
          index.engineNamed = true;
        }
      }
      index.declared = IndexDeclared(index);
    }
    for (ForeignKey& key : table.foreignKeys) {
      key.declared = "CONSTRAINT " + key.name + " FOREIGN KEY (" + Joined(key.columns) +
                     ") REFERENCES " + key.referencedTable + " (" +
                     Joined(key.referencedColumns) + ")";
      if (key.onDelete != "RESTRICT" && key.onDelete != "NO ACTION") {
        key.declared += " ON DELETE " + key.onDelete;
      }
      if (key.onUpdate != "RESTRICT" && key.onUpdate != "NO ACTION") {
        key.declared += " ON UPDATE " + key.onUpdate;
      }
    }
    std::sort(table.indexes.begin(), table.indexes.end(),
              [](const Index& a, const Index& b) { return a.name < b.name; });
  }
  return true;
}

}  // namespace vantrix::db
