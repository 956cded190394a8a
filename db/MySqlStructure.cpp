// The whole structure of a MySQL or MariaDB database, from the information
// schema: one statement each for indexes, references, checks, views and
// triggers, whatever the number of tables.
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <unordered_map>

#include "db/Ascii.h"
#include "db/Defaults.h"
#include "db/MySQLCommunityServer.h"
#include "db/SqliteSql.h"

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

// Whether the server's file-name encoding writes `name` as it is: letters,
// digits and underscores only.
bool PlainName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

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

// A name as MariaDB and MySQL quote it.
std::string Quoted(std::string_view name) {
  std::string out = "`";
  for (const char c : name) out += c == '`' ? std::string("``") : std::string(1, c);
  return out + "`";
}

// The actions of each reference a table's CREATE TABLE statement declares,
// as the server writes it (SHOW CREATE TABLE): by name, ON UPDATE then ON
// DELETE. A reference written without one restricts. Read in the tokens
// the SQLite reader reads CREATE statements in: quoted names, strings (a
// comment that reads like a reference) and comments are tokens of their
// own.
std::map<std::string, std::pair<std::string, std::string>> DeclaredActions(
    std::string_view create) {
  using sqlite::Token;
  const std::vector<Token> tokens = sqlite::Tokenize(create);
  const auto is = [&](std::size_t at, std::string_view word) {
    return at < tokens.size() && tokens[at].Is(word);
  };
  const auto punctuation = [&](std::size_t at, std::string_view text) {
    return tokens[at].kind == Token::Kind::kPunctuation && tokens[at].text == text;
  };
  std::map<std::string, std::pair<std::string, std::string>> actions;
  for (std::size_t at = 0; at + 3 < tokens.size(); ++at) {
    if (!is(at, "CONSTRAINT") || tokens[at + 1].kind != Token::Kind::kQuotedName ||
        !is(at + 2, "FOREIGN") || !is(at + 3, "KEY")) {
      continue;
    }
    std::pair<std::string, std::string>& found = actions[tokens[at + 1].text];
    found = {"RESTRICT", "RESTRICT"};
    // To the end of the clause, a comma or parenthesis outside its own.
    int depth = 0;
    for (at += 4; at < tokens.size(); ++at) {
      if (depth == 0 && (punctuation(at, ",") || punctuation(at, ")"))) break;
      if (punctuation(at, "(")) ++depth;
      if (punctuation(at, ")")) --depth;
      if (depth != 0 || !is(at, "ON") || !(is(at + 1, "DELETE") || is(at + 1, "UPDATE"))) continue;
      std::string action;
      for (std::size_t word = at + 2; word < tokens.size() &&
                                      tokens[word].kind == Token::Kind::kWord && !is(word, "ON");
           ++word) {
        action += (action.empty() ? "" : " ") + tokens[word].text;
      }
      (is(at + 1, "DELETE") ? found.second : found.first) = NormalizedAction(action);
    }
  }
  return actions;
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

bool MySQLCommunityServer::ReadStructure(Schema& schema, const TableCondition& where,
                                         bool wholeDatabase) {
  std::unordered_map<std::string, Table*> byName;
  for (Table& table : schema.tables) byName.emplace(table.name, &table);
  const TableLookup tableNamed = [&](const std::string& name) -> Table* {
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

  // 2. References: for a whole database from InnoDB's own dictionary when
  // it serves, else from the standard tables.
  if (wholeDatabase && mariaDb_) {
    const std::optional<bool> fromDictionary = ReadDictionaryReferences(schema, tableNamed);
    if (!fromDictionary) return false;
    if (!*fromDictionary && !ReadStandardReferences(where, tableNamed)) return false;
  } else if (!ReadStandardReferences(where, tableNamed)) {
    return false;
  }

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
    // By name as bytes, as the indexes, whichever way they were read.
    std::stable_sort(table.foreignKeys.begin(), table.foreignKeys.end(),
                     [](const ForeignKey& a, const ForeignKey& b) { return a.name < b.name; });
  }
  return true;
}

// References with their actions, then their columns: two statements, as
// MariaDB joins two information_schema tables slowly (a second for a
// thousand tables). Each opens every table it looks at.
bool MySQLCommunityServer::ReadStandardReferences(const TableCondition& where,
                                                  const TableLookup& tableNamed) {
  std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> actions;
  const bool actionsRead = QueryEach(
      "SELECT TABLE_NAME, CONSTRAINT_NAME, UPDATE_RULE, DELETE_RULE "
      "FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE " +
          where("CONSTRAINT_SCHEMA", "TABLE_NAME"),
      [&](const Row& r) {
        actions[{Text(r, 0), Text(r, 1)}] = {Text(r, 2), Text(r, 3)};
      });
  if (!actionsRead) return false;
  std::vector<Table*> unseen;
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
          } else if (unseen.empty() || unseen.back() != table) {
            unseen.push_back(table);
          }
          table->foreignKeys.push_back(std::move(key));
        }
        table->foreignKeys.back().columns.push_back(Text(r, 2));
        table->foreignKeys.back().referencedColumns.push_back(Text(r, 5));
      });
  if (!keysRead) return false;
  // MariaDB shows an account whose only privilege on a table is SELECT the
  // columns of its references but not their actions: those come from the
  // table's own statement, one for each such table.
  for (Table* table : unseen) {
    std::string create;
    // Names quoted as this reads them, whatever the session's SQL mode.
    const bool createRead = QueryEach(
        std::string(statementVariables_
                        ? "SET STATEMENT sql_mode = '', sql_quote_show_create = 1 FOR "
                        : "") +
            "SHOW CREATE TABLE " + Quoted(table->name),
        [&](const Row& r) { create = Text(r, 1); });
    if (!createRead) return false;
    const auto declared = DeclaredActions(create);
    for (ForeignKey& key : table->foreignKeys) {
      const auto found = actions.find({table->name, key.name});
      const auto written = declared.find(key.name);
      if (found != actions.end() || written == declared.end()) continue;
      key.onUpdate = written->second.first;
      key.onDelete = written->second.second;
    }
  }
  return true;
}

// The same references from InnoDB's dictionary, in one statement that opens
// no table: the standard tables open every table of the database, twice,
// and that is most of the time of a large database's read. It takes the
// PROCESS privilege, and the dictionary names tables in the server's
// file-name encoding, the same as the name only for letters, digits and
// underscores; so it serves when every name read is of those, and where
// what it gives cannot be told to be this database's own (letter case
// folded by the server) it is not used. Only MariaDB's InnoDB keeps
// references at all. The dictionary is read whole, every reference of the
// server, under a lock that stops other sessions from opening tables: it
// pays only for a large database (see DictionaryFromTables). nullopt when
// the connection is lost; false when the standard tables are to be asked
// instead.
std::optional<bool> MySQLCommunityServer::ReadDictionaryReferences(Schema& schema,
                                                                   const TableLookup& tableNamed) {
  if (!PlainName(DatabaseName) || schema.tables.size() < DictionaryFromTables) return false;
  for (const Table& table : schema.tables) {
    if (!PlainName(table.name)) return false;
  }
  const std::string prefix = DatabaseName + "/";
  const std::string sameDatabase =
      "LEFT(ID, " + std::to_string(prefix.size()) + ") = " + Literal(prefix);
  // A reference's row (its tables and actions), then its columns' rows.
  struct Found {
    Table* table = nullptr;
    ForeignKey key;
    std::vector<std::pair<long long, std::pair<std::string, std::string>>> columns;
  };
  std::map<std::string, Found> found;
  bool usable = true;
  const bool read = QueryEach(
      "SELECT 0, ID, FOR_NAME, REF_NAME, TYPE FROM information_schema.INNODB_SYS_FOREIGN WHERE " +
          sameDatabase +
          " UNION ALL SELECT 1, ID, FOR_COL_NAME, REF_COL_NAME, POS "
          "FROM information_schema.INNODB_SYS_FOREIGN_COLS WHERE " + sameDatabase,
      [&](const Row& r) {
        const std::string id = Text(r, 1);
        if (!usable) return;
        // Compared without case by the server: this database's own are
        // those written exactly as its name.
        if (id.compare(0, prefix.size(), prefix) != 0) {
          usable = false;
          return;
        }
        Found& reference = found[id];
        if (r[0].IntegerValue() == 1) {
          reference.columns.push_back({r[4].IntegerValue(), {Text(r, 2), Text(r, 3)}});
          return;
        }
        const std::string from = Text(r, 2);
        const std::string to = Text(r, 3);
        const std::size_t slash = to.find('/');
        if (from.compare(0, prefix.size(), prefix) != 0 || slash == std::string::npos ||
            to.find('@') != std::string::npos) {
          usable = false;
          return;
        }
        const std::string tableName = from.substr(prefix.size());
        reference.table = tableNamed(tableName);
        if (!reference.table) {
          // A table made since the list was read is not part of this
          // schema; one known under another letter case means the server
          // folds names, and this dictionary cannot be matched by name.
          for (const Table& table : schema.tables) {
            if (SameName(table.name, tableName)) usable = false;
          }
          return;
        }
        const std::string toDatabase = to.substr(0, slash);
        if (toDatabase != DatabaseName && SameName(toDatabase, DatabaseName)) usable = false;
        ForeignKey& key = reference.key;
        key.name = id.substr(prefix.size());
        key.engineNamed = NumberedName(key.name, tableName + "_ibfk_");
        key.referencedTable = toDatabase == DatabaseName
                                  ? to.substr(slash + 1)
                                  : toDatabase + "." + to.substr(slash + 1);
        const long long type = r[4].IntegerValue();
        key.onDelete = (type & 1) != 0    ? "CASCADE"
                       : (type & 2) != 0  ? "SET NULL"
                       : (type & 16) != 0 ? "NO ACTION"
                                          : "RESTRICT";
        key.onUpdate = (type & 4) != 0    ? "CASCADE"
                       : (type & 8) != 0  ? "SET NULL"
                       : (type & 32) != 0 ? "NO ACTION"
                                          : "RESTRICT";
      });
  if (!read) {
    // Not allowed or not there: the standard tables tell the same.
    if (!IsConnected()) return std::nullopt;
    ClearError();
    return false;
  }
  if (!usable) return false;
  for (auto& [id, reference] : found) {
    if (!reference.table) continue;
    std::sort(reference.columns.begin(), reference.columns.end());
    for (auto& [position, names] : reference.columns) {
      reference.key.columns.push_back(std::move(names.first));
      reference.key.referencedColumns.push_back(std::move(names.second));
    }
    reference.table->foreignKeys.push_back(std::move(reference.key));
  }
  return true;
}

}  // namespace vantrix::db
