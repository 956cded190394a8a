// The Markdown report, fit for a pull-request comment: a headline, both
// sides, the summary, one table of the tables worth a look, and a table of
// fields for each table with field findings. Every name is escaped.
#include "report/Report.h"
#include "report/Text.h"

namespace vantrix::report {
namespace {

using compare::TableStatus;
using text::Markdown;

void Sides(std::ostream& out, const Report& report) {
  out << "**DB 1:** " << Markdown(text::SideText(report.db1)) << ", " << report.db1.tableCount
      << " tables  \n"
      << "**DB 2:** " << Markdown(text::SideText(report.db2)) << ", " << report.db2.tableCount
      << " tables\n\n";
}

std::string TableCell(const compare::TableFinding& table, bool strict, bool oneWay) {
  std::string cell = table.note.empty() ? text::StatusPhrase(table) : table.note;
  if (table.status == TableStatus::kNotChecked) cell += ": " + Markdown(text::Reasons(table));
  // One-way, the window's question: a name's letter case is no note there.
  if (table.nameCaseDiffers && !oneWay) {
    cell += strict ? "; table name differs in letter case"
                   : "; note: table name differs in letter case";
  }
  return cell;
}

void FieldTable(std::ostream& out, const compare::TableFinding& table) {
  out << "\n### " << Markdown(text::TableTitle(table)) << ": "
      << (table.note.empty() ? text::StatusPhrase(table) : table.note) << "\n\n"
      << "| Field | Finding | DB 1 | DB 2 |\n|---|---|---|---|\n";
  for (const compare::FieldFinding& field : table.fields) {
    std::string finding = field.note;
    if (finding.empty()) {
      finding = std::string(field.counts ? "" : "note: ") + text::KindPhrase(field.kind);
      if (!field.detail.empty()) finding += ": " + Markdown(field.detail);
    }
    out << "| " << Markdown(field.name) << " | " << finding << " | "
        << Markdown(text::SideFact(field, 1)) << " | " << Markdown(text::SideFact(field, 2))
        << " |\n";
  }
}

void StructureTable(std::ostream& out, const compare::TableFinding& table) {
  if (table.fields.empty()) {
    out << "\n### " << Markdown(text::TableTitle(table)) << ": "
        << (table.note.empty() ? text::StatusPhrase(table) : table.note) << "\n";
  }
  out << "\n| Structure | Finding | DB 1 | DB 2 |\n|---|---|---|---|\n";
  for (const compare::StructureFinding& finding : table.structure) {
    const std::string phrase = text::StructurePhrase(finding);
    const std::size_t colon = phrase.rfind(": ");
    out << "| " << Markdown(phrase.substr(0, colon)) << " | " << (finding.counts ? "" : "note: ")
        << Markdown(phrase.substr(colon + 2)) << " | " << Markdown(finding.db1.value_or(""))
        << " | " << Markdown(finding.db2.value_or("")) << " |\n";
  }
}

}  // namespace

void WriteMarkdown(std::ostream& out, const Report& report) {
  const compare::Findings& findings = report.findings;
  out << "## vantrix-diff" << (findings.oneWay ? " (one-way)" : "") << ": "
      << text::Headline(findings) << "\n\n";
  Sides(out, report);
  out << text::SummaryText(findings) << "\n";

  // One-way lists every DB 1 table, as the window does; the symmetric
  // report only the tables with something to say.
  bool header = false;
  for (const compare::TableFinding& table : findings.tables) {
    const bool quiet =
        table.status == TableStatus::kSame && table.fields.empty() && table.structure.empty() &&
        (!table.nameCaseDiffers || findings.oneWay);
    if (quiet && !findings.oneWay) continue;
    if (!header) {
      out << "\n| Table | Finding |\n|---|---|\n";
      header = true;
    }
    out << "| " << Markdown(text::TableTitle(table)) << " | " << TableCell(table, findings.strict, findings.oneWay)
        << " |\n";
  }
  for (const compare::TableFinding& table : findings.tables) {
    if (!table.fields.empty()) FieldTable(out, table);
    if (!table.structure.empty()) StructureTable(out, table);
  }
}

}  // namespace vantrix::report
