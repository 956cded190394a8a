#include "migrate/Planner.h"

namespace vantrix::migrate::plan {

std::string NamesKey(const std::vector<std::string>& names) {
  std::string key;
  for (const std::string& n : names) key += Folded(n) + '\x1f';
  return key;
}

namespace {

// The widening changes of type code that keep every value.
bool Widens(int from, int to) {
  static const std::set<std::pair<int, int>> kWider = {
      {1, 2},  {1, 3},  {1, 19}, {1, 13}, {2, 3},  {2, 19}, {2, 13}, {3, 19}, {3, 13},
      {19, 13}, {6, 7}, {4, 5},  {4, 15}, {5, 15}, {12, 1}, {12, 2}, {12, 3}, {12, 19},
      {1, 5},  {2, 5},  {3, 5},  {19, 5}, {13, 5}, {6, 5},  {7, 5},  {8, 5},  {9, 5},
      {10, 5}, {8, 10}};
  return kWider.contains({from, to});
}

}  // namespace

std::string Narrowing(const db::Column& before, const db::Column& after) {
  const db::TypeDetails a = db::ParseTypeDetails(before.declaredType, before.enumValues);
  const db::TypeDetails b = db::ParseTypeDetails(after.declaredType, after.enumValues);
  const std::string change =
      before.name + " changes from " + before.declaredType + " to " + after.declaredType;
  if (before.typeCode != after.typeCode) {
    if (!Widens(before.typeCode, after.typeCode)) return change + ", which may not hold its values";
    // Text widened to a text with a length must still be long enough.
    if (b.length && (!a.length || *a.length > *b.length)) return change + ", which is shorter";
    return {};
  }
  if (b.length && (!a.length || *a.length > *b.length)) return change + ", which is shorter";
  if (a.precision && b.precision) {
    const long long wholeA = *a.precision - a.scale.value_or(0);
    const long long wholeB = *b.precision - b.scale.value_or(0);
    if (wholeB < wholeA || b.scale.value_or(0) < a.scale.value_or(0)) {
      return change + ", which has less precision or scale";
    }
  } else if (b.precision && !a.precision && (after.typeCode == 13)) {
    return change + ", which has less precision or scale";
  }
  if (a.isUnsigned != b.isUnsigned) return change + ", which has another range";
  if (!a.values.empty() && !b.values.empty() && a.values != b.values) {
    return change + ", whose values are others";
  }
  return {};
}

}  // namespace vantrix::migrate::plan
