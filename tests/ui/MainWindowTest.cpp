// The main window as it opens: every control in place, the anchors when the
// window grows, captions, fonts, menus of the type popups, the port fields,
// tab order, title and version label.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "WidgetTest.h"
#include "mail/InvioMailGlob.h"
#include "ui/FinestraPrincipale.h"
#include "ui/FinestraStatoInvioMail.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Thread.h"
#include "update/TimerVersione.h"

namespace vantrix::test {
namespace {

using ui::FinestraPrincipale;
using ui::Reach;

class MainWindowTest : public WidgetTest {
protected:
  FinestraPrincipale& Window() { return Reach<FinestraPrincipale>(); }
  QWidget* Control(const char* name) {
    auto* control = Window().Content->findChild<QWidget*>(QString::fromUtf8(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  // Grows the window by dw x dh and lets the resize arrive.
  void Grow(int dw, int dh) {
    FinestraPrincipale& window = Window();
    window.resize(window.width() + dw, window.height() + dh);
    QCoreApplication::processEvents();
  }
};

struct Placement {
  const char* name;
  QRect rect;   // content-area coordinates at 800 x 600
  QRect grown;  // after the window grew by 200 x 100
};

// Side 1 and side 2 differ in their tops, and not all by the same amount.
const Placement kPlacements[] = {
    {"GroupBox1", {20, 14, 226, 180}, {20, 14, 226, 180}},
    {"GroupBox2", {20, 206, 226, 180}, {20, 206, 226, 180}},
    {"StaticText1", {31, 40, 56, 20}, {31, 40, 56, 20}},
    {"StaticText2", {31, 64, 56, 20}, {31, 64, 56, 20}},
    {"StaticText3", {31, 89, 56, 20}, {31, 89, 56, 20}},
    {"StaticText4", {31, 114, 56, 20}, {31, 114, 56, 20}},
    {"StaticText9", {31, 139, 56, 20}, {31, 139, 56, 20}},
    {"StaticText91", {31, 166, 56, 20}, {31, 166, 56, 20}},
    {"StaticText5", {31, 232, 56, 20}, {31, 232, 56, 20}},
    {"StaticText6", {31, 256, 56, 20}, {31, 256, 56, 20}},
    {"StaticText7", {31, 281, 56, 20}, {31, 281, 56, 20}},
    {"StaticText8", {31, 306, 56, 20}, {31, 306, 56, 20}},
    {"StaticText10", {31, 331, 56, 20}, {31, 331, 56, 20}},
    {"StaticText911", {31, 360, 56, 20}, {31, 360, 56, 20}},
    {"DB1server", {87, 39, 147, 22}, {87, 39, 147, 22}},
    {"DB1database", {87, 63, 147, 22}, {87, 63, 147, 22}},
    {"DB1user", {87, 88, 147, 22}, {87, 88, 147, 22}},
    {"DB1pass", {87, 113, 147, 22}, {87, 113, 147, 22}},
    {"DB1Type", {87, 138, 147, 20}, {87, 138, 147, 20}},
    {"DB1port", {87, 166, 68, 22}, {87, 166, 68, 22}},
    {"BevelButton1", {167, 166, 67, 22}, {167, 166, 67, 22}},
    {"DB2server", {87, 231, 147, 22}, {87, 231, 147, 22}},
    {"DB2database", {87, 255, 147, 22}, {87, 255, 147, 22}},
    {"DB2user", {87, 280, 147, 22}, {87, 280, 147, 22}},
    {"DB2pass", {87, 305, 147, 22}, {87, 305, 147, 22}},
    {"DB2Type", {87, 331, 147, 20}, {87, 331, 147, 20}},
    {"DB2port", {87, 358, 68, 22}, {87, 358, 68, 22}},
    {"BevelButton2", {167, 358, 67, 22}, {167, 358, 67, 22}},
    {"DB1tables", {258, 34, 147, 154}, {258, 34, 147, 154}},
    {"DB2tables", {258, 226, 147, 154}, {258, 226, 147, 154}},
    {"DB1fields", {417, 34, 363, 154}, {417, 34, 563, 154}},
    {"DB2fields", {417, 226, 363, 154}, {417, 226, 563, 154}},
    {"DiffTables", {20, 398, 226, 154}, {20, 398, 226, 254}},
    {"DiffFields", {258, 398, 522, 154}, {258, 398, 722, 254}},
    {"BevelButton3", {20, 564, 226, 22}, {20, 664, 226, 22}},
    {"BevelButton6", {258, 564, 67, 22}, {258, 664, 67, 22}},
    {"TestoVersione", {680, 2, 100, 20}, {880, 2, 100, 20}},
};

TEST_F(MainWindowTest, EveryControlSitsAtItsPlaceAndFollowsItsAnchorsWhenTheWindowGrows) {
  FinestraPrincipale& window = Window();
  ASSERT_EQ(window.Content->size(), QSize(800, 600));
  for (const Placement& p : kPlacements)
    EXPECT_EQ(RectIn(Control(p.name), window.Content), p.rect) << p.name;

  Grow(200, 100);
  ASSERT_EQ(window.Content->size(), QSize(1000, 700));
  for (const Placement& p : kPlacements)
    EXPECT_EQ(RectIn(Control(p.name), window.Content), p.grown) << p.name << " after growing";

  // Back to the design size, everything is where it started.
  Grow(-200, -100);
  for (const Placement& p : kPlacements)
    EXPECT_EQ(RectIn(Control(p.name), window.Content), p.rect) << p.name << " after shrinking";
}

TEST_F(MainWindowTest, PanelControlsSitInsideTheirSidesFrame) {
  FinestraPrincipale& window = Window();
  for (QWidget* control :
       {static_cast<QWidget*>(window.DB1server), static_cast<QWidget*>(window.DB1port),
        static_cast<QWidget*>(window.BevelButton1), static_cast<QWidget*>(window.StaticText91)})
    EXPECT_EQ(control->parentWidget(), window.GroupBox1) << control->objectName().toStdString();
  for (QWidget* control :
       {static_cast<QWidget*>(window.DB2server), static_cast<QWidget*>(window.DB2port),
        static_cast<QWidget*>(window.BevelButton2), static_cast<QWidget*>(window.StaticText911)})
    EXPECT_EQ(control->parentWidget(), window.GroupBox2) << control->objectName().toStdString();
}

TEST_F(MainWindowTest, CannotBeMadeSmallerThanItsDesignSize) {
  FinestraPrincipale& window = Window();
  const QSize designed = window.size();
  window.resize(300, 200);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.size(), designed);
  EXPECT_EQ(window.Content->size(), QSize(800, 600));
  EXPECT_EQ(window.Content->minimumSize(), QSize(800, 600));
  EXPECT_EQ(window.maximumSize(), QSize(32000, 32000));
}

TEST_F(MainWindowTest, TitleAndVersionLabelCarryTheVersionRecord) {
  FinestraPrincipale& window = Window();
  EXPECT_EQ(window.windowTitle(), "Orvello Vantrix v2024.7.1");
  EXPECT_EQ(window.TestoVersione->text(), "v2024.7.1");
  EXPECT_TRUE(window.TestoVersione->alignment().testFlag(Qt::AlignRight));
  EXPECT_FALSE(window.TestoVersione->wordWrap());
  EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowTest, CaptionsHeadingsAndFonts) {
  FinestraPrincipale& window = Window();
  const std::pair<QLabel*, const char*> labels[] = {
      {window.StaticText1, "Server:"}, {window.StaticText2, "DB:"},
      {window.StaticText3, "User:"},   {window.StaticText4, "Pass:"},
      {window.StaticText9, "Type"},    {window.StaticText91, "Port:"},
      {window.StaticText5, "Server:"}, {window.StaticText6, "DB:"},
      {window.StaticText7, "User:"},   {window.StaticText8, "Pass:"},
      {window.StaticText10, "Type"},   {window.StaticText911, "Port:"},
  };
  for (const auto& [label, text] : labels) EXPECT_EQ(label->text(), text);
  EXPECT_EQ(window.GroupBox1->title(), "DB 1");
  EXPECT_EQ(window.GroupBox2->title(), "DB 2");
  EXPECT_EQ(window.BevelButton1->text(), "Connect");
  EXPECT_EQ(window.BevelButton2->text(), "Connect");
  EXPECT_EQ(window.BevelButton3->text(), "Compare");
  EXPECT_EQ(window.BevelButton6->text(), "Help");
  EXPECT_EQ(window.DiffTables->toolTip(), "Click on a row to verify each table");

  const std::pair<ui::Listbox*, QStringList> lists[] = {
      {window.DB1tables, {"Tables"}},         {window.DB2tables, {"Tables"}},
      {window.DB1fields, {"Fields", "Type"}}, {window.DB2fields, {"Fields", "Type"}},
      {window.DiffTables, {"Table", "Note"}}, {window.DiffFields, {"Field", "Note"}},
  };
  for (const auto& [list, headings] : lists) {
    QStringList shown;
    for (int c = 0; c < list->columnCount(); ++c) shown << list->horizontalHeaderItem(c)->text();
    EXPECT_EQ(shown, headings) << list->objectName().toStdString();
    EXPECT_EQ(list->font().pointSize(), 10) << list->objectName().toStdString();
    EXPECT_EQ(list->ListCount(), 0);
  }
  EXPECT_EQ(window.TestoVersione->font().pointSize(), 10);
  EXPECT_EQ(window.DB1server->font().pointSize(), QApplication::font().pointSize());
}

TEST_F(MainWindowTest, FieldsStartEmptyWithMysqlAndPort3306) {
  FinestraPrincipale& window = Window();
  for (QComboBox* type : {window.DB1Type, window.DB2Type}) {
    ASSERT_EQ(type->count(), 6);
    EXPECT_EQ(type->itemText(0), "Mysql");
    EXPECT_EQ(type->itemText(1), "RealServer");
    EXPECT_EQ(type->itemText(2), "CubeSQLserver");
    EXPECT_EQ(type->itemData(3, Qt::AccessibleDescriptionRole).toString(), "separator");
    EXPECT_EQ(type->itemText(4), "SQLite");
    EXPECT_EQ(type->itemText(5), "PostgreSQL");
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_EQ(type->currentText(), "Mysql");
  }
  for (QLineEdit* field : {window.DB1server, window.DB1database, window.DB1user, window.DB1pass,
                           window.DB2server, window.DB2database, window.DB2user, window.DB2pass})
    EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
  EXPECT_EQ(window.DB1pass->echoMode(), QLineEdit::Password);
  EXPECT_EQ(window.DB2pass->echoMode(), QLineEdit::Password);
  EXPECT_EQ(window.DB1port->text(), "3306");
  EXPECT_EQ(window.DB2port->text(), "3306");
  EXPECT_FALSE(window.DB1FolderItem.has_value());
  EXPECT_FALSE(window.DB2FolderItem.has_value());
}

TEST_F(MainWindowTest, PortFieldsTakeAtMostEightDigits) {
  FinestraPrincipale& window = Window();
  struct Case {
    const char* typed;
    const char* shown;
  };
  const Case cases[] = {{"4430", "4430"}, {"12ab3-4.5 6", "123456"}, {"1234567890", "12345678"}};
  for (QLineEdit* port : {window.DB1port, window.DB2port}) {
    for (const Case& c : cases) {
      port->clear();
      QTest::keyClicks(port, QString::fromUtf8(c.typed));
      EXPECT_EQ(port->text(), c.shown) << c.typed;
    }
  }
}

TEST_F(MainWindowTest, TabMovesThroughEachPanelFromServerToPort) {
  FinestraPrincipale& window = Window();
  const QWidget* expected[] = {window.DB1server, window.DB1database, window.DB1user,
                               window.DB1pass,   window.DB1Type,     window.DB1port,
                               window.DB2server, window.DB2database, window.DB2user,
                               window.DB2pass,   window.DB2Type,     window.DB2port};
  // Follow the focus chain as Tab does: only widgets that take focus by Tab.
  QWidget* current = window.DB1server;
  for (std::size_t i = 1; i < std::size(expected); ++i) {
    do {
      current = current->nextInFocusChain();
    } while ((current->focusPolicy() & Qt::TabFocus) == 0 || !current->isVisibleTo(&window));
    EXPECT_EQ(current, expected[i])
        << "stop " << i << " is " << current->objectName().toStdString();
  }
  for (QWidget* control :
       {static_cast<QWidget*>(window.BevelButton1), static_cast<QWidget*>(window.BevelButton2),
        static_cast<QWidget*>(window.BevelButton3), static_cast<QWidget*>(window.BevelButton6)})
    EXPECT_EQ(control->focusPolicy(), Qt::NoFocus) << control->objectName().toStdString();
  for (ui::Listbox* list : {window.DB1tables, window.DB2tables, window.DB1fields, window.DB2fields,
                            window.DiffTables, window.DiffFields})
    EXPECT_FALSE(list->focusPolicy() & Qt::TabFocus) << list->objectName().toStdString();
}

TEST_F(MainWindowTest, ControlsAreNamedForQtAndForAssistiveTools) {
  FinestraPrincipale& window = Window();
  const std::pair<QWidget*, const char*> named[] = {
      {window.DB1server, "DB 1 server"},    {window.DB1database, "DB 1 database"},
      {window.DB1user, "DB 1 user"},        {window.DB1pass, "DB 1 password"},
      {window.DB1Type, "DB 1 type"},        {window.DB1port, "DB 1 port"},
      {window.DB1tables, "DB 1 tables"},    {window.DB1fields, "DB 1 fields"},
      {window.DB2server, "DB 2 server"},    {window.DB2database, "DB 2 database"},
      {window.DB2user, "DB 2 user"},        {window.DB2pass, "DB 2 password"},
      {window.DB2Type, "DB 2 type"},        {window.DB2port, "DB 2 port"},
      {window.DB2tables, "DB 2 tables"},    {window.DB2fields, "DB 2 fields"},
      {window.DiffTables, "Table results"}, {window.DiffFields, "Field results"},
      {window.BevelButton3, "Compare"},     {window.BevelButton6, "Help"},
  };
  // The Connect buttons and the version label are read by the text they
  // show (see AccessibleNamesTest).
  for (const auto& [control, accessible] : named)
    EXPECT_EQ(control->accessibleName(), accessible) << control->objectName().toStdString();
  // The Qt object name is the member's name.
  EXPECT_EQ(window.DB1server->objectName(), "DB1server");
  EXPECT_EQ(window.DB2Type->objectName(), "DB2Type");
  EXPECT_EQ(window.BevelButton3->objectName(), "BevelButton3");
  EXPECT_EQ(window.DiffFields->objectName(), "DiffFields");
  EXPECT_EQ(window.TestoVersione->objectName(), "TestoVersione");
}

TEST_F(MainWindowTest, TimersAndThreadAreSetUpAsTheWindowOpens) {
  FinestraPrincipale& window = Window();
  EXPECT_EQ(window.TimerVersione1->interval(), 5000);
  EXPECT_TRUE(window.TimerVersione1->isSingleShot());
  EXPECT_TRUE(window.TimerVersione1->isActive());
  EXPECT_FALSE(window.TimerVersione1->ObbligoQuit);
  EXPECT_EQ(window.TimerInvioMail->interval(), 5000);
  EXPECT_FALSE(window.TimerInvioMail->isSingleShot());
  EXPECT_TRUE(window.TimerInvioMail->isActive());
  EXPECT_EQ(window.TimerFinestraInvioMail->interval(), 5000);
  EXPECT_FALSE(window.TimerFinestraInvioMail->isActive());
  EXPECT_FALSE(window.ThreadInvioMail->isRunning());

  // With an empty mail queue the sending timer runs the worker once, which
  // finds nothing and leaves the progress timer off (its switch is queued to
  // this thread); the progress timer then opens no progress window.
  ASSERT_TRUE(mail::InvioMailGlob::CodaMessaggi().isEmpty());
  QSignalSpy workerRan(window.ThreadInvioMail, &QThread::finished);
  ASSERT_TRUE(QMetaObject::invokeMethod(window.TimerInvioMail, "timeout"));
  ASSERT_TRUE(window.ThreadInvioMail->wait(30000));
  QCoreApplication::processEvents();
  EXPECT_EQ(workerRan.count(), 1);
  EXPECT_FALSE(mail::InvioMailGlob::InvioInCorso());
  EXPECT_FALSE(window.TimerFinestraInvioMail->isActive());

  ASSERT_TRUE(QMetaObject::invokeMethod(window.TimerFinestraInvioMail, "timeout"));
  QCoreApplication::processEvents();
  EXPECT_EQ(ui::Existing<ui::FinestraStatoInvioMail>(), nullptr);
  EXPECT_TRUE(fake().messages.isEmpty());
  EXPECT_TRUE(fake().quitCodes.empty());
}

}  // namespace
}  // namespace vantrix::test
