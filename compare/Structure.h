#pragma once

#include <string>
#include <vector>

#include "compare/Findings.h"
#include "db/Schema.h"
#include "db/TypeDetails.h"

// The rules for the structure of two tables found on both sides: keys,
// indexes, references, checks, defaults, generated columns, collations,
// triggers and a view's definition, compared by meaning.
namespace vantrix::compare {

// One side of a structure comparison.
struct StructureSide {
  const db::Table& table;
  db::Dialect dialect;
  // The database or schema name the engine writes before names in view
  // definitions and checks ("shop" of `shop`.`orders`); empty when none.
  std::string qualifier;
};

// Every structure finding of two tables, in the order objects are listed:
// primary key, columns (defaults, auto-increment, generated, collation),
// indexes and unique constraints, foreign keys, checks, triggers, the view's
// definition, column order.
std::vector<StructureFinding> CompareStructure(const StructureSide& db1, const StructureSide& db2,
                                               const FindingsOptions& options);

}  // namespace vantrix::compare
