#pragma once

#include <string>
#include <string_view>
#include <vector>

// What SQLite keeps only in the text of its CREATE statements (sqlite_master's
// sql): constraint names, checks, generated columns, AUTOINCREMENT,
// collations, an index's expressions and condition, a trigger's parts and a
// view's query. Read from the text as SQLite itself reads it, tolerant of
// anything it does not know: what cannot be read is left out, never guessed.
namespace vantrix::db::sqlite {

struct Token {
  enum class Kind { kWord, kQuotedName, kString, kNumber, kPunctuation };
  Kind kind = Kind::kWord;
  std::string text;       // a quoted name without its quotes; anything else as written
  std::size_t begin = 0;  // where it starts and ends in the text
  std::size_t end = 0;
  // Whether it is the keyword `word` (letter case ignored; never a quoted name).
  [[nodiscard]] bool Is(std::string_view word) const;
};

// The tokens of SQL text, comments and spaces left out.
std::vector<Token> Tokenize(std::string_view sql);

struct NamedCheck {
  std::string name;        // empty when none was given
  std::string expression;  // the condition as written, without its parentheses
};

struct ColumnText {
  std::string name;
  std::string collation;
  std::string generated;  // the expression as written; empty when not generated
  bool generatedStored = false;
  bool autoIncrement = false;
};

struct KeyText {
  std::string name;  // empty when none was given
  std::vector<std::string> columns;
};

struct ForeignKeyText {
  std::string name;
  std::vector<std::string> columns;
  std::string referencedTable;
};

struct CreateTable {
  std::vector<ColumnText> columns;
  KeyText primaryKey;  // its name only; the columns come from the engine
  std::vector<KeyText> uniques;
  std::vector<NamedCheck> checks;  // table and column checks, in order
  std::vector<ForeignKeyText> foreignKeys;
};
CreateTable ParseCreateTable(std::string_view sql);

struct CreateIndex {
  std::vector<std::string> parts;  // each part's text as written, without ASC/DESC/COLLATE
  std::string predicate;           // WHERE ..., as written; empty when none
};
CreateIndex ParseCreateIndex(std::string_view sql);

struct CreateTrigger {
  std::string timing;  // "BEFORE" (the default), "AFTER", "INSTEAD OF"
  std::string event;   // "INSERT", "DELETE", "UPDATE" or "UPDATE OF a, b"
  std::string body;    // between BEGIN and END, as written
};
CreateTrigger ParseCreateTrigger(std::string_view sql);

// A view's query: what follows the AS of CREATE VIEW, as written.
std::string ViewQuery(std::string_view sql);

}  // namespace vantrix::db::sqlite
