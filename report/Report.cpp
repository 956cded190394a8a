#include "report/Report.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "report/Version.h"

namespace vantrix::report {

std::string GeneratedAtNow() {
  constexpr long long kLastSecondOf9999 = 253402300799;
  std::time_t when = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    long long seconds = 0;
    const char* end = epoch + std::strlen(epoch);
    const auto [ptr, ec] = std::from_chars(epoch, end, seconds);
    if (ec == std::errc() && ptr == end && seconds >= 0 && seconds <= kLastSecondOf9999) {
      when = static_cast<std::time_t>(seconds);
    }
  }
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

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
