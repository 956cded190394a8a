// The real seam's message dialog: which button the user pressed, as the
// version check's offer reads it. Each box is answered from a timer once it
// is up, as the user would: a button found by its caption is clicked, or a
// key is pressed.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <ostream>
#include <string>
#include <vector>

#include "WidgetTest.h"
#include "ui/toolkit/Seam.h"

namespace vantrix::ui {
// The button's name in test failures.
inline void PrintTo(PressedButton button, std::ostream* out) {
  *out << (button == PressedButton::Action            ? "Action"
           : button == PressedButton::AlternateAction ? "AlternateAction"
                                                      : "Cancel");
}
}  // namespace vantrix::ui

namespace vantrix::test {
namespace {

using ui::PressedButton;

// What the user does, one step at a time: a caption to click, or a key.
struct Step {
  QString caption;
  Qt::Key key = Qt::Key_unknown;
};
Step Click(const char* caption) { return {QString::fromUtf8(caption)}; }
Step Press(Qt::Key key) { return {QString(), key}; }

// What the box showed and what was done to it.
struct Seen {
  QString text;
  QString explanation;
  QStringList captions;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::size_t stepsTaken = 0;
  bool forcedShut = false;
};

// Shows the dialog through the real seam and takes the steps on the box,
// one per turn of its event loop; a box still up after the last step is
// shut, and noted.
PressedButton ShowAndAnswer(const ui::MessageDialogSpec& dialog, const std::vector<Step>& steps,
                            Seen& seen) {
  QTimer user;
  user.setInterval(0);
  QObject::connect(&user, &QTimer::timeout, &user, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    if (seen.stepsTaken == 0) {
      seen.text = box->text();
      seen.explanation = box->informativeText();
      seen.icon = box->icon();
      for (QAbstractButton* button : box->buttons()) seen.captions << button->text();
    }
    if (seen.stepsTaken == steps.size()) {
      seen.forcedShut = true;
      box->reject();
      return;
    }
    const Step& step = steps[seen.stepsTaken++];
    if (step.key != Qt::Key_unknown) {
      QTest::keyClick(box, step.key);
      return;
    }
    for (QAbstractButton* button : box->buttons()) {
      if (button->text().remove(u'&') == step.caption) {
        button->click();
        return;
      }
    }
    ADD_FAILURE() << "no button " << step.caption.toStdString();
  });
  user.start();
  const RealSeamInUse real;
  return ui::TheSeam().ShowModal(dialog);
}

using RealSeamTest = WidgetTest;

// "Scarica" must answer Action and "Più tardi" AlternateAction: swapped, a
// user who postponed would download and quit. A box with a cancel button
// answers Cancel for it and for Escape; the offer has none, and there Escape
// presses nothing (least of all "Scarica"): the user has to choose.
TEST_F(RealSeamTest, MessageDialogAnswersTheButtonThatWasPressed) {
  // The version check's offer.
  ui::MessageDialogSpec offer;
  offer.Icon = 1;
  offer.Message = QStringLiteral("È disponibile una nuova versione di vantrix 2099.1.0");
  offer.Explanation = QStringLiteral("Vuoi scaricarla?");
  offer.ActionButton = {QStringLiteral("Scarica"), true};
  offer.AlternateActionButton = {QStringLiteral("Più tardi"), true};
  offer.CancelButton.Visible = false;
  ui::MessageDialogSpec withCancel = offer;
  withCancel.CancelButton = {QStringLiteral("Annulla"), true};

  const struct {
    const char* name;
    const ui::MessageDialogSpec& dialog;
    std::vector<Step> steps;
    PressedButton expected;
  } cases[] = {
      {"offer, Scarica", offer, {Click("Scarica")}, PressedButton::Action},
      {"offer, Più tardi", offer, {Click("Più tardi")}, PressedButton::AlternateAction},
      {"offer, Return presses the default Scarica",
       offer,
       {Press(Qt::Key_Return)},
       PressedButton::Action},
      {"offer, Escape does nothing, then Più tardi",
       offer,
       {Press(Qt::Key_Escape), Click("Più tardi")},
       PressedButton::AlternateAction},
      {"with cancel, Scarica", withCancel, {Click("Scarica")}, PressedButton::Action},
      {"with cancel, Più tardi", withCancel, {Click("Più tardi")}, PressedButton::AlternateAction},
      {"with cancel, Annulla", withCancel, {Click("Annulla")}, PressedButton::Cancel},
      {"with cancel, dismissed with Escape",
       withCancel,
       {Press(Qt::Key_Escape)},
       PressedButton::Cancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Seen seen;
    EXPECT_EQ(ShowAndAnswer(c.dialog, c.steps, seen), c.expected);
    EXPECT_EQ(seen.stepsTaken, c.steps.size());
    EXPECT_FALSE(seen.forcedShut) << "the last step left the box up";
    EXPECT_EQ(seen.text, QStringLiteral("È disponibile una nuova versione di vantrix 2099.1.0"));
    EXPECT_EQ(seen.explanation, QStringLiteral("Vuoi scaricarla?"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    QStringList captions = seen.captions;
    captions.sort();
    QStringList expectedCaptions = {QStringLiteral("Più tardi"), QStringLiteral("Scarica")};
    if (c.dialog.CancelButton.Visible) expectedCaptions << QStringLiteral("Annulla");
    expectedCaptions.sort();
    EXPECT_EQ(captions, expectedCaptions);
  }
}

}  // namespace
}  // namespace vantrix::test
