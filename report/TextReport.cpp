// The plain-text report: one line per finding, grouped by table (a field's
// findings indented under its table), and a summary line last.
#include "report/Report.h"
#include "report/Text.h"

namespace vantrix::report {
namespace {

using compare::FieldKind;
using compare::TableStatus;

class Painter {
public:
  explicit Painter(bool colour) : colour_(colour) {}
  [[nodiscard]] std::string Bold(const std::string& text) const { return Paint("1", text); }
  [[nodiscard]] std::string Red(const std::string& text) const { return Paint("31", text); }
  [[nodiscard]] std::string Green(const std::string& text) const { return Paint("32", text); }
  [[nodiscard]] std::string Yellow(const std::string& text) const { return Paint("33", text); }

  [[nodiscard]] std::string Status(TableStatus status, const std::string& text) const {
    switch (status) {
      case TableStatus::kSame:
        return Green(text);
      case TableStatus::kNotChecked:
        return Yellow(text);
      default:
        return Red(text);
    }
  }

private:
  [[nodiscard]] std::string Paint(const char* code, const std::string& text) const {
    if (!colour_) return text;
    return std::string("\033[") + code + "m" + text + "\033[0m";
  }
  bool colour_;
};

void Symmetric(std::ostream& out, const compare::Findings& findings, const Painter& paint) {
  for (const compare::TableFinding& table : findings.tables) {
    if (table.status == TableStatus::kSame && table.fields.empty() && table.structure.empty() &&
        !table.nameCaseDiffers) {
      continue;
    }
    out << paint.Bold(text::Plain(text::TableTitle(table))) << ": "
        << paint.Status(table.status, text::StatusPhrase(table));
    if (table.status == TableStatus::kNotChecked)
      out << " (" << text::Plain(text::Reasons(table)) << ")";
    out << '\n';
    if (table.nameCaseDiffers) {
      out << "  "
          << (findings.strict ? paint.Red("table name differs in letter case")
                              : paint.Yellow("note: table name differs in letter case"))
          << '\n';
    }
    for (const compare::FieldFinding& field : table.fields) {
      const std::string what = std::string(field.counts ? "" : "note: ") + text::Plain(field.name) +
                               ": " + text::KindPhrase(field.kind);
      out << "  " << (field.counts ? paint.Red(what) : paint.Yellow(what)) << " ("
          << text::Plain(text::FieldDetail(field)) << ")\n";
    }
    for (const compare::StructureFinding& finding : table.structure) {
      const std::string what = std::string(finding.counts ? "" : "note: ") +
                               text::Plain(text::StructurePhrase(finding));
      const std::string detail = text::StructureDetail(finding);
      out << "  " << (finding.counts ? paint.Red(what) : paint.Yellow(what))
          << (detail.empty() ? "" : " (" + text::Plain(detail) + ")") << '\n';
    }
  }
}

void OneWay(std::ostream& out, const compare::Findings& findings, const Painter& paint) {
  for (const compare::TableFinding& table : findings.tables) {
    out << paint.Bold(text::Plain(text::TableTitle(table))) << ": "
        << paint.Status(table.status, table.note) << '\n';
    if (table.status == TableStatus::kNotChecked) {
      out << "  " << paint.Yellow(table.notice) << " (" << text::Plain(text::Reasons(table))
          << ")\n";
    }
    for (const compare::FieldFinding& field : table.fields) {
      const std::string note =
          field.kind == FieldKind::kSame ? paint.Green(field.note) : paint.Red(field.note);
      out << "  " << text::Plain(field.name) << ": " << note << '\n';
    }
  }
}

}  // namespace

void WriteText(std::ostream& out, const Report& report, bool colour) {
  const Painter paint(colour);
  if (report.findings.oneWay) {
    OneWay(out, report.findings, paint);
  } else {
    Symmetric(out, report.findings, paint);
  }
  out << paint.Bold("Summary: " + text::SummaryText(report.findings)) << '\n';
}

}  // namespace vantrix::report
