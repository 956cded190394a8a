#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrix::db {

// One value of a record: text as the engine gave it (UTF-8, no conversion),
// or no value at all for SQL NULL.
class DatabaseField {
public:
  DatabaseField() = default;
  explicit DatabaseField(std::optional<std::string> value) : value_(std::move(value)) {}

  [[nodiscard]] std::string StringValue() const { return value_.value_or(std::string()); }
  // The leading integer of the text, 0 when there is none or it overflows.
  [[nodiscard]] std::int64_t IntegerValue() const;
  // The value for comparisons: its text, with NULL distinct from every text.
  [[nodiscard]] const std::optional<std::string>& Value() const { return value_; }
  [[nodiscard]] bool IsNull() const { return !value_.has_value(); }

  bool operator==(const DatabaseField&) const = default;

  // For a reader that fills one row again and again: the text's storage
  // is kept from one value to the next.
  void Set(std::string_view text) {
    if (value_) {
      value_->assign(text);
    } else {
      value_.emplace(text);
    }
  }
  void SetNull() { value_.reset(); }

private:
  std::optional<std::string> value_;
};

using Row = std::vector<DatabaseField>;

// A fully read result: it holds its rows in memory, so it stays readable after
// the connection that produced it is closed and can be rewound at will.
class RecordSet {
public:
  RecordSet() = default;
  RecordSet(std::vector<std::string> columnNames, std::vector<Row> rows)
      : columns_(std::move(columnNames)), rows_(std::move(rows)) {}

  // End of the records. (Called IsEOF because EOF is a C library macro.)
  [[nodiscard]] bool IsEOF() const { return current_ >= rows_.size(); }
  void MoveNext() {
    if (current_ < rows_.size()) ++current_;
  }
  void MoveFirst() { current_ = 0; }
  [[nodiscard]] int FieldCount() const { return static_cast<int>(columns_.size()); }
  // Column of the current record, counted from 1. Outside the record (or at
  // the end) it answers an empty field instead of failing.
  [[nodiscard]] DatabaseField IdxField(int index) const;

  [[nodiscard]] std::size_t RecordCount() const { return rows_.size(); }
  [[nodiscard]] const std::vector<std::string>& ColumnNames() const { return columns_; }
  [[nodiscard]] const std::vector<Row>& Rows() const { return rows_; }

private:
  std::vector<std::string> columns_;
  std::vector<Row> rows_;
  std::size_t current_ = 0;
};

using DatabaseColumn = DatabaseField;

// The result of SelectSQL: the same rows, read from the first with
// AfterLastRow / ColumnAt (columns counted from 0).
class RowSet {
public:
  RowSet() = default;
  explicit RowSet(RecordSet records) : records_(std::move(records)) {}

  [[nodiscard]] bool AfterLastRow() const { return records_.IsEOF(); }
  void MoveToNextRow() { records_.MoveNext(); }
  [[nodiscard]] DatabaseColumn ColumnAt(int index) const { return records_.IdxField(index + 1); }
  [[nodiscard]] int ColumnCount() const { return records_.FieldCount(); }
  [[nodiscard]] std::size_t RowCount() const { return records_.RecordCount(); }

private:
  RecordSet records_;
};

}  // namespace vantrix::db
