#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "compare/Findings.h"

// Reports of a comparison's findings, for people and for machines: plain
// text, JSON, Markdown, a self-contained HTML page and JUnit XML. Every
// writer takes the same Report and writes to a stream; none of them knows a
// password, and none reads the clock: a time stamp is part of the Report.
namespace vantrix::report {

// One side as the reports name it.
struct SideDescription {
  std::string engine;    // "SQLite", "Mysql", "CubeSQLserver", "PostgreSQL"
  std::string host;      // servers only
  int port = 0;          // servers only; 0 = the engine's default
  std::string database;  // the database name, or SQLite's file
  std::string schema;    // PostgreSQL, when one was chosen
  int tableCount = 0;    // tables the side lists, before --tables/--exclude
};

struct Report {
  compare::Findings findings;
  compare::FindingsOptions options;
  SideDescription db1;
  SideDescription db2;
  // UTC, as "2024-07-01T09:30:00Z"; written by the JSON and HTML reports
  // only, and only when set.
  std::optional<std::string> generatedAt;
};

enum class Format { kText, kJson, kMarkdown, kHtml, kJunit };

// "text", "json", "markdown", "html", "junit".
std::optional<Format> FormatNamed(std::string_view name);

// One line per finding, grouped by table, then a summary line. `colour`
// adds ANSI colours for a terminal.
void WriteText(std::ostream& out, const Report& report, bool colour);
// One JSON document; its schema is report/vantrix-diff.schema.json.
void WriteJson(std::ostream& out, const Report& report);
// A summary and a table per table that is not the same, for a pull request.
void WriteMarkdown(std::ostream& out, const Report& report);
// One page with inline style and no script, readable printed.
void WriteHtml(std::ostream& out, const Report& report);
// One test case per table, a failure for each table that is not the same.
void WriteJunit(std::ostream& out, const Report& report);

void Write(Format format, std::ostream& out, const Report& report, bool colour);

// The JSON document written instead of a report when the comparison could
// not be made (see the schema's "error" form).
void WriteJsonError(std::ostream& out, std::string_view message,
                    const std::optional<std::string>& generatedAt);

// Now in UTC, as the reports write it ("2024-07-01T09:30:00Z"). Builds that
// must be reproducible set SOURCE_DATE_EPOCH (seconds since 1970), which
// then stands for now.
std::string GeneratedAtNow();

// The version of this program, "2024.7.1".
const char* ToolVersion();

}  // namespace vantrix::report
