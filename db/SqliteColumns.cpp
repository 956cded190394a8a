#include "db/SqliteColumns.h"

#include "db/Database.h"
#include "db/Defaults.h"

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

void SetDeclaredDefault(Column& column, const std::optional<std::string>& dfltValue) {
  if (dfltValue) column.defaultValue = ParseDefault(*dfltValue, column.typeCode);
}

}  // namespace vantrix::db
