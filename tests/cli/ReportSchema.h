#pragma once

#include <string>

namespace vantrix::test {

// The JSON Schema of vantrix-diff's report.
std::string SchemaFile();

// Validates a report against that schema with python3-jsonschema; the
// answer is the validator's complaints, empty when there are none.
std::string SchemaComplaints(const std::string& document);

}  // namespace vantrix::test
