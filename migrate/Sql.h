#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/Schema.h"
#include "db/TypeDetails.h"

// The pieces of SQL the scripts are made of, in each engine's dialect:
// names quoted the target's way (always), literals, types, and the
// definitions of columns, tables, indexes, keys and checks. What has no
// translation into the target is left out and named in `notes`.
namespace vantrix::migrate {

using db::Dialect;

// A name quoted for the dialect: "a""b" (SQLite, PostgreSQL), `a``b` (MySQL).
std::string Quote(Dialect dialect, std::string_view name);
// A string literal: 'it''s' (and backslashes doubled for MySQL).
std::string Literal(Dialect dialect, std::string_view text);
// Names quoted and joined with ", ".
std::string QuoteList(Dialect dialect, const std::vector<std::string>& names);

// Where a definition comes from and goes to; `notes` collects what could
// not be written in the target (a comment each).
struct Translation {
  Dialect from;
  Dialect to;
  std::vector<std::string>* notes;
  // The name the source engine writes before names in view queries (MySQL's
  // database), taken out so that the query reads in the target database.
  std::string fromQualifier;
  [[nodiscard]] bool Same() const { return from == to; }
};

// A column's type in the target: the declaration itself on one engine,
// otherwise the target's spelling of its type code, keeping the declared
// length, precision and scale where the target has them.
std::string ColumnType(const Translation& t, const db::Column& column);

// "DEFAULT ..." for a column's default in the target, or empty.
std::string DefaultClause(const Translation& t, const db::Column& column, std::string_view table);

// One column's whole definition: name, type, generated expression,
// NOT NULL, default, and, where the engine puts it on the column,
// auto-increment (with SQLite's and MySQL's primary key).
std::string ColumnDefinition(const Translation& t, const db::Table& table,
                             const db::Column& column);

// "CONSTRAINT x FOREIGN KEY (a) REFERENCES t (b) ON DELETE CASCADE".
std::string ForeignKeyClause(const Translation& t, const db::ForeignKey& key);
// "CONSTRAINT x CHECK (...)"; empty (and a note) when it has no translation.
std::string CheckClause(const Translation& t, const db::Check& check, std::string_view table);
// "CONSTRAINT x UNIQUE (a, b)".
std::string UniqueClause(const Translation& t, const db::Index& index);

// CREATE TABLE with its columns, primary key, unique constraints, checks and
// foreign keys (when `withForeignKeys`); then its plain and unique indexes.
std::vector<std::string> CreateTable(const Translation& t, const db::Table& table,
                                     bool withForeignKeys);
// CREATE [UNIQUE] INDEX for an index that is no UNIQUE constraint.
std::string CreateIndex(const Translation& t, const db::Table& table, const db::Index& index);
// A view, or a note when its query cannot be carried over.
std::vector<std::string> CreateView(const Translation& t, const db::Table& view);
// A trigger as the engine declared it, on one engine; a note otherwise.
std::vector<std::string> CreateTrigger(const Translation& t, const db::Trigger& trigger,
                                       std::string_view table);

// PostgreSQL's CREATE TRIGGER as the server writes it, with the table's
// schema taken out ("ON sales.orders" becomes "ON orders"), so that it is
// made in the schema the script runs in.
std::string TriggerOnTableOnly(const std::string& declared);

// Whether an index is the one behind a UNIQUE constraint (written with its
// table) or one made with CREATE INDEX.
bool IsConstraint(const db::Index& index);

}  // namespace vantrix::migrate
