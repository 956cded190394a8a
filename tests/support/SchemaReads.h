#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Database.h"

// Reading a schema the long way, for comparing with the whole-schema read.
namespace vantrix::test {

// The schema as the table list and one read per table give it.
inline db::Schema TableByTable(db::Database& db) {
  db::Schema schema;
  auto names = db.TableSchema();
  EXPECT_NE(names, nullptr) << db.ErrorMessage();
  if (!names) return schema;
  for (const db::Row& row : names->Rows()) {
    const std::string name = row[0].StringValue();
    auto table = db.ReadTable(name);
    EXPECT_TRUE(table.has_value()) << name << ": " << db.ErrorMessage();
    if (table) schema.tables.push_back(std::move(*table));
  }
  return schema;
}

// The tables' names, in the schema's order.
inline std::vector<std::string> NamesOf(const db::Schema& schema) {
  std::vector<std::string> names;
  for (const db::Table& table : schema.tables) names.push_back(table.name);
  return names;
}

}  // namespace vantrix::test
