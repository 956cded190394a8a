#include "db/SqliteSql.h"

#include "db/Ascii.h"
#include "db/Database.h"

namespace vantrix::db::sqlite {
namespace {

bool IsWordChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || u >= 0x80;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A walk over the tokens of one statement.
class Reader {
public:
  explicit Reader(std::string_view sql) : sql_(sql), tokens_(Tokenize(sql)) {}

  [[nodiscard]] bool AtEnd() const { return at_ >= tokens_.size(); }
  [[nodiscard]] const Token* Peek(std::size_t ahead = 0) const {
    return at_ + ahead < tokens_.size() ? &tokens_[at_ + ahead] : nullptr;
  }
  [[nodiscard]] bool PeekIs(std::string_view word, std::size_t ahead = 0) const {
    const Token* t = Peek(ahead);
    return t && t->Is(word);
  }
  [[nodiscard]] bool PeekPunct(char c) const {
    const Token* t = Peek();
    return t && t->kind == Token::Kind::kPunctuation && t->text.size() == 1 && t->text[0] == c;
  }
  const Token* Next() { return AtEnd() ? nullptr : &tokens_[at_++]; }
  bool Take(std::string_view word) {
    if (!PeekIs(word)) return false;
    ++at_;
    return true;
  }
  bool TakePunct(char c) {
    if (!PeekPunct(c)) return false;
    ++at_;
    return true;
  }
  // A name: a word or a quoted name.
  std::string Name() {
    const Token* t = Next();
    return t ? t->text : std::string();
  }
  // Skips a balanced group that starts at "(", and answers the text inside.
  std::string Group() {
    if (!PeekPunct('(')) return {};
    const std::size_t open = Peek()->end;
    int depth = 0;
    while (const Token* t = Next()) {
      if (t->kind != Token::Kind::kPunctuation) continue;
      if (t->text == "(") ++depth;
      if (t->text == ")" && --depth == 0) {
        return std::string(Trim(sql_.substr(open, t->begin - open)));
      }
    }
    return std::string(Trim(sql_.substr(open)));
  }
  // Names in parentheses: "(a, b DESC, c COLLATE x)" gives a, b, c.
  std::vector<std::string> NameList() {
    std::vector<std::string> names;
    if (!TakePunct('(')) return names;
    int depth = 1;
    bool fresh = true;
    while (const Token* t = Next()) {
      if (t->kind == Token::Kind::kPunctuation) {
        if (t->text == "(") ++depth;
        if (t->text == ")" && --depth == 0) break;
        if (t->text == "," && depth == 1) fresh = true;
        continue;
      }
      if (fresh && depth == 1) names.push_back(t->text);
      fresh = false;
    }
    return names;
  }
  // The text from token `from` to just before the current one.
  [[nodiscard]] std::string TextSince(std::size_t from) const {
    if (from >= at_ || from >= tokens_.size()) return {};
    const std::size_t begin = tokens_[from].begin;
    const std::size_t end = tokens_[at_ - 1].end;
    return std::string(Trim(sql_.substr(begin, end - begin)));
  }
  [[nodiscard]] std::size_t Position() const { return at_; }
  // The text of tokens [from, to), as written.
  [[nodiscard]] std::string Between(std::size_t from, std::size_t to) const {
    if (from >= to || to > tokens_.size()) return {};
    const std::size_t begin = tokens_[from].begin;
    return std::string(Trim(sql_.substr(begin, tokens_[to - 1].end - begin)));
  }

private:
  std::string_view sql_;
  std::vector<Token> tokens_;
  std::size_t at_ = 0;
};

bool IsConstraintStart(const Reader& r) {
  return r.PeekIs("constraint") || r.PeekIs("primary") || r.PeekIs("not") || r.PeekIs("null") ||
         r.PeekIs("unique") || r.PeekIs("check") || r.PeekIs("default") || r.PeekIs("collate") ||
         r.PeekIs("references") || r.PeekIs("generated") || r.PeekIs("as");
}

// Skips to the next "," or ")" at the current depth, without taking it.
void SkipToDefinitionEnd(Reader& r) {
  while (!r.AtEnd() && !r.PeekPunct(',') && !r.PeekPunct(')')) {
    if (r.PeekPunct('(')) {
      r.Group();
    } else {
      r.Next();
    }
  }
}

// REFERENCES t [(cols)] and what may follow, up to the definition's end.
std::string ReferencedTable(Reader& r) {
  std::string table = r.Name();
  if (r.TakePunct('.')) table = r.Name();  // schema.table
  return table;
}

void ReadColumnConstraints(Reader& r, ColumnText& column, CreateTable& table) {
  std::string name;
  while (!r.AtEnd() && !r.PeekPunct(',') && !r.PeekPunct(')')) {
    if (r.Take("constraint")) {
      name = r.Name();
      continue;
    }
    if (r.Take("primary")) {
      r.Take("key");
      table.primaryKey = {name, {column.name}};
      while (!r.AtEnd() && !r.PeekPunct(',') && !r.PeekPunct(')') && !IsConstraintStart(r)) {
        if (r.Take("autoincrement")) {
          column.autoIncrement = true;
        } else {
          r.Next();
        }
      }
    } else if (r.Take("unique")) {
      table.uniques.push_back({name, {column.name}});
    } else if (r.Take("check")) {
      table.checks.push_back({name, r.Group()});
    } else if (r.Take("collate")) {
      column.collation = r.Name();
    } else if (r.Take("references")) {
      table.foreignKeys.push_back({name, {column.name}, ReferencedTable(r)});
      // The referenced columns and actions: the engine's list has them.
      while (!r.AtEnd() && !r.PeekPunct(',') && !r.PeekPunct(')') && !IsConstraintStart(r)) {
        if (r.PeekPunct('(')) {
          r.Group();
        } else {
          r.Next();
        }
      }
    } else if (r.Take("generated")) {
      r.Take("always");
      continue;  // AS follows
    } else if (r.Take("as")) {
      column.generated = r.Group();
      if (r.Take("stored")) {
        column.generatedStored = true;
      } else {
        r.Take("virtual");
      }
    } else if (r.Take("default")) {
      if (r.PeekPunct('(')) {
        r.Group();
      } else {
        r.TakePunct('-');
        r.TakePunct('+');
        r.Next();
      }
    } else if (r.PeekPunct('(')) {
      r.Group();
    } else {
      r.Next();  // NOT, NULL, ON CONFLICT ..., anything else
      continue;
    }
    name.clear();
  }
}

}  // namespace

bool Token::Is(std::string_view word) const {
  return kind == Kind::kWord && EqualsIgnoringAsciiCase(text, word);
}

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (IsAsciiSpace(c)) {
      ++i;
      continue;
    }
    if (sql.compare(i, 2, "--") == 0) {
      const std::size_t end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
      continue;
    }
    if (sql.compare(i, 2, "/*") == 0) {
      const std::size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? sql.size() : end + 2;
      continue;
    }
    Token token;
    token.begin = i;
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      std::string text;
      std::size_t j = i + 1;
      while (j < sql.size()) {
        if (sql[j] == close) {
          if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
            text += close;
            j += 2;
            continue;
          }
          break;
        }
        text += sql[j++];
      }
      token.end = std::min(j + 1, sql.size());
      token.kind = c == '\'' ? Token::Kind::kString : Token::Kind::kQuotedName;
      token.text = c == '\'' ? std::string(sql.substr(i, token.end - i)) : text;
    } else if (IsWordChar(c)) {
      std::size_t j = i;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      token.end = j;
      token.text = std::string(sql.substr(i, j - i));
      token.kind = c >= '0' && c <= '9' ? Token::Kind::kNumber : Token::Kind::kWord;
    } else {
      token.end = i + 1;
      token.text = std::string(1, c);
      token.kind = Token::Kind::kPunctuation;
    }
    i = token.end;
    tokens.push_back(std::move(token));
  }
  return tokens;
}

CreateTable ParseCreateTable(std::string_view sql) {
  CreateTable table;
  Reader r(sql);
  // CREATE [TEMP] TABLE [IF NOT EXISTS] [schema.]name (
  while (!r.AtEnd() && !r.PeekPunct('(')) r.Next();
  if (!r.TakePunct('(')) return table;
  while (!r.AtEnd() && !r.PeekPunct(')')) {
    std::string name;
    if (r.Take("constraint")) name = r.Name();
    if (r.Take("primary")) {
      r.Take("key");
      table.primaryKey = {name, r.NameList()};
    } else if (r.Take("unique")) {
      table.uniques.push_back({name, r.NameList()});
    } else if (r.Take("check")) {
      table.checks.push_back({name, r.Group()});
    } else if (r.Take("foreign")) {
      r.Take("key");
      ForeignKeyText key{name, r.NameList(), {}};
      if (r.Take("references")) key.referencedTable = ReferencedTable(r);
      table.foreignKeys.push_back(std::move(key));
    } else {
      // A column: its name, its type words, then its constraints.
      ColumnText column;
      column.name = r.Name();
      while (!r.AtEnd() && !r.PeekPunct(',') && !r.PeekPunct(')') && !IsConstraintStart(r)) {
        if (r.PeekPunct('(')) {
          r.Group();
        } else {
          r.Next();
        }
      }
      ReadColumnConstraints(r, column, table);
      table.columns.push_back(std::move(column));
    }
    SkipToDefinitionEnd(r);
    r.TakePunct(',');
  }
  return table;
}

CreateIndex ParseCreateIndex(std::string_view sql) {
  CreateIndex index;
  Reader r(sql);
  while (!r.AtEnd() && !r.Take("on")) r.Next();
  while (!r.AtEnd() && !r.PeekPunct('(')) r.Next();
  if (!r.TakePunct('(')) return index;
  while (!r.AtEnd() && !r.PeekPunct(')')) {
    const std::size_t start = r.Position();
    std::size_t end = start;
    int depth = 0;
    while (!r.AtEnd()) {
      if (depth == 0 && (r.PeekPunct(',') || r.PeekPunct(')'))) break;
      if (depth == 0 && (r.PeekIs("asc") || r.PeekIs("desc") || r.PeekIs("collate"))) {
        if (end == start) end = r.Position();
      }
      if (r.PeekPunct('(')) ++depth;
      if (r.PeekPunct(')')) --depth;
      r.Next();
    }
    // The part without its direction and collation.
    const std::string text = r.Between(start, end != start ? end : r.Position());
    index.parts.push_back(std::move(text));
    r.TakePunct(',');
  }
  r.TakePunct(')');
  if (r.Take("where")) {
    const std::size_t from = r.Position();
    while (!r.AtEnd() && !r.PeekPunct(';')) r.Next();
    index.predicate = r.TextSince(from);
  }
  return index;
}

CreateTrigger ParseCreateTrigger(std::string_view sql) {
  CreateTrigger trigger;
  trigger.timing = "BEFORE";
  Reader r(sql);
  // CREATE [TEMP] TRIGGER [IF NOT EXISTS] [schema.]name
  while (!r.AtEnd() && !r.Take("trigger")) r.Next();
  if (r.Take("if")) {
    r.Take("not");
    r.Take("exists");
  }
  r.Name();
  if (r.TakePunct('.')) r.Name();
  if (r.Take("before")) {
    trigger.timing = "BEFORE";
  } else if (r.Take("after")) {
    trigger.timing = "AFTER";
  } else if (r.Take("instead")) {
    r.Take("of");
    trigger.timing = "INSTEAD OF";
  }
  if (r.Take("insert")) {
    trigger.event = "INSERT";
  } else if (r.Take("delete")) {
    trigger.event = "DELETE";
  } else if (r.Take("update")) {
    trigger.event = "UPDATE";
    if (r.Take("of")) {
      std::string columns;
      while (!r.AtEnd() && !r.PeekIs("on")) {
        const Token* t = r.Next();
        if (t->text == ",") continue;
        columns += (columns.empty() ? "" : ", ") + t->text;
      }
      trigger.event += " OF " + columns;
    }
  }
  while (!r.AtEnd() && !r.Take("begin")) r.Next();
  if (r.AtEnd()) return trigger;
  const std::size_t from = r.Position();
  // The body ends at the statement's last END.
  std::size_t lastEnd = from;
  std::size_t position = from;
  while (!r.AtEnd()) {
    position = r.Position();
    if (r.Next()->Is("end")) lastEnd = position;
  }
  if (lastEnd > from) {
    // Up to, not with, the END: the text between them.
    trigger.body = r.Between(from, lastEnd);
  }
  return trigger;
}

std::string ViewQuery(std::string_view sql) {
  Reader r(sql);
  while (!r.AtEnd() && !r.Take("view")) r.Next();
  // [IF NOT EXISTS] [schema.]name [(columns)] AS
  while (!r.AtEnd() && !r.PeekIs("as")) {
    if (r.PeekPunct('(')) {
      r.Group();
    } else {
      r.Next();
    }
  }
  if (!r.Take("as")) return {};
  const Token* first = r.Peek();
  if (!first) return {};
  std::string_view rest = Trim(sql.substr(first->begin));
  while (!rest.empty() && rest.back() == ';') rest = Trim(rest.substr(0, rest.size() - 1));
  return std::string(rest);
}

}  // namespace vantrix::db::sqlite
