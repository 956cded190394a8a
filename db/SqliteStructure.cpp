#include "db/SqliteStructure.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "db/Ascii.h"
#include "db/Database.h"
#include "db/Defaults.h"
#include "db/SqliteSql.h"

namespace vantrix::db {
namespace {

// Where a named column stands in a result; results of a server may lead
// with columns of their own.
class Columns {
public:
  explicit Columns(const RecordSet& records) : names_(records.ColumnNames()) {}
  [[nodiscard]] std::size_t operator[](std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (EqualsIgnoringAsciiCase(names_[i], name)) return i;
    }
    return names_.size();
  }

private:
  const std::vector<std::string>& names_;
};

std::string Text(const Row& row, std::size_t at) {
  return at < row.size() ? row[at].StringValue() : std::string();
}
long long Integer(const Row& row, std::size_t at) {
  return at < row.size() && !row[at].IsNull() ? row[at].IntegerValue() : 0;
}
bool IsNull(const Row& row, std::size_t at) { return at >= row.size() || row[at].IsNull(); }

bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

bool SameNames(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!SameName(a[i], b[i])) return false;
  }
  return true;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

std::string Filter(const std::optional<std::string>& onlyTable, const char* column) {
  return onlyTable ? std::string(" AND ") + column + " = " + *onlyTable : std::string();
}

Column* ColumnNamed(Table& table, std::string_view name) {
  for (Column& c : table.columns) {
    if (SameName(c.name, name)) return &c;
  }
  return nullptr;
}

}  // namespace

bool ReadSqliteStructure(Schema& schema, const SqliteQuery& query,
                         const std::optional<std::string>& onlyTable, std::string_view extraPrefix) {
  std::unordered_map<std::string, Table*> byName;
  for (Table& t : schema.tables) byName.emplace(t.name, &t);
  const auto tableNamed = [&](const std::string& name) -> Table* {
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
  };
  std::string leaveOut = " AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";
  if (!extraPrefix.empty()) {
    leaveOut += " AND name NOT LIKE '" + std::string(extraPrefix) + "%' ESCAPE '\\'";
  }

  // 1. Every object with its CREATE text.
  auto objects = query(
      "SELECT type, name, tbl_name, sql FROM sqlite_master WHERE type IN "
      "('table','view','index','trigger')" +
      leaveOut + Filter(onlyTable, "tbl_name") + " ORDER BY rowid");
  if (!objects) return false;
  std::map<std::string, std::string> indexText;  // by index name
  std::map<std::string, sqlite::CreateTable> tableText;
  {
    const Columns at(*objects);
    for (const Row& r : objects->Rows()) {
      const std::string type = Text(r, at["type"]);
      const std::string name = Text(r, at["name"]);
      const std::string sql = Text(r, at["sql"]);
      if (type == "index") {
        indexText[name] = sql;
      } else if (type == "trigger") {
        if (Table* t = tableNamed(Text(r, at["tbl_name"]))) {
          const sqlite::CreateTrigger parsed = sqlite::ParseCreateTrigger(sql);
          t->triggers.push_back({name, parsed.timing, parsed.event, parsed.body, sql});
        }
      } else if (Table* t = tableNamed(name)) {
        if (type == "view") {
          t->view = true;
          t->viewDefinition = sqlite::ViewQuery(sql);
          continue;
        }
        sqlite::CreateTable parsed = sqlite::ParseCreateTable(sql);
        for (const sqlite::ColumnText& text : parsed.columns) {
          if (Column* c = ColumnNamed(*t, text.name)) {
            c->collation = text.collation;
            c->generated = text.generated;
            c->generatedStored = text.generatedStored;
            c->autoIncrement = text.autoIncrement;
          }
        }
        for (const sqlite::NamedCheck& check : parsed.checks) {
          t->checks.push_back({check.name, check.name.empty(), check.expression});
        }
        t->primaryKeyName = parsed.primaryKey.name;
        tableText.emplace(name, std::move(parsed));
      }
    }
  }

  // 2. The primary key's order. The defaults came with the columns.
  auto columns = query(
      "SELECT m.name AS table_name, p.name, p.pk FROM sqlite_master AS m "
      "JOIN pragma_table_xinfo(m.name) AS p WHERE m.type = 'table' AND p.hidden IN (0, 2, 3) "
      "AND p.pk > 0" +
      Filter(onlyTable, "m.name") + " ORDER BY m.rowid, p.pk, p.cid");
  if (!columns) return false;
  {
    const Columns at(*columns);
    for (const Row& r : columns->Rows()) {
      Table* t = tableNamed(Text(r, at["table_name"]));
      if (!t) continue;
      Column* c = ColumnNamed(*t, Text(r, at["name"]));
      if (!c) continue;
      t->primaryKey.push_back(c->name);
    }
  }

  // 3. Indexes and their parts; the primary key's own index is not one.
  auto indexes = query(
      "SELECT m.name AS table_name, il.name AS index_name, il.\"unique\", il.origin, il.partial, "
      "ix.seqno, ix.cid, ix.name AS column_name, ix.\"desc\" FROM sqlite_master AS m "
      "JOIN pragma_index_list(m.name) AS il JOIN pragma_index_xinfo(il.name) AS ix "
      "WHERE m.type = 'table' AND ix.key = 1 AND il.origin <> 'pk'" +
      Filter(onlyTable, "m.name") + " ORDER BY m.rowid, il.name, ix.seqno");
  if (!indexes) return false;
  {
    const Columns at(*indexes);
    for (const Row& r : indexes->Rows()) {
      Table* t = tableNamed(Text(r, at["table_name"]));
      if (!t) continue;
      const std::string name = Text(r, at["index_name"]);
      if (t->indexes.empty() || t->indexes.back().name != name) {
        Index index;
        index.name = name;
        index.unique = Integer(r, at["unique"]) != 0;
        index.constraint = Text(r, at["origin"]) == "u";
        index.engineNamed = name.starts_with("sqlite_autoindex_");
        if (const auto it = indexText.find(name); it != indexText.end()) {
          index.declared = it->second;
          index.predicate = sqlite::ParseCreateIndex(it->second).predicate;
        }
        t->indexes.push_back(std::move(index));
      }
      Index& index = t->indexes.back();
      IndexPart part;
      part.descending = Integer(r, at["desc"]) != 0;
      const long long cid = Integer(r, at["cid"]);
      if (cid == -2) {
        // An expression: its text is in the CREATE INDEX.
        const auto parts = sqlite::ParseCreateIndex(index.declared).parts;
        const auto seqno = static_cast<std::size_t>(Integer(r, at["seqno"]));
        part.expression = seqno < parts.size() ? parts[seqno] : std::string();
      } else {
        part.column = cid == -1 ? std::string("rowid") : Text(r, at["column_name"]);
      }
      index.parts.push_back(std::move(part));
    }
    // A UNIQUE constraint keeps the name it was given, and reads as declared.
    for (Table& t : schema.tables) {
      const auto parsed = tableText.find(t.name);
      for (Index& index : t.indexes) {
        if (!index.constraint) continue;
        std::vector<std::string> names;
        for (const IndexPart& p : index.parts) names.push_back(p.column);
        index.declared = "UNIQUE (" + Joined(names) + ")";
        if (parsed == tableText.end()) continue;
        for (const sqlite::KeyText& unique : parsed->second.uniques) {
          if (!unique.name.empty() && SameNames(unique.columns, names)) {
            index.name = unique.name;
            index.engineNamed = false;
            index.declared = "CONSTRAINT " + unique.name + " " + index.declared;
          }
        }
      }
      std::sort(t.indexes.begin(), t.indexes.end(),
                [](const Index& a, const Index& b) { return a.name < b.name; });
    }
  }

  // 4. Foreign keys, column by column.
  auto keys = query(
      "SELECT m.name AS table_name, fk.id, fk.seq, fk.\"table\" AS referenced, fk.\"from\", "
      "fk.\"to\", fk.on_update, fk.on_delete FROM sqlite_master AS m "
      "JOIN pragma_foreign_key_list(m.name) AS fk WHERE m.type = 'table'" +
      Filter(onlyTable, "m.name") + " ORDER BY m.rowid, fk.id, fk.seq");
  if (!keys) return false;
  {
    const Columns at(*keys);
    long long lastId = -1;
    Table* last = nullptr;
    std::vector<std::pair<Table*, std::size_t>> implicitTargets;
    for (const Row& r : keys->Rows()) {
      Table* t = tableNamed(Text(r, at["table_name"]));
      if (!t) continue;
      const long long id = Integer(r, at["id"]);
      if (t != last || id != lastId) {
        ForeignKey key;
        key.referencedTable = Text(r, at["referenced"]);
        key.onDelete = NormalizedAction(Text(r, at["on_delete"]));
        key.onUpdate = NormalizedAction(Text(r, at["on_update"]));
        t->foreignKeys.push_back(std::move(key));
        last = t;
        lastId = id;
      }
      ForeignKey& key = t->foreignKeys.back();
      key.columns.push_back(Text(r, at["from"]));
      if (IsNull(r, at["to"])) {
        // REFERENCES t without columns: t's primary key, resolved below.
        if (key.referencedColumns.empty()) {
          implicitTargets.emplace_back(t, t->foreignKeys.size() - 1);
        }
      } else {
        key.referencedColumns.push_back(Text(r, at["to"]));
      }
    }
    for (const auto& [t, position] : implicitTargets) {
      ForeignKey& key = t->foreignKeys[position];
      if (!key.referencedColumns.empty()) continue;
      for (const Table& target : schema.tables) {
        if (SameName(target.name, key.referencedTable)) key.referencedColumns = target.primaryKey;
      }
    }
    for (Table& t : schema.tables) {
      // The engine lists a table's keys last declared first.
      std::reverse(t.foreignKeys.begin(), t.foreignKeys.end());
      const auto parsed = tableText.find(t.name);
      for (ForeignKey& key : t.foreignKeys) {
        key.engineNamed = true;
        if (parsed != tableText.end()) {
          for (const sqlite::ForeignKeyText& text : parsed->second.foreignKeys) {
            if (!text.name.empty() && SameNames(text.columns, key.columns) &&
                SameName(text.referencedTable, key.referencedTable)) {
              key.name = text.name;
              key.engineNamed = false;
            }
          }
        }
        key.declared = "FOREIGN KEY (" + Joined(key.columns) + ") REFERENCES " +
                       key.referencedTable + " (" + Joined(key.referencedColumns) + ")";
        if (key.onDelete != "NO ACTION") key.declared += " ON DELETE " + key.onDelete;
        if (key.onUpdate != "NO ACTION") key.declared += " ON UPDATE " + key.onUpdate;
      }
      std::sort(t.triggers.begin(), t.triggers.end(),
                [](const Trigger& a, const Trigger& b) { return a.name < b.name; });
    }
  }
  return true;
}

}  // namespace vantrix::db
