#pragma once

#include <string>
#include <vector>

#include "db/RecordSet.h"

namespace vantrix::test {

// One column (counted from 1) of every record, read from the first.
inline std::vector<std::string> Column(db::RecordSet& records, int column) {
  std::vector<std::string> values;
  for (records.MoveFirst(); !records.IsEOF(); records.MoveNext()) {
    values.push_back(records.IdxField(column).StringValue());
  }
  return values;
}

}  // namespace vantrix::test
