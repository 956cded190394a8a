#include "report/Report.h"

#include "report/Version.h"

namespace vantrix::report {

std::optional<Format> FormatNamed(std::string_view name) {
  if (name == "text") return Format::kText;
  if (name == "json") return Format::kJson;
  if (name == "markdown") return Format::kMarkdown;
  if (name == "html") return Format::kHtml;
  if (name == "junit") return Format::kJunit;
  return std::nullopt;
}

void Write(Format format, std::ostream& out, const Report& report, bool colour) {
  switch (format) {
    case Format::kText:
      WriteText(out, report, colour);
      return;
    case Format::kJson:
      WriteJson(out, report);
      return;
    case Format::kMarkdown:
      WriteMarkdown(out, report);
      return;
    case Format::kHtml:
      WriteHtml(out, report);
      return;
    case Format::kJunit:
      WriteJunit(out, report);
      return;
  }
}

const char* ToolVersion() { return kVersion; }

}  // namespace vantrix::report
