// What screen readers read for the controls of every window: a label,
// button or frame is read by the text it shows, never by another name; a
// picture without text is read by its alternative text.
#include <optional>

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "WidgetTest.h"
#include "ui/AboutWin.h"
#include "ui/FinestraHelp.h"
#include "ui/FinestraPrincipale.h"
#include "ui/FinestraStatoInvioMail.h"
#include "ui/SplashWin.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::test {
namespace {

using ui::Reach;

// A caption as it shows: "&&" is a literal "&", any other "&" only marks
// the next letter as the mnemonic.
QString WithoutMnemonics(const QString& caption) {
  QString shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&') {
      if (++i == caption.size()) break;
    }
    shown += caption[i];
  }
  return shown;
}

// The text a control shows, or none for controls that show no text of
// their own.
std::optional<QString> ShownText(const QWidget* control) {
  if (const auto* label = qobject_cast<const QLabel*>(control)) {
    return label->buddy() != nullptr ? WithoutMnemonics(label->text()) : label->text();
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
    return WithoutMnemonics(button->text());
  }
  if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
    return WithoutMnemonics(group->title());
  }
  return std::nullopt;
}

// Every label, button and frame of a window whose accessible name hides
// what it shows, as "object: read as ... but shows ...".
QStringList NamesThatHideTheText(QWidget& window) {
  QStringList faults;
  for (QWidget* control : window.findChildren<QWidget*>()) {
    const std::optional<QString> shown = ShownText(control);
    if (!shown) continue;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    const QString read = accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
    const QString where = window.objectName() + QStringLiteral("/") + control->objectName();
    const auto* label = qobject_cast<const QLabel*>(control);
    if (shown->isEmpty() && label != nullptr && !label->pixmap().isNull()) {
      // A picture has no text to show: it is read by its alternative text.
      if (read.isEmpty()) faults << where + QStringLiteral(": a picture read as nothing");
      continue;
    }
    if (!control->accessibleName().isEmpty() && control->accessibleName() != *shown) {
      faults << where + QStringLiteral(": named \"") + control->accessibleName() +
                    QStringLiteral("\" but shows \"") + *shown + QStringLiteral("\"");
    }
    if (read != *shown) {
      faults << where + QStringLiteral(": read as \"") + read + QStringLiteral("\" but shows \"") +
                    *shown + QStringLiteral("\"");
    }
  }
  return faults;
}

using AccessibleNamesTest = WidgetTest;

TEST_F(AccessibleNamesTest, EveryWindowsLabelsButtonsAndFramesAreReadByTheirText) {
  // Each window as it opens, with its texts in place.
  QWidget* windows[] = {&Reach<ui::FinestraPrincipale>(), &Reach<ui::AboutWin>(),
                        &Reach<ui::FinestraHelp>(), &Reach<ui::SplashWin>(),
                        &Reach<ui::FinestraStatoInvioMail>()};
  for (QWidget* window : windows) {
    ASSERT_NE(QAccessible::queryAccessibleInterface(window), nullptr);
    EXPECT_EQ(NamesThatHideTheText(*window), QStringList()) << window->objectName().toStdString();
  }
}

TEST_F(AccessibleNamesTest, TheMainWindowsVersionAndConnectButtonsAreReadAsShown) {
  auto& window = Reach<ui::FinestraPrincipale>();
  const auto read = [](QWidget* control) {
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
  };
  EXPECT_EQ(read(window.TestoVersione), "v2024.7.1");
  EXPECT_EQ(read(window.BevelButton1), "Connect");
  EXPECT_EQ(read(window.BevelButton2), "Connect");
  // The description says which side a button connects; the frame around it
  // is read by its title.
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(window.BevelButton1)->text(QAccessible::Description),
      "Connects to DB 1 and lists its tables");
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(window.BevelButton2)->text(QAccessible::Description),
      "Connects to DB 2 and lists its tables");
  EXPECT_EQ(read(window.GroupBox1), "DB 1");
  EXPECT_EQ(read(window.GroupBox2), "DB 2");
}

// The walk itself finds a name that hides the text, and a picture read as
// nothing.
TEST_F(AccessibleNamesTest, TheWalkFindsAHiddenTextAndASilentPicture) {
  auto& window = Reach<ui::AboutWin>();
  window.BevelButton1->setAccessibleName(QStringLiteral("Website"));
  window.Canvas1->setAccessibleName(QString());
  EXPECT_EQ(NamesThatHideTheText(window),
            (QStringList{QStringLiteral("AboutWin/Canvas1: a picture read as nothing"),
                         QStringLiteral("AboutWin/BevelButton1: named \"Website\" but shows "
                                        "\"Visit website\""),
                         QStringLiteral("AboutWin/BevelButton1: read as \"Website\" but shows "
                                        "\"Visit website\"")}));
}

}  // namespace
}  // namespace vantrix::test
