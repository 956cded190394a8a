#include "db/SqliteColumns.h"

#include "db/Database.h"

namespace vantrix::db {

void MarkRowidAlias(std::vector<Column>& columns) {
  Column* key = nullptr;
  for (Column& column : columns) {
    if (!column.primaryKey) continue;
    if (key) return;  // a key of several columns: no alias
    key = &column;
  }
  if (key && EqualsIgnoringAsciiCase(key->declaredType, "INTEGER")) key->notNull = true;
}

}  // namespace vantrix::db
