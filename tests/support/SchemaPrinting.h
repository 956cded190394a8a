#pragma once

#include <ostream>

#include "db/Schema.h"

namespace vantrix::db {

// Readable tables in test failures.
inline void PrintTo(const Table& table, std::ostream* out) {
  *out << '"' << table.name << "\" state " << static_cast<int>(table.state) << " {";
  for (const Column& c : table.columns) {
    *out << ' ' << c.name << ':' << c.typeCode << ':' << c.declaredType << ':' << c.notNull
         << c.primaryKey;
  }
  *out << " }" << (table.error.empty() ? "" : " " + table.error);
}

}  // namespace vantrix::db
