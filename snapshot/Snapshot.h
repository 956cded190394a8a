#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "db/Schema.h"

// A schema kept in a file: one database's whole structure as a versioned
// JSON document (its JSON Schema is snapshot/vantrix-snapshot.schema.json),
// written so that it diffs well and reads back to the same schema.
namespace vantrix::snapshot {

inline constexpr int kSnapshotVersion = 1;
// The largest snapshot read.
inline constexpr std::size_t kMaxSnapshotBytes = 256u * 1024 * 1024;

// The name a default's kind has in a snapshot: "none", "null", "number",
// "string", "boolean", "current_time" or "expression".
const char* DefaultKindName(db::Default::Kind kind);

// Writes `schema` (with its engine set) as a snapshot: keys in a fixed
// order, tables and their indexes, keys, checks and triggers sorted by
// name, fields in the table's order, one line per field or object. The
// same schema always gives the same bytes; `generatedAt` (an ISO time) is
// written only when given.
void WriteSnapshot(std::ostream& out, const db::Schema& schema,
                   const std::optional<std::string>& generatedAt = std::nullopt);

struct ReadResult {
  std::optional<db::Schema> schema;
  std::string error;  // why the text is no snapshot this program reads
};

// Reads a snapshot's text. Anything that is not a snapshot of version
// kSnapshotVersion is refused with the reason, whatever it holds (deep
// nesting, huge texts, wrong types): nothing in it is trusted.
ReadResult ReadSnapshot(std::string_view text);

// Reads a snapshot file, refusing one that is no regular file or larger
// than snapshots get (256 MiB).
ReadResult ReadSnapshotFile(const std::string& path);

}  // namespace vantrix::snapshot
