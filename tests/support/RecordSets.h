#pragma once

#include <optional>
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

// Every value of every record (NULL as none), row by row.
using RowValues = std::vector<std::vector<std::optional<std::string>>>;
inline RowValues Rows(const db::RecordSet& records) {
  RowValues rows;
  for (const db::Row& row : records.Rows()) {
    std::vector<std::optional<std::string>> values;
    for (const db::DatabaseField& field : row) values.push_back(field.Value());
    rows.push_back(values);
  }
  return rows;
}

}  // namespace vantrix::test
