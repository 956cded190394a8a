// The HTML report: one page with its style inline, no script and nothing
// fetched from elsewhere, readable on screen and printed. Every table has
// one element whose id is made from its name (text::HtmlId): its section
// when it has findings, otherwise its row in the overview, so links to a
// table stay valid from one run to the next.
#include <unordered_map>

#include "report/Report.h"
#include "report/Text.h"

namespace vantrix::report {
namespace {

using compare::TableStatus;
using text::Html;

constexpr const char* kStyle = R"(
:root { color-scheme: light; }
body { font: 15px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; color: #1d2330;
       background: #f4f6f9; margin: 0; }
header, main, footer { max-width: 1100px; margin: 0 auto; padding: 0 24px; }
header { padding-top: 20px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h1 .mode { font-size: 13px; font-weight: 600; color: #5b6475; background: #e3e7ee;
           border-radius: 10px; padding: 2px 9px; vertical-align: middle; }
.headline { font-size: 18px; font-weight: 600; margin: 6px 0 14px; }
.headline.differences { color: #b42318; }
.headline.same { color: #067647; }
table { border-collapse: collapse; width: 100%; background: #fff; margin: 8px 0 18px;
        box-shadow: 0 1px 2px rgba(16, 24, 40, .08); }
th, td { text-align: left; padding: 6px 10px; border-bottom: 1px solid #e4e7ec;
         vertical-align: top; }
th { background: #eef1f5; font-size: 13px; color: #475467; }
table.sides th { width: 60px; }
.summary { color: #344054; }
h2 { font-size: 17px; margin: 22px 0 6px; }
section { background: #fff; border: 1px solid #e4e7ec; border-left: 5px solid #98a2b3;
          border-radius: 6px; padding: 4px 16px 2px; margin: 14px 0; }
section table { box-shadow: none; }
section.differs, section.only_in_db1, section.only_in_db2 { border-left-color: #d92d20; }
section.not_checked { border-left-color: #f79009; }
section.same { border-left-color: #12b76a; }
.badge { display: inline-block; font-size: 12px; font-weight: 600; border-radius: 10px;
         padding: 1px 9px; margin-left: 6px; vertical-align: middle; }
.badge.same { background: #d1fadf; color: #05603a; }
.badge.differs, .badge.only_in_db1, .badge.only_in_db2 { background: #fee4e2; color: #912018; }
.badge.not_checked { background: #fef0c7; color: #93370d; }
tr.counts td.finding { color: #b42318; font-weight: 600; }
tr.note td.finding { color: #b54708; }
tr.same td.finding { color: #067647; }
.reason, .notice, .case { margin: 6px 0; }
.reason { color: #93370d; }
.case { color: #b54708; }
a { color: #175cd3; text-decoration: none; }
code, .type { font-family: ui-monospace, "SFMono-Regular", Menlo, Consolas, monospace;
              font-size: 13px; }
footer { color: #667085; font-size: 12px; padding-bottom: 24px; }
@media print {
  body { background: #fff; color: #000; font: 10pt/1.35 Georgia, "Times New Roman", serif; }
  header, main, footer { max-width: none; padding: 0; }
  table { box-shadow: none; }
  th { background: #fff; color: #000; border-bottom: 1.5pt solid #000; }
  section { border: 1pt solid #000; border-left-width: 4pt; border-radius: 0;
            break-inside: avoid; page-break-inside: avoid; }
  .badge { border: 1pt solid #000; background: none; color: #000; }
  a { color: #000; }
  thead { display: table-header-group; }
  tr { break-inside: avoid; page-break-inside: avoid; }
}
)";

// Whether a table gets a section of its own.
bool HasSection(const compare::TableFinding& table, bool oneWay) {
  return !table.fields.empty() || !table.structure.empty() ||
         (table.nameCaseDiffers && !oneWay) || table.status == TableStatus::kNotChecked;
}

std::string StatusText(const compare::TableFinding& table) {
  return table.note.empty() ? text::StatusPhrase(table) : table.note;
}

std::string Badge(const compare::TableFinding& table) {
  return std::string("<span class=\"badge ") + compare::StatusName(table.status) + "\">" +
         Html(StatusText(table)) + "</span>";
}

// Ids made unique in the page's order: a name met again (a table a side
// lists twice) gets "-2", "-3", ...
std::vector<std::string> UniqueIds(const std::vector<compare::TableFinding>& tables) {
  std::vector<std::string> ids;
  std::unordered_map<std::string, int> seen;
  for (const compare::TableFinding& table : tables) {
    std::string id = text::HtmlId(table.Name());
    const int n = ++seen[id];
    if (n > 1) id += "-" + std::to_string(n);
    ids.push_back(std::move(id));
  }
  return ids;
}

void SideRow(std::ostream& out, const char* label, const SideDescription& side) {
  out << "<tr><th>" << label << "</th><td>" << Html(text::SideText(side)) << "</td><td>"
      << side.tableCount << " tables</td></tr>\n";
}

void Section(std::ostream& out, const compare::TableFinding& table, const std::string& id,
             bool strict, bool oneWay) {
  out << "<section id=\"" << id << "\" class=\"" << compare::StatusName(table.status) << "\">\n"
      << "<h2>" << Html(text::TableTitle(table)) << ' ' << Badge(table) << "</h2>\n";
  // One-way, the window's question: a name's letter case is no note there.
  if (table.nameCaseDiffers && !oneWay) {
    out << "<p class=\"case\">" << (strict ? "" : "note: ")
        << "table name differs in letter case</p>\n";
  }
  if (table.status == TableStatus::kNotChecked) {
    if (!table.notice.empty()) out << "<p class=\"notice\">" << Html(table.notice) << "</p>\n";
    out << "<p class=\"reason\">" << Html(text::Reasons(table)) << "</p>\n";
  }
  if (!table.structure.empty()) {
    out << "<table class=\"structure\">\n<thead><tr><th>Structure</th><th>Finding</th>"
           "<th>DB 1</th><th>DB 2</th></tr></thead>\n<tbody>\n";
    for (const compare::StructureFinding& finding : table.structure) {
      const std::string phrase = text::StructurePhrase(finding);
      const std::size_t colon = phrase.rfind(": ");
      out << "<tr class=\"" << (finding.counts ? "counts" : "note") << "\"><td>"
          << Html(phrase.substr(0, colon)) << "</td><td class=\"finding\">"
          << (finding.counts ? "" : "note: ") << Html(phrase.substr(colon + 2))
          << "</td><td class=\"type\">" << Html(finding.db1.value_or(""))
          << "</td><td class=\"type\">" << Html(finding.db2.value_or("")) << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n";
  }
  if (table.fields.empty()) {
    out << "</section>\n";
    return;
  }
  out << "<table class=\"fields\">\n<thead><tr><th>Field</th><th>Finding</th><th>DB 1</th>"
         "<th>DB 2</th></tr></thead>\n<tbody>\n";
  for (const compare::FieldFinding& field : table.fields) {
    const char* rowClass = field.kind == compare::FieldKind::kSame ? "same"
                           : field.counts                          ? "counts"
                                                                   : "note";
    std::string finding = field.note;
    if (finding.empty()) {
      finding = std::string(field.counts ? "" : "note: ") + text::KindPhrase(field.kind);
      if (!field.detail.empty()) finding += ": " + field.detail;
    }
    out << "<tr class=\"" << rowClass << "\"><td>" << Html(field.name)
        << "</td><td class=\"finding\">" << Html(finding) << "</td><td class=\"type\">"
        << Html(text::SideFact(field, 1)) << "</td><td class=\"type\">"
        << Html(text::SideFact(field, 2)) << "</td></tr>\n";
  }
  out << "</tbody>\n</table>\n</section>\n";
}

}  // namespace

void WriteHtml(std::ostream& out, const Report& report) {
  const compare::Findings& findings = report.findings;
  const std::string headline = text::Headline(findings);
  const std::vector<std::string> ids = UniqueIds(findings.tables);

  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<title>vantrix-diff: " << Html(headline) << "</title>\n<style>" << kStyle
      << "</style>\n</head>\n<body>\n<header>\n"
      << "<h1>vantrix-diff <span class=\"mode\">" << (findings.oneWay ? "one-way" : "symmetric")
      << "</span></h1>\n"
      << "<p class=\"headline " << (findings.HasDifferences() ? "differences" : "same")
      << "\" id=\"headline\">" << Html(headline) << "</p>\n"
      << "<table class=\"sides\">\n";
  SideRow(out, "DB 1", report.db1);
  SideRow(out, "DB 2", report.db2);
  out << "</table>\n<p class=\"summary\" id=\"summary\">" << Html(text::SummaryText(findings))
      << "</p>\n";
  const auto& scope = report.options.scope;
  if (!scope.Include().empty() || !scope.Exclude().empty() || findings.strict) {
    out << "<p class=\"options\">";
    for (const std::string& pattern : scope.Include()) {
      out << "--tables <code>" << Html(pattern) << "</code> ";
    }
    for (const std::string& pattern : scope.Exclude()) {
      out << "--exclude <code>" << Html(pattern) << "</code> ";
    }
    if (findings.strict) out << "--strict";
    out << "</p>\n";
  }
  out << "</header>\n<main>\n<h2>Tables</h2>\n<table class=\"tables\" id=\"tables\">\n"
      << "<thead><tr><th>Table</th><th>DB 1</th><th>DB 2</th><th>Finding</th></tr></thead>\n"
      << "<tbody>\n";
  for (std::size_t i = 0; i < findings.tables.size(); ++i) {
    const compare::TableFinding& table = findings.tables[i];
    const bool section = HasSection(table, findings.oneWay);
    out << "<tr" << (section ? "" : " id=\"" + ids[i] + "\"") << " class=\""
        << compare::StatusName(table.status) << "\"><td>";
    if (section) {
      out << "<a href=\"#" << ids[i] << "\">" << Html(table.Name()) << "</a>";
    } else {
      out << Html(table.Name());
    }
    out << "</td><td>" << Html(table.db1Name.value_or("")) << "</td><td>"
        << Html(table.db2Name.value_or("")) << "</td><td>" << Badge(table) << "</td></tr>\n";
  }
  out << "</tbody>\n</table>\n";
  for (std::size_t i = 0; i < findings.tables.size(); ++i) {
    if (HasSection(findings.tables[i], findings.oneWay)) {
      Section(out, findings.tables[i], ids[i], findings.strict, findings.oneWay);
    }
  }
  out << "</main>\n<footer>vantrix-diff " << ToolVersion();
  if (report.generatedAt) out << ", " << Html(*report.generatedAt);
  out << "</footer>\n</body>\n</html>\n";
}

}  // namespace vantrix::report
