#pragma once

#include <string>
#include <string_view>

#include "db/Schema.h"

// Defaults, expressions and referential actions, each engine's spellings
// turned into values that mean the same whoever wrote them.
namespace vantrix::db {

// A default as SQL declares it, for a column of `typeCode` (TypeCodes.h):
//   NULL                                      -> kNull
//   12, -1.50, (0), '12' on a number column   -> kNumber "12", "-1.5", "0"
//   'it''s', 'x'::character varying, N'x'     -> kString "it's", "x"
//   TRUE, FALSE, 1, '0', b'1', 't' on a boolean column -> kBoolean "true"/"false"
//   CURRENT_TIMESTAMP, current_timestamp(), now(), CURRENT_TIMESTAMP(0),
//   LOCALTIMESTAMP, CURRENT_DATE, curdate(), CURRENT_TIME -> kCurrentTime
//   anything else                             -> kExpression, the text as given
// An empty text is no default. Engines unwrap their own forms first (for
// example MariaDB's unquoted defaults before 10.2).
Default ParseDefault(std::string_view declared, int typeCode);

// Whether two defaults mean the same: no default and DEFAULT NULL are
// equal; expressions are compared by NormalizedExpression.
bool SameDefault(const Default& a, const Default& b);

// An expression with letter case and spacing set aside outside quotes,
// redundant outer parentheses dropped, and `qualifier.` (a schema or
// database name the engine writes before names, quoted or not) removed:
// for comparing checks, view definitions, generated columns and trigger
// bodies written by one engine.
std::string NormalizedExpression(std::string_view text, std::string_view qualifier = {});

// A referential action in upper case with single spaces ("SET NULL");
// empty or unknown text is "NO ACTION".
std::string NormalizedAction(std::string_view text);

}  // namespace vantrix::db
