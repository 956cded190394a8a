#pragma once

#include <string>
#include <string_view>

#include "compare/Findings.h"
#include "report/Report.h"

// Shared by the report writers: the words for findings, and making
// arbitrary names safe for each output language. Names come from the
// databases as bytes; they are shown as UTF-8, invalid sequences as U+FFFD.
namespace vantrix::report::text {

// Valid UTF-8: each invalid sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view bytes);

// Text for a terminal or a plain file: valid UTF-8, control characters
// (which could steer a terminal) as U+FFFD, and bidirectional formatting
// characters (which could make a name show as another) by name, as
// "<U+202E>". Every writer shows the latter so.
std::string Plain(std::string_view text);
// A text over several lines on one: each run of spaces, tabs and line
// breaks is one space. Other control characters are left for the writers
// to show.
std::string OneLine(std::string_view text);
// Text for HTML element content and attribute values (quotes included).
// Control characters other than tab, line feed and carriage return become
// U+FFFD, which HTML and XML both accept.
std::string Html(std::string_view text);
// The same for XML 1.0 element content, and for attribute values.
std::string Xml(std::string_view text);
std::string XmlAttribute(std::string_view text);
// Text for a Markdown table cell or heading (GitHub's dialect): the
// characters that could start markup, links, code, math or a new cell are
// escaped with a backslash; line breaks and other control characters
// become spaces; "@" and the "://" of a URL and "www." are broken with an
// invisible zero-width space, so that nothing mentions a person or makes a
// link.
std::string Markdown(std::string_view text);
// A JSON text with every bidirectional formatting character written as a
// \u escape: the same document, shown safely.
std::string JsonBidiEscaped(std::string_view json);

// An element id for a table name: "table-" followed by the name's ASCII
// letters and digits as they are and every other byte as _XX (hex), so
// that different names get different ids, the same name always the same.
std::string HtmlId(std::string_view tableName);

// "same", "fields differ", "only in DB 1", "only in DB 2", "not checked".
const char* StatusPhrase(compare::TableStatus status);
// The same for a table, where a table whose fields are the same but whose
// structure is not "structure differs".
const char* StatusPhrase(const compare::TableFinding& table);
// "same", "missing in DB 2", "only in DB 2", "type differs", ...
const char* KindPhrase(compare::FieldKind kind);

// "CHAR(8) (4-Char)"; a code without a label shows the code.
std::string TypeText(const compare::FieldFacts& facts);
// What one side (1 or 2) has, for a field finding: its type, "NOT NULL" or
// "NULL allowed", "in the primary key" or not; empty when the side lacks
// the field.
std::string SideFact(const compare::FieldFinding& field, int side);
// What each side has, for a field finding: "DB 1: CHAR(8) (4-Char), DB 2:
// INTEGER (3-Integer)", "DB 1: NOT NULL, DB 2: NULL allowed", ...
std::string FieldDetail(const compare::FieldFinding& field);
// Why a table was not checked: "DB 1: ...; DB 2: ...".
std::string Reasons(const compare::TableFinding& table);
// "Users" or, when DB 2 spells it otherwise, "Users (DB 2: users)".
std::string TableTitle(const compare::TableFinding& table);

// A side in a few words: "SQLite /data/shop.db", "Mysql shop on
// db.example:3306", with its schema when one was chosen.
std::string SideText(const SideDescription& side);

// "no differences", "1 table differs", "3 tables differ".
std::string Headline(const compare::Findings& findings);

// The summary in one line (without the word "Summary").
std::string SummaryText(const compare::Findings& findings);

// "index idx_orders_placed: only in DB 1", "default of status: differs",
// "check ck_qty: not comparable across engines".
std::string StructurePhrase(const compare::StructureFinding& finding);
// What each side declares, on one line: "DB 1: DEFAULT 'new', DB 2: DEFAULT 'old'";
// empty when neither declares anything.
std::string StructureDetail(const compare::StructureFinding& finding);

}  // namespace vantrix::report::text
