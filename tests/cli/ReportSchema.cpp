#include "ReportSchema.h"

#include "Process.h"

namespace vantrix::test {

std::string SchemaFile() { return VANTRIX_SOURCE_DIR "/report/vantrix-diff.schema.json"; }

std::string SchemaComplaints(const std::string& document) {
  Process::Options options;
  options.input = document;
  const Outcome checked = RunProcess(
      VANTRIX_PYTHON3, {VANTRIX_CLI_TEST_DIR "/validate_json.py", SchemaFile()}, options);
  if (checked.status == 0) return {};
  return "status " + std::to_string(checked.status) + ": " + checked.out + checked.err;
}

}  // namespace vantrix::test
