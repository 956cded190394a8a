// The whole structure of a PostgreSQL schema, from the catalog: one
// statement each for the indexes (the primary key among them), the
// references and checks, and the triggers, whatever the number of tables.
#include <libpq-fe.h>

#include <algorithm>
#include <unordered_map>

#include "db/Ascii.h"
#include "db/Defaults.h"
#include "db/PostgreSQLServer.h"

namespace vantrix::db {
namespace {

constexpr std::string_view kSchemaIs =
    " n.nspname = COALESCE(NULLIF($1::text, ''), pg_catalog.current_schema())";
constexpr std::string_view kTableIs = " AND c.relname = $2::text";

std::string Text(const Row& row, std::size_t at) {
  return at < row.size() ? row[at].StringValue() : std::string();
}
bool True(const Row& row, std::size_t at) { return Text(row, at) == "t"; }

std::string Joined(const std::vector<std::string>& names, std::string_view between = ", ") {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : std::string(between)) + name;
  return out;
}

// Whether `name` is one PostgreSQL makes up for an object of `table` left
// unnamed: the table's name, the columns', and a suffix ("orders_pkey",
// "orders_customer_id_fkey", "orders_status_idx1").
bool MadeUpName(std::string_view name, std::string_view table, std::string_view suffix) {
  while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.remove_suffix(1);
  return name.size() > table.size() + suffix.size() && name.starts_with(table) &&
         name[table.size()] == '_' && name.ends_with(suffix);
}

std::string Action(std::string_view code) {
  if (code == "r") return "RESTRICT";
  if (code == "c") return "CASCADE";
  if (code == "n") return "SET NULL";
  if (code == "d") return "SET DEFAULT";
  return "NO ACTION";
}

}  // namespace

bool PostgreSQLServer::ReadStructure(Schema& schema, const std::optional<std::string>& onlyTable,
                                     const FieldNumbers& fields) {
  std::unordered_map<std::string, Table*> byName;
  for (Table& table : schema.tables) byName.emplace(table.name, &table);
  const auto tableNamed = [&](const std::string& name) -> Table* {
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
  };
  // A field of a table by its number, as the field read found it.
  const auto fieldOf = [&fields](const Table& table, int number) -> const FieldNumber* {
    const auto found = fields.find(table.name);
    if (found == fields.end()) return nullptr;
    for (const FieldNumber& f : found->second) {
      if (f.number == number) return &f;
    }
    return nullptr;
  };
  std::vector<std::string> params{SchemaName};
  std::string where = std::string(" WHERE") + std::string(kSchemaIs);
  if (onlyTable) {
    params.push_back(*onlyTable);
    where += kTableIs;
  }
  static constexpr std::string_view kOfTable =
      " JOIN pg_catalog.pg_namespace AS n ON n.oid = c.relnamespace";

  // 1. Indexes part by part: a column's number, or an expression's text.
  // The server's own text of an index (pg_get_indexdef) costs some 25 µs
  // a call, 0.4 s for 2,000 tables; it is asked for only where the text
  // made here from the parts, the same for plain indexes, would differ: an expression, a predicate, INCLUDE columns, an operator class or
  // a collation of the index's own, NULLS NOT DISTINCT, a partitioned
  // table's (ON ONLY). Keys and unique constraints are declared otherwise.
  const std::string ownText =
      std::string(
          "con.oid IS NULL AND NOT i.indisprimary AND (i.indexprs IS NOT NULL"
          " OR i.indpred IS NOT NULL OR i.indnatts <> i.indnkeyatts OR c.relkind = 'p'"
          " OR NOT oc.opcdefault OR i.indcollation[k.n - 1] NOT IN (0, 100)") +
      (PQserverVersion(conn_) >= 150000 ? " OR i.indnullsnotdistinct)" : ")");
  // The text made here, as pg_get_indexdef writes it; an index's parts
  // come one after the other.
  struct Made {
    Index* index = nullptr;
    std::string head;
    std::vector<std::string> parts;
  } made;
  const auto finish = [&made] {
    if (made.index && made.index->declared.empty()) {
      made.index->declared = made.head + Joined(made.parts) + ")";
    }
    made = Made{};
  };
  const bool indexesRead = QueryEach(
      "SELECT c.relname, ic.relname, i.indisunique, i.indisprimary, con.oid IS NOT NULL,"
      " am.amname, CASE WHEN " +
          ownText +
          " THEN pg_catalog.pg_get_indexdef(i.indexrelid) END,"
          " pg_catalog.pg_get_expr(i.indpred, i.indrelid), i.indkey[k.n - 1],"
          " CASE WHEN i.indkey[k.n - 1] = 0"
          " THEN pg_catalog.pg_get_indexdef(i.indexrelid, k.n, true) END,"
          " i.indoption[k.n - 1], pg_catalog.quote_ident(n.nspname),"
          " pg_catalog.quote_ident(c.relname), pg_catalog.quote_ident(ic.relname)"
          " FROM pg_catalog.pg_index AS i"
          " JOIN pg_catalog.pg_class AS c ON c.oid = i.indrelid" +
          std::string(kOfTable) +
          " JOIN pg_catalog.pg_class AS ic ON ic.oid = i.indexrelid"
          " JOIN pg_catalog.pg_am AS am ON am.oid = ic.relam"
          " LEFT JOIN pg_catalog.pg_constraint AS con ON con.conindid = i.indexrelid"
          " AND con.conrelid = i.indrelid AND con.contype IN ('p', 'u', 'x')"
          " CROSS JOIN LATERAL pg_catalog.generate_series(1, i.indnkeyatts::integer) AS k(n)"
          " JOIN pg_catalog.pg_opclass AS oc ON oc.oid = i.indclass[k.n - 1]" +
          where + " ORDER BY i.indexrelid, k.n",
      params, [&](const Row& r) {
        // The text made here, as pg_get_indexdef writes it, for the indexes it
        // was not asked for. An index's parts come one after the other.
        Table* table = tableNamed(Text(r, 0));
        if (!table) return;
        const std::string name = Text(r, 1);
        const auto number = static_cast<int>(r[8].IntegerValue());
        const FieldNumber* field = fieldOf(*table, number);
        // A field made since the fields were read is named by its number.
        const std::string column = field ? field->name : "#" + std::to_string(number);
        if (True(r, 3)) {
          table->primaryKey.push_back(column);
          if (!MadeUpName(name, table->name, "pkey")) table->primaryKeyName = name;
          return;
        }
        if (table->indexes.empty() || table->indexes.back().name != name) {
          finish();
          Index index;
          index.name = name;
          index.unique = True(r, 2);
          index.constraint = True(r, 4);
          index.engineNamed = MadeUpName(name, table->name, index.constraint ? "_key" : "_idx");
          const std::string method = Text(r, 5);
          if (method != "btree") index.method = method;
          index.predicate = Text(r, 7);
          table->indexes.push_back(std::move(index));
          made.index = &table->indexes.back();
          made.head = std::string("CREATE ") + (True(r, 2) ? "UNIQUE " : "") + "INDEX " +
                      Text(r, 13) + " ON " + Text(r, 11) + "." + Text(r, 12) + " USING " + method +
                      " (";
        }
        Index& index = table->indexes.back();
        if (!r[6].IsNull()) index.declared = Text(r, 6);
        IndexPart part;
        std::string text;
        if (number == 0) {
          part.expression = Text(r, 9);
          text = part.expression;
        } else {
          part.column = column;
          text = field ? field->quoted : column;
        }
        const long long option = r[10].IntegerValue();
        part.descending = (option & 1) != 0;
        const bool nullsFirst = (option & 2) != 0;
        if (part.descending) text += nullsFirst ? " DESC" : " DESC NULLS LAST";
        if (!part.descending && nullsFirst) text += " NULLS FIRST";
        made.parts.push_back(std::move(text));
        index.parts.push_back(std::move(part));
      });
  if (!indexesRead) return false;
  finish();

  // 2. References column by column, and checks. A reference's text is
  // made here as pg_get_constraintdef writes it (some 25 µs a call, 50 ms
  // for 2,000 references), which is asked of the server only where it would
  // write more: a match type, deferral, NOT VALID, SET NULL or SET DEFAULT
  // of some columns, or a referenced table the search path does not find
  // by its name alone.
  //
  // Most references name a table of the first schema of the search path,
  // which its name alone finds unless the system catalog, searched before
  // it, has a table of that name: known so without the server's own
  // look-up, which costs a catalog cache miss for each referenced table in
  // a new session (30 ms for 2,000), left for the others.
  const int version = PQserverVersion(conn_);
  const std::string ownReference =
      std::string(
          "con.contype = 'f' AND (con.confmatchtype <> 's' OR con.condeferrable"
          " OR con.condeferred OR NOT con.convalidated"
          " OR NOT ((COALESCE(rn.nspname = pg_catalog.current_schema(), false)"
          " AND rc.relname NOT IN (SELECT s.relname FROM pg_catalog.pg_class AS s"
          " WHERE s.relnamespace = 'pg_catalog'::pg_catalog.regnamespace))"
          " OR pg_catalog.pg_table_is_visible(con.confrelid))") +
      (version >= 150000 ? " OR con.confdelsetcols IS NOT NULL" : "") +
      (version >= 180000 ? " OR con.conperiod OR NOT con.conenforced" : "") + ")";
  struct MadeReference {
    ForeignKey* key = nullptr;
    std::vector<std::string> columns;
    std::vector<std::string> referenced;
    std::string table;
  } reference;
  const auto finishReference = [&reference] {
    ForeignKey* key = reference.key;
    if (key && key->declared.empty()) {
      std::string text = "CONSTRAINT " + key->name + " FOREIGN KEY (" + Joined(reference.columns) +
                         ") REFERENCES " + reference.table + "(" +
                         Joined(reference.referenced) + ")";
      if (key->onUpdate != "NO ACTION") text += " ON UPDATE " + key->onUpdate;
      if (key->onDelete != "NO ACTION") text += " ON DELETE " + key->onDelete;
      key->declared = std::move(text);
    }
    reference = MadeReference{};
  };
  const bool constraintsRead = QueryEach(
      "SELECT c.relname, con.conname, con.contype, CASE WHEN " + ownReference +
          " THEN pg_catalog.pg_get_constraintdef(con.oid) END,"
          " pg_catalog.pg_get_expr(con.conbin, con.conrelid), rc.relname, rn.nspname,"
          " rn.oid = n.oid, con.confupdtype, con.confdeltype, k.attnum, ra.attname,"
          " NULL, pg_catalog.quote_ident(ra.attname), pg_catalog.quote_ident(rc.relname)"
          " FROM pg_catalog.pg_constraint AS con"
          " JOIN pg_catalog.pg_class AS c ON c.oid = con.conrelid" +
          std::string(kOfTable) +
          " LEFT JOIN pg_catalog.pg_class AS rc ON rc.oid = con.confrelid"
          " LEFT JOIN pg_catalog.pg_namespace AS rn ON rn.oid = rc.relnamespace"
          " LEFT JOIN LATERAL ROWS FROM (pg_catalog.unnest(con.conkey),"
          " pg_catalog.unnest(con.confkey)) WITH ORDINALITY"
          " AS k(attnum, refnum, n) ON con.contype = 'f'"
          " LEFT JOIN pg_catalog.pg_attribute AS ra ON ra.attrelid = con.confrelid"
          " AND ra.attnum = k.refnum" +
          where +
          " AND con.contype IN ('f', 'c')"
          " ORDER BY c.relname COLLATE \"C\", con.conname COLLATE \"C\", k.n",
      params, [&](const Row& r) {
        Table* table = tableNamed(Text(r, 0));
        if (!table) return;
        const std::string name = Text(r, 1);
        if (Text(r, 2) == "c") {
          table->checks.push_back({name, MadeUpName(name, table->name, "_check"), Text(r, 4)});
          return;
        }
        if (table->foreignKeys.empty() || table->foreignKeys.back().name != name) {
          finishReference();
          ForeignKey key;
          key.name = name;
          key.engineNamed = MadeUpName(name, table->name, "_fkey");
          // A table of another schema is named with its schema.
          key.referencedTable = True(r, 7) ? Text(r, 5) : Text(r, 6) + "." + Text(r, 5);
          key.onUpdate = Action(Text(r, 8));
          key.onDelete = Action(Text(r, 9));
          if (!r[3].IsNull()) key.declared = "CONSTRAINT " + name + " " + Text(r, 3);
          table->foreignKeys.push_back(std::move(key));
          reference.key = &table->foreignKeys.back();
          reference.table = Text(r, 14);
        }
        // The table's own fields by their numbers, as the field read found
        // them (a field made since is named by its number).
        const FieldNumber* field = fieldOf(*table, static_cast<int>(r[10].IntegerValue()));
        table->foreignKeys.back().columns.push_back(field ? field->name : "#" + Text(r, 10));
        table->foreignKeys.back().referencedColumns.push_back(Text(r, 11));
        reference.columns.push_back(field ? field->quoted : "#" + Text(r, 10));
        reference.referenced.push_back(Text(r, 13));
      });
  if (constraintsRead) finishReference();
  if (!constraintsRead) return false;

  // 3. Triggers, with the source of the function each runs.
  auto triggers = Query(
      "SELECT c.relname, t.tgname, t.tgtype, pg_catalog.pg_get_triggerdef(t.oid), p.prosrc"
      " FROM pg_catalog.pg_trigger AS t"
      " JOIN pg_catalog.pg_class AS c ON c.oid = t.tgrelid" +
          std::string(kOfTable) + " JOIN pg_catalog.pg_proc AS p ON p.oid = t.tgfoid" + where +
          " AND NOT t.tgisinternal ORDER BY c.relname COLLATE \"C\", t.tgname COLLATE \"C\"",
      params);
  if (!triggers) return false;
  for (const Row& r : triggers->Rows()) {
    Table* table = tableNamed(Text(r, 0));
    if (!table) continue;
    const long long type = r[2].IntegerValue();
    Trigger trigger;
    trigger.name = Text(r, 1);
    trigger.timing = (type & 64) != 0 ? "INSTEAD OF" : (type & 2) != 0 ? "BEFORE" : "AFTER";
    std::vector<std::string> events;
    if ((type & 4) != 0) events.emplace_back("INSERT");
    if ((type & 16) != 0) events.emplace_back("UPDATE");
    if ((type & 8) != 0) events.emplace_back("DELETE");
    if ((type & 32) != 0) events.emplace_back("TRUNCATE");
    trigger.event = Joined(events, " OR ");
    trigger.declared = Text(r, 3);
    // What runs: the function called, with its arguments and any WHEN
    // condition, and the function's own statements.
    const std::size_t forEach = trigger.declared.find(" FOR EACH ");
    trigger.body =
        (forEach == std::string::npos ? trigger.declared : trigger.declared.substr(forEach + 1)) +
        "\n" + Text(r, 4);
    table->triggers.push_back(std::move(trigger));
  }

  for (Table& table : schema.tables) {
    // Indexes by name in byte order, as the server's "C" collation sorts them.
    std::sort(table.indexes.begin(), table.indexes.end(),
              [](const Index& a, const Index& b) { return a.name < b.name; });
    for (Index& index : table.indexes) {
      if (!index.constraint) continue;
      std::vector<std::string> columns;
      for (const IndexPart& part : index.parts) columns.push_back(part.column);
      index.declared = "CONSTRAINT " + index.name + " UNIQUE (" + Joined(columns) + ")";
    }
  }
  return true;
}

}  // namespace vantrix::db
