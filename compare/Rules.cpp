#include "compare/Rules.h"

#include <QString>

#include "db/Database.h"

namespace vantrix::compare {
namespace {

// The first DB 2 field of each name decides, so only it is indexed.
std::unordered_map<std::string_view, long long> FirstCodeByName(const FieldList& fields) {
  std::unordered_map<std::string_view, long long> codes;
  codes.reserve(fields.size());
  for (const Field& f : fields) codes.emplace(f.name, f.typeCode);
  return codes;
}

}  // namespace

FieldList FieldsOf(db::RecordSet& schema) {
  FieldList fields;
  fields.reserve(schema.RecordCount());
  for (schema.MoveFirst(); !schema.IsEOF(); schema.MoveNext()) {
    fields.push_back({schema.IdxField(db::kFieldName).StringValue(),
                      schema.IdxField(db::kFieldTypeCode).IntegerValue()});
  }
  schema.MoveFirst();
  return fields;
}

const char* NoteFor(TableOutcome outcome) {
  switch (outcome) {
    case TableOutcome::Ok: return kTableOk;
    case TableOutcome::Missing: return kTableNotOk;
    case TableOutcome::FieldsDiffer: return kFieldsNotOk;
    case TableOutcome::NotChecked: return kTableNotChecked;
  }
  return kTableNotChecked;
}

std::string FoldCase(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
      .toCaseFolded()
      .toStdString();
}

TableIndex::TableIndex(const std::vector<std::string>& names) {
  firstByFolded_.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) firstByFolded_.emplace(FoldCase(names[i]), i);
}

std::optional<std::size_t> TableIndex::Find(std::string_view name) const {
  auto it = firstByFolded_.find(FoldCase(name));
  if (it == firstByFolded_.end()) return std::nullopt;
  return it->second;
}

bool FieldsDiffer(const FieldList& db1, const FieldList& db2) {
  const auto codes = FirstCodeByName(db2);
  for (const Field& f : db1) {
    auto it = codes.find(f.name);
    if (it == codes.end() || it->second != f.typeCode) return true;
  }
  return false;
}

std::vector<FieldVerdict> CompareFields(const FieldList& db1, const FieldList& db2) {
  const auto codes = FirstCodeByName(db2);
  std::vector<FieldVerdict> verdicts;
  verdicts.reserve(db1.size());
  for (const Field& f : db1) {
    auto it = codes.find(f.name);
    const bool found = it != codes.end();
    verdicts.push_back({f.name, found, found && it->second == f.typeCode});
  }
  return verdicts;
}

std::string FieldNote(const FieldVerdict& verdict) {
  return std::string(verdict.nameFound ? kNameOk : kNameNotOk) +
         (verdict.typeEqual ? kTypeOk : kTypeNotOk);
}

}  // namespace vantrix::compare
