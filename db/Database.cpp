#include "db/Database.h"

#include "db/Ascii.h"

namespace vantrix::db {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

ExactNameIndex::ExactNameIndex(const Schema& schema) {
  byName_.reserve(schema.tables.size());
  for (const Table& table : schema.tables) byName_.emplace(table.name, &table);
}

const Table* ExactNameIndex::Find(std::string_view name) const {
  const auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

std::optional<Schema> Database::WholeSchema(Detail detail) { return SchemaTableByTable(detail); }

std::optional<Schema> Database::SchemaTableByTable(Detail detail) {
  auto names = TableSchema();
  if (!names) return std::nullopt;
  Schema schema;
  schema.tables.reserve(names->RecordCount());
  for (const Row& row : names->Rows()) {
    const std::string name = row.empty() ? std::string() : row[0].StringValue();
    auto table = ReadTable(name, detail);
    if (!table) return std::nullopt;
    schema.tables.push_back(std::move(*table));
  }
  ClearError();
  return schema;
}

std::unique_ptr<RecordSet> Database::FieldSchema(std::string_view table) {
  auto read = ReadTable(table);
  if (!read || read->state == TableState::kUnreadable) return nullptr;
  std::vector<Row> rows;
  rows.reserve(read->columns.size());
  for (Column& c : read->columns) {
    rows.push_back(Row{DatabaseField(std::move(c.name)), DatabaseField(std::to_string(c.typeCode)),
                       DatabaseField(std::move(c.declaredType)),
                       DatabaseField(c.notNull ? "1" : "0"),
                       DatabaseField(c.primaryKey ? "1" : "0"),
                       c.defaultValue.kind == Default::Kind::kNone
                           ? DatabaseField()
                           : DatabaseField(std::move(c.defaultValue.declared))});
  }
  return std::make_unique<RecordSet>(
      std::vector<std::string>{"ColumnName", "FieldType", "DeclaredType", "NotNull", "PrimaryKey",
                               "Default"},
      std::move(rows));
}

bool IsSingleSelect(std::string_view statement) {
  std::size_t i = 0;
  const auto skipBlank = [&] {
    while (i < statement.size()) {
      if (IsAsciiSpace(statement[i])) {
        ++i;
      } else if (statement.compare(i, 2, "--") == 0) {
        const std::size_t end = statement.find('\n', i);
        i = end == std::string_view::npos ? statement.size() : end + 1;
      } else if (statement.compare(i, 2, "/*") == 0) {
        const std::size_t end = statement.find("*/", i + 2);
        i = end == std::string_view::npos ? statement.size() : end + 2;
      } else {
        return;
      }
    }
  };
  skipBlank();
  if (!EqualsIgnoringAsciiCase(statement.substr(i, 6), "select")) return false;
  if (i + 6 < statement.size()) {
    const char next = statement[i + 6];
    if (!IsAsciiSpace(next) && next != '*' && next != '(' && next != '\'' && next != '"' &&
        next != '-' && next != '/') {
      return false;  // SELECTED, SELECT_X: another word
    }
  }
  i += 6;
  while (i < statement.size()) {
    const char c = statement[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const std::size_t end = statement.find(close, i + 1);
      if (end == std::string_view::npos) return false;
      i = end + 1;
    } else if (statement.compare(i, 2, "--") == 0 || statement.compare(i, 2, "/*") == 0) {
      skipBlank();
    } else if (c == ';') {
      ++i;
      skipBlank();
      return i == statement.size();
    } else {
      ++i;
    }
  }
  return true;
}

bool Database::ExecuteSQL(std::string_view) {
  SetError("This session only reads");
  return false;
}

}  // namespace vantrix::db
