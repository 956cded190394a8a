#include "compare/Rules.h"

#include <QString>
#include <QStringDecoder>

#include "db/Database.h"
#include "db/TypeCodes.h"

namespace vantrix::compare {
namespace {

// The first DB 2 field of each name decides, so only it is indexed.
std::unordered_map<std::string_view, const Field*> FirstByName(const FieldList& fields) {
  std::unordered_map<std::string_view, const Field*> first;
  first.reserve(fields.size());
  for (const Field& f : fields) first.emplace(f.name, &f);
  return first;
}

// A field's type and default, as a verdict keeps them.
FieldType TypeOf(const Field& f) {
  return {f.declaredType, f.typeCode,
          f.defaultValue.kind == db::Default::Kind::kNone
              ? std::nullopt
              : std::optional<std::string>(f.defaultValue.declared)};
}

}  // namespace

FieldList FieldsOf(db::RecordSet& schema) {
  FieldList fields;
  fields.reserve(schema.RecordCount());
  for (schema.MoveFirst(); !schema.IsEOF(); schema.MoveNext()) {
    fields.push_back({schema.IdxField(db::kFieldName).StringValue(),
                      static_cast<int>(schema.IdxField(db::kFieldTypeCode).IntegerValue()),
                      schema.IdxField(db::kFieldDeclaredType).StringValue(),
                      schema.IdxField(db::kFieldNotNull).IntegerValue() != 0,
                      schema.IdxField(db::kFieldPrimaryKey).IntegerValue() != 0});
  }
  schema.MoveFirst();
  return fields;
}

const char* NoteFor(TableOutcome outcome) {
  switch (outcome) {
    case TableOutcome::Ok:
      return kTableOk;
    case TableOutcome::Missing:
      return kTableNotOk;
    case TableOutcome::FieldsDiffer:
      return kFieldsNotOk;
    case TableOutcome::NotChecked:
      return kTableNotChecked;
  }
  return kTableNotChecked;
}

std::string FoldCase(std::string_view text) {
  QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded =
      fromUtf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  // A name that is not UTF-8 has no letters to fold: it keeps its bytes, so
  // that two such names never meet as the same replacement characters. The
  // mark byte cannot start folded UTF-8.
  if (fromUtf8.hasError()) return '\xFF' + std::string(text);
  return decoded.toCaseFolded().toStdString();
}

TableIndex::TableIndex(const std::vector<std::string>& names) {
  firstByExact_.reserve(names.size());
  firstByFolded_.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    firstByExact_.emplace(names[i], i);
    firstByFolded_.emplace(FoldCase(names[i]), i);
  }
}

std::optional<std::size_t> TableIndex::Find(std::string_view name) const {
  if (auto exact = firstByExact_.find(std::string(name)); exact != firstByExact_.end()) {
    return exact->second;
  }
  auto it = firstByFolded_.find(FoldCase(name));
  if (it == firstByFolded_.end()) return std::nullopt;
  return it->second;
}

bool SameType(const Field& a, const Field& b) {
  return db::SameType(a.typeCode, a.declaredType, b.typeCode, b.declaredType);
}

bool FieldsDiffer(const FieldList& db1, const FieldList& db2) {
  const auto first = FirstByName(db2);
  for (const Field& f : db1) {
    auto it = first.find(f.name);
    if (it == first.end() || !SameType(f, *it->second)) return true;
  }
  return false;
}

std::vector<FieldVerdict> CompareFields(const FieldList& db1, const FieldList& db2) {
  const auto first = FirstByName(db2);
  std::vector<FieldVerdict> verdicts;
  verdicts.reserve(db1.size());
  for (const Field& f : db1) {
    auto it = first.find(f.name);
    FieldVerdict verdict{f.name, false, false, TypeOf(f), std::nullopt};
    if (it != first.end()) {
      const Field& other = *it->second;
      verdict.nameFound = true;
      verdict.typeEqual = SameType(f, other);
      verdict.db2 = TypeOf(other);
    }
    verdicts.push_back(std::move(verdict));
  }
  return verdicts;
}

std::string FieldNote(const FieldVerdict& verdict) {
  return std::string(verdict.nameFound ? kNameOk : kNameNotOk) +
         (verdict.typeEqual ? kTypeOk : kTypeNotOk);
}

}  // namespace vantrix::compare
