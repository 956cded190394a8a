#pragma once

#include <gtest/gtest.h>

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <ostream>

#include "FakeSeam.h"

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace vantrix::test {

// Fixture for widget tests: every test starts and ends with no window open
// and a fresh FakeSeam.
class WidgetTest : public testing::Test {
protected:
  void SetUp() override { CloseAllWindows(); }
  void TearDown() override { CloseAllWindows(); }
  static FakeSeam& fake() { return Fake(); }
};

// A control's rectangle in the coordinates of an ancestor.
inline QRect RectIn(const QWidget* control, const QWidget* ancestor) {
  return {control->mapTo(ancestor, QPoint(0, 0)), control->size()};
}

}  // namespace vantrix::test
