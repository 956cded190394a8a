// The JUnit XML report: one test suite for the comparison, one test case
// per table, and a failure for each table that is not the same, so that CI
// systems list the differing tables among their test results.
#include "report/Report.h"
#include "report/Text.h"

namespace vantrix::report {
namespace {

using compare::TableStatus;
using text::Xml;
using text::XmlAttribute;

// The lines of a table's findings, as in the text report.
std::string Details(const compare::TableFinding& table, bool oneWay, bool strict) {
  std::string lines;
  if (table.status == TableStatus::kNotChecked) {
    if (!table.notice.empty()) lines += table.notice + "\n";
    lines += text::Reasons(table) + "\n";
  }
  // One-way, the window's question: a name's letter case is no note there.
  if (table.nameCaseDiffers && !oneWay) {
    lines += strict ? "table name differs in letter case\n"
                    : "note: table name differs in letter case\n";
  }
  for (const compare::FieldFinding& field : table.fields) {
    if (oneWay) {
      lines += field.name + ": " + field.note + "\n";
    } else {
      lines += std::string(field.counts ? "" : "note: ") + field.name + ": " +
               text::KindPhrase(field.kind) + " (" + text::FieldDetail(field) + ")\n";
    }
  }
  for (const compare::StructureFinding& finding : table.structure) {
    const std::string detail = text::StructureDetail(finding);
    lines += std::string(finding.counts ? "" : "note: ") + text::StructurePhrase(finding) +
             (detail.empty() ? "" : " (" + detail + ")") + "\n";
  }
  return lines;
}

}  // namespace

void WriteJunit(std::ostream& out, const Report& report) {
  const compare::Findings& findings = report.findings;
  const std::size_t tests = findings.tables.size();
  const int failures = findings.DifferingTables();
  const std::string suite = "DB 1 " + text::SideText(report.db1) + " against DB 2 " +
                            text::SideText(report.db2) + (findings.oneWay ? " (one-way)" : "");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"vantrix-diff\" tests=\"" << tests << "\" failures=\"" << failures
      << "\" errors=\"0\">\n"
      << "<testsuite name=\"" << XmlAttribute(suite) << "\" tests=\"" << tests << "\" failures=\""
      << failures << "\" errors=\"0\" skipped=\"0\">\n";
  for (const compare::TableFinding& table : findings.tables) {
    out << "<testcase classname=\"vantrix-diff.tables\" name=\""
        << XmlAttribute(text::TableTitle(table)) << "\"";
    const std::string details = Details(table, findings.oneWay, findings.strict);
    const std::string status = table.note.empty() ? text::StatusPhrase(table) : table.note;
    if (table.status != TableStatus::kSame) {
      out << ">\n<failure message=\"" << XmlAttribute(status) << "\" type=\""
          << compare::StatusName(table.status) << "\">" << Xml(details) << "</failure>\n"
          << "</testcase>\n";
    } else if (!details.empty()) {
      out << ">\n<system-out>" << Xml(details) << "</system-out>\n</testcase>\n";
    } else {
      out << "/>\n";
    }
  }
  out << "</testsuite>\n</testsuites>\n";
}

}  // namespace vantrix::report
