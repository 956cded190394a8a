#include "db/RecordSet.h"

#include <charconv>

namespace vantrix::db {

std::int64_t DatabaseField::IntegerValue() const {
  if (!value_) return 0;
  const std::string& text = *value_;
  std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return 0;
  if (text[start] == '+') ++start;
  std::int64_t result = 0;
  auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + text.size(), result);
  (void)ptr;
  return ec == std::errc() ? result : 0;
}

DatabaseField RecordSet::IdxField(int index) const {
  if (IsEOF() || index < 1) return {};
  const Row& row = rows_[current_];
  if (static_cast<std::size_t>(index) > row.size()) return {};
  return row[static_cast<std::size_t>(index) - 1];
}

}  // namespace vantrix::db
