#include "migrate/Sql.h"

#include "db/Ascii.h"
#include "db/Database.h"
#include "db/TypeCodes.h"

namespace vantrix::migrate {
namespace {

std::string Number(const std::optional<long long>& value, long long fallback) {
  return std::to_string(value.value_or(fallback));
}

void Note(const Translation& t, std::string text) {
  if (t.notes) t.notes->push_back(std::move(text));
}

const char* DialectName(Dialect d) {
  switch (d) {
    case Dialect::kSqlite:
      return "SQLite";
    case Dialect::kMysql:
      return "MySQL";
    case Dialect::kPostgres:
      return "PostgreSQL";
    case Dialect::kUnknown:
      break;
  }
  return "the target";
}

// The target's spelling of a type code, keeping the declared details it
// can hold.
std::string Spelled(const Translation& t, const db::Column& c) {
  const db::TypeDetails d = db::ParseTypeDetails(c.declaredType, c.enumValues);
  const auto length = [&](const char* name, long long fallback) {
    return std::string(name) + "(" + Number(d.length, fallback) + ")";
  };
  const auto decimal = [&](const char* name) {
    if (!d.precision) return std::string(name);
    return std::string(name) + "(" + Number(d.precision, 10) + "," + Number(d.scale, 0) + ")";
  };
  const std::string zone = d.withTimeZone ? " with time zone" : "";
  switch (t.to) {
    case Dialect::kSqlite:
      switch (c.typeCode) {
        case 0: return "";
        case 1: return "TINYINT";
        case 2: return "SMALLINT";
        case 3: return "INTEGER";
        case 4: return d.length ? length("CHAR", 1) : "CHAR";
        case 5: return d.length ? length("VARCHAR", 0) : "TEXT";
        case 6: return "FLOAT";
        case 7: return "DOUBLE";
        case 8: return "DATE";
        case 9: return "TIME";
        case 10: return "DATETIME";
        case 11: return "MONEY";
        case 12: return "BOOLEAN";
        case 13: return decimal("DECIMAL");
        case 14: return length("VARBINARY", 255);
        case 15: return "LONGTEXT";
        case 16: return "BLOB";
        case 19: return "BIGINT";
        default: break;
      }
      break;
    case Dialect::kMysql:
      switch (c.typeCode) {
        case 0: return "text";
        case 1: return "tinyint";
        case 2: return "smallint";
        case 3: return "int";
        case 4: return length("char", 1);
        case 5:
          if (!d.values.empty() && (d.base == "enum" || !c.enumValues.empty())) {
            return "enum(" + d.values + ")";
          }
          return d.length ? length("varchar", 0) : "text";
        case 6: return "float";
        case 7: return "double";
        case 8: return "date";
        case 9: return "time";
        case 10: return "datetime";
        case 11:
          Note(t, c.name + ": " + c.declaredType + " has no MySQL type; written as decimal(19,4)");
          return "decimal(19,4)";
        case 12: return "tinyint(1)";
        case 13: return d.precision ? decimal("decimal") : "decimal(65,30)";
        case 14: return length("varbinary", 255);
        case 15: return "longtext";
        case 16: return "longblob";
        case 19: return "bigint";
        default: break;
      }
      break;
    case Dialect::kPostgres:
      switch (c.typeCode) {
        case 0: return "text";
        case 1:
          Note(t, c.name + ": " + c.declaredType + " has no PostgreSQL type; written as smallint");
          return "smallint";
        case 2: return "smallint";
        case 3: return "integer";
        case 4: return length("character", 1);
        case 5:
          if (!d.values.empty()) {
            Note(t, c.name + ": the values " + d.values +
                        " have no PostgreSQL type here; written as text");
          }
          return d.length ? length("character varying", 0) : "text";
        case 6: return "real";
        case 7: return "double precision";
        case 8: return "date";
        case 9: return "time" + zone;
        case 10: return "timestamp" + zone;
        case 11:
          Note(t, c.name + ": " + c.declaredType + " written as numeric(19,4)");
          return "numeric(19,4)";
        case 12: return "boolean";
        case 13: return decimal("numeric");
        case 14:
          Note(t, c.name + ": " + c.declaredType + " has no PostgreSQL type; written as bytea");
          return "bytea";
        case 15: return d.base == "jsonb" ? "jsonb" : "json";
        case 16: return "bytea";
        case 19: return "bigint";
        default: break;
      }
      break;
    case Dialect::kUnknown:
      break;
  }
  Note(t, c.name + ": " + c.declaredType + " has no " + DialectName(t.to) +
              " type; written as text");
  return t.to == Dialect::kSqlite ? "TEXT" : "text";
}

// A view's query without the qualifier the engine wrote before names.
std::string Unqualified(std::string_view text, std::string_view qualifier, Dialect d) {
  std::string out(text);
  if (qualifier.empty()) return out;
  const std::string prefix = Quote(d, qualifier) + ".";
  for (std::size_t at = out.find(prefix); at != std::string::npos; at = out.find(prefix, at)) {
    out.erase(at, prefix.size());
  }
  return out;
}

std::string PartText(const Translation& t, const db::IndexPart& part, bool& translated) {
  std::string text;
  if (!part.column.empty()) {
    text = Quote(t.to, part.column);
    if (part.prefixLength > 0 && t.to == Dialect::kMysql) {
      text += "(" + std::to_string(part.prefixLength) + ")";
    }
  } else if (t.Same()) {
    text = "(" + part.expression + ")";
  } else {
    translated = false;
  }
  if (part.descending) text += " DESC";
  return text;
}

}  // namespace

std::string Quote(Dialect dialect, std::string_view name) {
  const char quote = dialect == Dialect::kMysql ? '`' : '"';
  std::string out(1, quote);
  for (const char c : name) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}

std::string Literal(Dialect dialect, std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    out += c;
    if (c == '\'') out += '\'';
    if (c == '\\' && dialect == Dialect::kMysql) out += '\\';
  }
  return out + "'";
}

std::string QuoteList(Dialect dialect, const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + Quote(dialect, name);
  return out;
}

bool IsConstraint(const db::Index& index) { return index.unique && index.constraint; }

std::string ColumnType(const Translation& t, const db::Column& column) {
  if (t.Same()) return column.declaredType;
  return Spelled(t, column);
}

std::string DefaultClause(const Translation& t, const db::Column& column, std::string_view table) {
  const db::Default& d = column.defaultValue;
  switch (d.kind) {
    case db::Default::Kind::kNone:
      return {};
    case db::Default::Kind::kNull:
      return "DEFAULT NULL";
    case db::Default::Kind::kNumber:
      return t.Same() ? "DEFAULT " + d.declared : "DEFAULT " + d.value;
    case db::Default::Kind::kString:
      return "DEFAULT " + Literal(t.to, d.value);
    case db::Default::Kind::kBoolean:
      if (t.to == Dialect::kMysql) return d.value == "true" ? "DEFAULT 1" : "DEFAULT 0";
      return d.value == "true" ? "DEFAULT TRUE" : "DEFAULT FALSE";
    case db::Default::Kind::kCurrentTime:
      if (t.Same()) return "DEFAULT " + d.declared;
      if (d.value == "date") return t.to == Dialect::kMysql ? "DEFAULT (CURRENT_DATE)"
                                                             : "DEFAULT CURRENT_DATE";
      if (d.value == "time") return t.to == Dialect::kMysql ? "DEFAULT (CURRENT_TIME)"
                                                             : "DEFAULT CURRENT_TIME";
      return "DEFAULT CURRENT_TIMESTAMP";
    case db::Default::Kind::kExpression:
      if (t.Same()) {
        // SQLite and MySQL want an expression default in parentheses.
        const bool wrapped = d.declared.starts_with("(");
        return t.to == Dialect::kPostgres || wrapped ? "DEFAULT " + d.declared
                                                     : "DEFAULT (" + d.declared + ")";
      }
      Note(t, std::string(table) + "." + column.name + ": the default " + d.declared +
                  " is an expression of another engine; left out");
      return {};
  }
  return {};
}

std::string ColumnDefinition(const Translation& t, const db::Table& table,
                             const db::Column& c) {
  std::string text = Quote(t.to, c.name);
  const std::string type = ColumnType(t, c);
  if (!type.empty()) text += " " + type;
  const bool soleKey = table.primaryKey.size() == 1 &&
                       db::EqualsIgnoringAsciiCase(table.primaryKey[0], c.name);
  if (!c.generated.empty()) {
    if (t.Same()) {
      text += (t.to == Dialect::kMysql ? " AS (" : " GENERATED ALWAYS AS (") + c.generated + ")";
      text += c.generatedStored || t.to == Dialect::kPostgres ? " STORED" : " VIRTUAL";
    } else {
      Note(t, table.name + "." + c.name + ": generated by " + c.generated +
                  ", an expression of another engine; written as a plain column");
    }
  }
  if (t.to == Dialect::kSqlite && soleKey && c.autoIncrement) {
    return text + " PRIMARY KEY AUTOINCREMENT" + (c.notNull ? " NOT NULL" : "");
  }
  if (c.notNull) text += " NOT NULL";
  if (c.generated.empty()) {
    const std::string def = DefaultClause(t, c, table.name);
    if (!def.empty()) text += " " + def;
  }
  if (c.autoIncrement) {
    if (t.to == Dialect::kMysql) text += " AUTO_INCREMENT";
    if (t.to == Dialect::kPostgres) text += " GENERATED BY DEFAULT AS IDENTITY";
  }
  if (t.Same() && !c.collation.empty()) {
    if (t.to == Dialect::kMysql && !c.charset.empty()) text += " CHARACTER SET " + c.charset;
    text += " COLLATE " + (t.to == Dialect::kPostgres ? Quote(t.to, c.collation) : c.collation);
  }
  return text;
}

std::string ForeignKeyClause(const Translation& t, const db::ForeignKey& key) {
  std::string text;
  if (!key.name.empty() && !key.engineNamed) text = "CONSTRAINT " + Quote(t.to, key.name) + " ";
  text += "FOREIGN KEY (" + QuoteList(t.to, key.columns) + ") REFERENCES " +
          Quote(t.to, key.referencedTable) + " (" + QuoteList(t.to, key.referencedColumns) + ")";
  if (key.onDelete != "NO ACTION") text += " ON DELETE " + key.onDelete;
  if (key.onUpdate != "NO ACTION") text += " ON UPDATE " + key.onUpdate;
  return text;
}

std::string CheckClause(const Translation& t, const db::Check& check, std::string_view table) {
  if (!t.Same()) {
    Note(t, std::string(table) + ": the check (" + check.expression +
                ") is written in another engine's SQL; left out");
    return {};
  }
  std::string text;
  if (!check.name.empty() && !check.engineNamed) text = "CONSTRAINT " + Quote(t.to, check.name) + " ";
  return text + "CHECK (" + check.expression + ")";
}

std::string UniqueClause(const Translation& t, const db::Index& index) {
  std::vector<std::string> columns;
  for (const db::IndexPart& p : index.parts) columns.push_back(p.column);
  std::string text;
  if (!index.name.empty() && !index.engineNamed) text = "CONSTRAINT " + Quote(t.to, index.name) + " ";
  return text + "UNIQUE (" + QuoteList(t.to, columns) + ")";
}

std::string CreateIndex(const Translation& t, const db::Table& table, const db::Index& index) {
  bool translated = true;
  std::string parts;
  for (const db::IndexPart& p : index.parts) {
    parts += (parts.empty() ? "" : ", ") + PartText(t, p, translated);
  }
  if (!index.predicate.empty() && (!t.Same() || t.to == Dialect::kMysql)) translated = false;
  if (!translated) {
    Note(t, table.name + ": the index " + index.name +
                " has expressions or a condition of another engine; left out");
    return {};
  }
  std::string kind = index.unique ? "UNIQUE INDEX" : "INDEX";
  if (t.to == Dialect::kMysql && (index.method == "fulltext" || index.method == "spatial")) {
    kind = db::AsciiUpper(index.method) + " INDEX";
  }
  std::string text = "CREATE " + kind + " " + Quote(t.to, index.name) + " ON " +
                     Quote(t.to, table.name);
  if (t.to == Dialect::kPostgres && !index.method.empty() && t.Same()) {
    text += " USING " + index.method;
  }
  text += " (" + parts + ")";
  if (!index.predicate.empty()) text += " WHERE " + index.predicate;
  return text;
}

std::vector<std::string> CreateTable(const Translation& t, const db::Table& table,
                                     bool withForeignKeys) {
  std::vector<std::string> lines;
  for (const db::Column& c : table.columns) lines.push_back(ColumnDefinition(t, table, c));
  const bool inlineKey = t.to == Dialect::kSqlite && table.primaryKey.size() == 1 && [&] {
    for (const db::Column& c : table.columns) {
      if (db::EqualsIgnoringAsciiCase(c.name, table.primaryKey[0])) return c.autoIncrement;
    }
    return false;
  }();
  if (!table.primaryKey.empty() && !inlineKey) {
    std::string key;
    if (!table.primaryKeyName.empty() && t.to != Dialect::kMysql) {
      key = "CONSTRAINT " + Quote(t.to, table.primaryKeyName) + " ";
    }
    lines.push_back(key + "PRIMARY KEY (" + QuoteList(t.to, table.primaryKey) + ")");
  }
  for (const db::Index& index : table.indexes) {
    if (IsConstraint(index)) lines.push_back(UniqueClause(t, index));
  }
  for (const db::Check& check : table.checks) {
    if (check.engineNamed && t.to == Dialect::kMysql && t.Same() &&
        check.expression.find("json_valid") != std::string::npos) {
      continue;  // the server adds it again for a json column
    }
    const std::string clause = CheckClause(t, check, table.name);
    if (!clause.empty()) lines.push_back(clause);
  }
  if (withForeignKeys) {
    for (const db::ForeignKey& key : table.foreignKeys) lines.push_back(ForeignKeyClause(t, key));
  }
  std::string create = "CREATE TABLE " + Quote(t.to, table.name) + " (\n";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    create += "  " + lines[i] + (i + 1 < lines.size() ? ",\n" : "\n");
  }
  create += ")";
  std::vector<std::string> statements = {create};
  for (const db::Index& index : table.indexes) {
    if (IsConstraint(index) || index.backsForeignKey) continue;
    const std::string statement = CreateIndex(t, table, index);
    if (!statement.empty()) statements.push_back(statement);
  }
  return statements;
}

std::vector<std::string> CreateView(const Translation& t, const db::Table& view) {
  if (view.viewDefinition.empty()) {
    Note(t, "the view " + view.name +
                "'s query was not shown to the account that read it (MariaDB and MySQL show it "
                "with SHOW VIEW); left out");
    return {};
  }
  if (!t.Same()) {
    Note(t, "the view " + view.name + " is a query in another engine's SQL; left out: " +
                view.viewDefinition);
    return {};
  }
  return {"CREATE VIEW " + Quote(t.to, view.name) + " AS " +
          Unqualified(view.viewDefinition, t.fromQualifier, t.to)};
}

std::vector<std::string> CreateTrigger(const Translation& t, const db::Trigger& trigger,
                                       std::string_view table) {
  if (!t.Same()) {
    Note(t, "the trigger " + trigger.name + " on " + std::string(table) +
                " is written in another engine's SQL; left out");
    return {};
  }
  if (t.to == Dialect::kMysql) {
    return {"CREATE TRIGGER " + Quote(t.to, trigger.name) + " " + trigger.timing + " " +
            trigger.event + " ON " + Quote(t.to, table) + " FOR EACH ROW " + trigger.body};
  }
  if (t.to == Dialect::kPostgres) return {TriggerOnTableOnly(trigger.declared)};
  return {trigger.declared};
}

std::string TriggerOnTableOnly(const std::string& declared) {
  // An identifier from `at`: "quoted ""like"" this" or bare; its end.
  const auto identifierEnd = [&](std::size_t at) {
    if (at >= declared.size()) return at;
    if (declared[at] == '"') {
      for (std::size_t i = at + 1; i < declared.size(); ++i) {
        if (declared[i] != '"') continue;
        if (i + 1 < declared.size() && declared[i + 1] == '"') {
          ++i;
          continue;
        }
        return i + 1;
      }
      return declared.size();
    }
    std::size_t i = at;
    while (i < declared.size() && declared[i] != ' ' && declared[i] != '.' && declared[i] != '(') {
      ++i;
    }
    return i;
  };
  // The first " ON " outside quotes: names before it are the trigger's.
  bool quoted = false;
  for (std::size_t i = 0; i + 4 <= declared.size(); ++i) {
    if (declared[i] == '"') quoted = !quoted;
    if (quoted || declared.compare(i, 4, " ON ") != 0) continue;
    const std::size_t start = i + 4;
    const std::size_t first = identifierEnd(start);
    if (first >= declared.size() || declared[first] != '.') return declared;
    return declared.substr(0, start) + declared.substr(first + 1);
  }
  return declared;
}

}  // namespace vantrix::migrate
