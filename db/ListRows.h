#pragma once

#include <string>

namespace vantrix::db {

// What filling a list needs from a list control, so that the schema listing
// can fill one without knowing the toolkit.
class ListRows {
public:
  virtual ~ListRows() = default;
  virtual void AddRow(const std::string& cell0) = 0;
  // Sets a cell (columns from 0) of the row added last.
  virtual void SetLastRowCell(int column, const std::string& text) = 0;
  // Describes the row added last (for example the declared type behind a
  // field's type label), for its tooltip and for assistive tools. A list
  // that shows no descriptions ignores it.
  virtual void SetLastRowDescription(const std::string& /*text*/) {}
  virtual void DeleteAllRows() = 0;
};

}  // namespace vantrix::db
