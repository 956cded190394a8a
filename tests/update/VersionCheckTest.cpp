// The version check: the product key and its query, and whole checks
// against the cubeSQL test server holding a prodotti table. The timer's
// action is called directly; no test waits for it to fire.
#include <gtest/gtest.h>

#include <QByteArray>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "EncodedByTheBuild.h"
#include "FakeCubeSqlServer.h"
#include "WidgetTest.h"
#include "app/App.h"
#include "support/LoopbackPorts.h"
#include "ui/FinestraPrincipale.h"
#include "ui/toolkit/SingleInstance.h"
#include "update/AppoggioDbSupporto.h"
#include "update/TimerVersione.h"

namespace vantrix::test {
namespace {

using ui::PressedButton;
using update::TimerVersione;
namespace Supporto = update::AppoggioDbSupporto;

std::string Base64(const std::string& text) {
  return QByteArray::fromStdString(text).toBase64().toStdString();
}

// Points the check at a cubeSQL server on a loopback port, with the account
// encoded as the program keeps it.
void UseSupportServer(int port, const std::string& database = "support",
                      const std::string& user = "checker", const std::string& password = "pw") {
  Supporto::Account() = {Base64("127.0.0.1"), Base64(database), Base64(user), Base64(password),
                         port};
}

TEST(ProductKeyTest, DropsTheExtensionAndTheFirstDebug) {
  const struct {
    const char* fileName;
    const char* key;
    const char* shownName;
  } cases[] = {
      {"vantrix", "vantrix", "vantrix"},
      {"ToolDebug", "Tool", "ToolDebug"},
      {"ToolDEBUG", "Tool", "ToolDEBUG"},
      {"ToolDebug.exe", "Tool", "ToolDebug"},
      {"debugToolDebug", "ToolDebug", "debugToolDebug"},
      {"Tool.app.exe", "Tool.app", "Tool.app"},
      {".hidden", ".hidden", ".hidden"},
      {"Debug", "", "Debug"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName);
    EXPECT_EQ(update::ProductKey(QString::fromUtf8(c.fileName)), QString::fromUtf8(c.key));
    EXPECT_EQ(update::WithoutExtension(QString::fromUtf8(c.fileName)),
              QString::fromUtf8(c.shownName));
  }
}

TEST(ProductKeyTest, QueryQuotesTheKeyAsAnSqlLiteral) {
  EXPECT_EQ(update::VersionQuery(QStringLiteral("vantrix")),
            "select versione,download,downloadwin from prodotti where nomesw='vantrix'");
  EXPECT_EQ(update::VersionQuery(QStringLiteral("x' or '1'='1")),
            "select versione,download,downloadwin from prodotti where nomesw='x'' or ''1''=''1'");
}

// The account built into the program, as Account() holds it before main()
// or any test changes it: taken while the test program starts.
const update::SupportAccount kBuiltInAccount = Supporto::Account();

// A broken encoding would switch the version check off in silence: the
// connection would go to a wrong host or account and fail quietly.
TEST(SupportAccountTest, TheBuiltInAccountDecodesToTheBuildSettings) {
  const update::SupportAccount before = Supporto::Account();
  Supporto::Account() = kBuiltInAccount;
  Supporto::ConnessioneDbSupporto();
  Supporto::Account() = before;
  ASSERT_NE(Supporto::SupportDb, nullptr);
  EXPECT_EQ(Supporto::SupportDb->Host, VANTRIX_TEST_SUPPORT_HOST);
  EXPECT_EQ(Supporto::SupportDb->DatabaseName, VANTRIX_TEST_SUPPORT_DATABASE);
  EXPECT_EQ(Supporto::SupportDb->UserName, VANTRIX_TEST_SUPPORT_USER);
  EXPECT_EQ(Supporto::SupportDb->Password, VANTRIX_TEST_SUPPORT_PASSWORD);
  EXPECT_EQ(Supporto::SupportDb->Port, 0) << "the cubeSQL client's default port";
}

// The build's encoder against known encodings (those of RFC 4648, and
// texts with bytes above 127), and the program's decoder back.
TEST(SupportAccountTest, TheBuildsEncoderGivesStandardBase64) {
  const std::map<std::string, std::string> known = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"pàss'wörd", "cMOgc3Mnd8O2cmQ="},
      {"ÿ", "w78="},
      {"€", "4oKs"},
  };
  ASSERT_EQ(std::size(kEncodedByTheBuild), known.size());
  for (const auto& [text, encoded] : kEncodedByTheBuild) {
    SCOPED_TRACE(text);
    ASSERT_EQ(known.count(text), 1U);
    EXPECT_EQ(encoded, known.at(text));
    EXPECT_EQ(Supporto::DecodeSetting(encoded), text);
  }
}

TEST(SupportAccountTest, IsDecodedWhenTheConnectionIsPrepared) {
  const update::SupportAccount before = Supporto::Account();
  Supporto::Account() = {Base64("support.example"), Base64("prodotti_db"), Base64("utente"),
                         Base64("pàss'wörd"), 0};
  Supporto::ConnessioneDbSupporto();
  ASSERT_NE(Supporto::SupportDb, nullptr);
  EXPECT_EQ(Supporto::SupportDb->Host, "support.example");
  EXPECT_EQ(Supporto::SupportDb->DatabaseName, "prodotti_db");
  EXPECT_EQ(Supporto::SupportDb->UserName, "utente");
  EXPECT_EQ(Supporto::SupportDb->Password, "pàss'wörd");
  EXPECT_EQ(Supporto::SupportDb->Port, 0);
  EXPECT_FALSE(Supporto::SupportDb->IsConnected());

  // Each preparation makes a new handle.
  const db::CubeSQLServer* first = Supporto::SupportDb.get();
  Supporto::ConnessioneDbSupporto();
  EXPECT_NE(Supporto::SupportDb.get(), first);

  EXPECT_EQ(Supporto::DecodeSetting("not base64!"), "");
  EXPECT_EQ(Supporto::DecodeSetting(""), "");
  Supporto::Account() = before;
}

class VersionCheckTest : public WidgetTest {
protected:
  FakeCubeSqlServer server_{"checker", "pw", "support"};
  TimerVersione timer_;

  void SetUp() override {
    WidgetTest::SetUp();
    server_.Execute(
        "CREATE TABLE prodotti (nomesw TEXT, versione TEXT, download TEXT, downloadwin TEXT);"
        "INSERT INTO prodotti VALUES ('vantrix', '2024.8.0', 'https://dl.example/vantrix.dmg',"
        " 'https://dl.example/vantrix.exe');");
    UseSupportServer(server_.Port());
    // As the main window sets it up: once, five seconds after opening.
    timer_.setInterval(5000);
    timer_.setSingleShot(true);
    timer_.start();
  }
  void TearDown() override {
    App::Instance()->SetVersionRecord();
    WidgetTest::TearDown();
  }

  void Offer(const std::string& version, const std::string& download = "https://dl.example/v.dmg") {
    server_.Execute("DELETE FROM prodotti; INSERT INTO prodotti VALUES ('vantrix', '" + version +
                    "', '" + download + "', 'https://dl.example/v.exe');");
  }

  // Every check ends by firing again in 24 hours, over and over.
  void ExpectRearmed() const {
    EXPECT_TRUE(timer_.isActive());
    EXPECT_FALSE(timer_.isSingleShot());
    EXPECT_EQ(timer_.interval(), 86400000);
  }

  [[nodiscard]] std::vector<std::string> Queries() const {
    std::vector<std::string> queries;
    for (const std::string& statement : server_.Statements()) {
      if (statement.rfind("select versione", 0) == 0) queries.push_back(statement);
    }
    return queries;
  }
};

TEST_F(VersionCheckTest, OffersADifferentVersionAndDownloadsIt) {
  fake().modalAnswers = {PressedButton::Action};
  timer_.Action();

  ASSERT_EQ(fake().dialogs.size(), 1U);
  const ui::MessageDialogSpec& offer = fake().dialogs[0];
  EXPECT_EQ(offer.Icon, 1);
  EXPECT_EQ(offer.Title, QString());
  EXPECT_EQ(offer.Message, QStringLiteral("È disponibile una nuova versione di vantrix 2024.8.0"));
  EXPECT_EQ(offer.Explanation, QStringLiteral("Vuoi scaricarla?"));
  EXPECT_EQ(offer.ActionButton.Caption, QStringLiteral("Scarica"));
  EXPECT_TRUE(offer.ActionButton.Visible);
  EXPECT_EQ(offer.AlternateActionButton.Caption, QStringLiteral("Più tardi"));
  EXPECT_TRUE(offer.AlternateActionButton.Visible);
  EXPECT_FALSE(offer.CancelButton.Visible);

  EXPECT_EQ(fake().urls, QStringList{"https://dl.example/vantrix.dmg"});
  EXPECT_EQ(fake().quitCodes, std::vector<int>{0});
  EXPECT_TRUE(fake().messages.isEmpty());
  EXPECT_EQ(Queries(),
            std::vector<std::string>{
                "select versione,download,downloadwin from prodotti where nomesw='vantrix'"});
  EXPECT_FALSE(Supporto::SupportDb->IsConnected());
  ExpectRearmed();
}

TEST_F(VersionCheckTest, WhatTheServerAnswersDecidesWhatTheUserSees) {
  const struct {
    const char* name;
    const char* runningVersion;
    const char* rows;     // the prodotti table
    const char* message;  // the one message box, or nullptr for none
    bool offered;
    const char* offeredVersion;
  } cases[] = {
      {"same version in other letter case", "2024.7.1b", "('vantrix', '2024.7.1B', 'l', 'w')",
       nullptr, false, ""},
      {"same version", "2024.7.1", "('vantrix', '2024.7.1', 'l', 'w')", nullptr, false, ""},
      {"lower version", "2024.7.1", "('vantrix', '2023.1.0', 'l', 'w')", nullptr, true, "2023.1.0"},
      {"empty version", "2024.7.1", "('vantrix', NULL, 'l', 'w')", nullptr, true, ""},
      {"two rows for the product: the first counts", "2024.7.1",
       "('vantrix', '2024.9.9', 'first', 'w'), ('vantrix', '2024.7.1', 'second', 'w')", nullptr,
       true, "2024.9.9"},
      {"unknown product", "2024.7.1", "('othertool', '2025.1.1', 'l', 'w')",
       "Applicazione non trovata sui nostri server. Spiacente.", false, ""},
      {"no rows at all", "2024.7.1", nullptr,
       "Applicazione non trovata sui nostri server. Spiacente.", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake().Reset();
    App::Instance()->Version = QString::fromUtf8(c.runningVersion);
    server_.Execute("DELETE FROM prodotti;");
    if (c.rows != nullptr)
      server_.Execute(std::string("INSERT INTO prodotti VALUES ") + c.rows + ";");

    timer_.Action();  // the offer, if any, is dismissed

    EXPECT_EQ(fake().messages,
              c.message != nullptr ? QStringList{QString::fromUtf8(c.message)} : QStringList());
    ASSERT_EQ(fake().dialogs.size(), c.offered ? 1U : 0U);
    if (c.offered) {
      EXPECT_EQ(fake().dialogs[0].Message,
                QStringLiteral("È disponibile una nuova versione di vantrix ") +
                    QString::fromUtf8(c.offeredVersion));
    }
    EXPECT_TRUE(fake().urls.isEmpty());
    EXPECT_TRUE(fake().quitCodes.empty());
    EXPECT_FALSE(Supporto::SupportDb->IsConnected());
    ExpectRearmed();
  }
}

TEST_F(VersionCheckTest, TheFirstRowsLinkIsOpenedAsUtf8) {
  server_.Execute(
      "DELETE FROM prodotti;"
      "INSERT INTO prodotti VALUES ('vantrix', '2025.1.0', 'https://dl.example/vantrix-ü.dmg', "
      "'w'),"
      " ('vantrix', '2026.1.0', 'https://dl.example/second.dmg', 'w');");
  fake().modalAnswers = {PressedButton::Action};
  timer_.Action();
  EXPECT_EQ(fake().urls, QStringList{QStringLiteral("https://dl.example/vantrix-ü.dmg")});
  EXPECT_EQ(fake().quitCodes, std::vector<int>{0});
}

// "Scarica" opens only a web address with a host; any other link the
// support server sends is named in a box instead. The program quits either way.
TEST_F(VersionCheckTest, ScaricaOpensOnlyAnHttpOrHttpsAddress) {
  const struct {
    const char* name;
    const char* link;
    bool opened;
  } cases[] = {
      {"http", "http://dl.example/vantrix.dmg", true},
      {"HTTPS in capitals", "HTTPS://DL.EXAMPLE/Vantrix.dmg", true},
      {"scheme in mixed case, with a port", "hTTp://dl.example:8080/v.dmg", true},
      {"file: path", "file:///usr/bin/vantrix", false},
      {"javascript:", "javascript:alert(1)", false},
      {"mailto:", "mailto:someone@dl.example", false},
      {"another scheme with a host", "smb://dl.example/share/vantrix.dmg", false},
      {"bare path", "/tmp/vantrix.dmg", false},
      {"empty", "", false},
      {"http without a host", "http:foo", false},
      {"https with an empty host", "https:///vantrix.dmg", false},
      {"spaces in the path", "https://dl.example/my file.dmg", false},
      {"a space before the scheme", " https://dl.example/v.dmg", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake().Reset();
    const QString link = QString::fromUtf8(c.link);
    Offer("2025.1.0", c.link);
    fake().modalAnswers = {PressedButton::Action};
    timer_.Action();

    ASSERT_EQ(fake().dialogs.size(), 1U);
    if (c.opened) {
      EXPECT_EQ(fake().urls, QStringList{link});
      EXPECT_TRUE(fake().messages.isEmpty());
    } else {
      EXPECT_TRUE(fake().urls.isEmpty());
      EXPECT_EQ(
          fake().messages,
          QStringList{QStringLiteral("Impossibile aprire il collegamento per lo scaricamento: ") +
                      link});
    }
    EXPECT_EQ(fake().quitCodes, std::vector<int>{0});
    ExpectRearmed();
  }
}

TEST_F(VersionCheckTest, LaterNamesTheNextStartAndTheCheckComesBackIn24Hours) {
  fake().modalAnswers = {PressedButton::AlternateAction};
  timer_.Action();
  EXPECT_EQ(fake().messages,
            QStringList{QStringLiteral(
                "Il controllo della nuova versione avverrà al prossimo avvio di vantrix")});
  EXPECT_TRUE(fake().urls.isEmpty());
  EXPECT_TRUE(fake().quitCodes.empty());
  ExpectRearmed();

  // The next firing asks again.
  fake().Reset();
  timer_.Action();
  EXPECT_EQ(fake().dialogs.size(), 1U);
  EXPECT_EQ(Queries().size(), 2U);
}

// While the check shows anything (the offer, or a box of its own), its
// timer is stopped: a day-old offer still open is never joined by a second
// one. Afterwards the timer runs again, every 24 hours.
TEST_F(VersionCheckTest, TheTimerIsStoppedWhileTheCheckShowsSomething) {
  const struct {
    const char* name;
    const char* rows;  // the prodotti table; nullptr: no table at all
    bool mandatory;
    std::optional<PressedButton> answer;  // to the offer
    int shown;                            // dialogs and boxes, in all
  } cases[] = {
      {"offer, Scarica", "('vantrix', '2030.1.0', 'https://dl.example/v.dmg', 'w')", false,
       PressedButton::Action, 1},
      {"offer, Più tardi", "('vantrix', '2030.1.0', 'l', 'w')", false,
       PressedButton::AlternateAction, 2},
      {"offer closed", "('vantrix', '2030.1.0', 'l', 'w')", false, std::nullopt, 1},
      {"mandatory offer closed", "('vantrix', '2030.1.0', 'l', 'w')", true, std::nullopt, 1},
      {"Scarica with a link that cannot be opened", "('vantrix', '2030.1.0', 'file:///x', 'w')",
       false, PressedButton::Action, 2},
      {"product not found", "('othertool', '2030.1.0', 'l', 'w')", false, std::nullopt, 1},
      {"the query fails", nullptr, false, std::nullopt, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake().Reset();
    server_.Execute(
        "DROP TABLE IF EXISTS prodotti;"
        "CREATE TABLE prodotti (nomesw TEXT, versione TEXT, download TEXT, downloadwin TEXT);");
    if (c.rows != nullptr) {
      server_.Execute(std::string("INSERT INTO prodotti VALUES ") + c.rows + ";");
    } else {
      server_.Execute("DROP TABLE prodotti;");
    }
    timer_.ObbligoQuit = c.mandatory;
    if (c.answer) fake().modalAnswers = {*c.answer};
    std::vector<bool> activeWhileShown;
    fake().whileShown = [&] { activeWhileShown.push_back(timer_.isActive()); };

    timer_.Action();

    EXPECT_EQ(activeWhileShown, std::vector<bool>(static_cast<std::size_t>(c.shown), false))
        << "true: the timer ran while something was on screen";
    ExpectRearmed();
  }
}

TEST_F(VersionCheckTest, AMandatoryUpdateCannotBePostponed) {
  timer_.ObbligoQuit = true;
  timer_.Action();  // closed without "Scarica"
  ASSERT_EQ(fake().dialogs.size(), 1U);
  EXPECT_FALSE(fake().dialogs[0].AlternateActionButton.Visible);
  EXPECT_FALSE(fake().dialogs[0].CancelButton.Visible);
  EXPECT_TRUE(fake().dialogs[0].ActionButton.Visible);
  EXPECT_EQ(fake().dialogs[0].Explanation, QStringLiteral("AGGIORNAMENTO OBBLIGATORIO"));
  // The program keeps running and asks again in 24 hours.
  EXPECT_TRUE(fake().quitCodes.empty());
  EXPECT_TRUE(fake().messages.isEmpty());
  ExpectRearmed();
}

TEST_F(VersionCheckTest, ADebugBuildAsksForTheReleasedProductAndNamesItself) {
  server_.Execute("UPDATE prodotti SET nomesw = 'Tool';");
  fake().executableFileName = QStringLiteral("ToolDEBUG");
  fake().modalAnswers = {PressedButton::AlternateAction};
  timer_.Action();
  EXPECT_EQ(Queries(),
            std::vector<std::string>{
                "select versione,download,downloadwin from prodotti where nomesw='Tool'"});
  ASSERT_EQ(fake().dialogs.size(), 1U);
  EXPECT_EQ(fake().dialogs[0].Message,
            QStringLiteral("È disponibile una nuova versione di ToolDEBUG 2024.8.0"));
  EXPECT_EQ(fake().messages,
            QStringList{QStringLiteral(
                "Il controllo della nuova versione avverrà al prossimo avvio di ToolDEBUG")});
}

TEST_F(VersionCheckTest, AQuoteInTheProgramsNameIsSentAsPartOfTheKey) {
  server_.Execute("INSERT INTO prodotti VALUES ('it''s', '2030.1.1', 'l', 'w');");
  fake().executableFileName = QStringLiteral("it's");
  timer_.Action();
  ASSERT_EQ(fake().dialogs.size(), 1U);
  EXPECT_EQ(fake().dialogs[0].Message,
            QStringLiteral("È disponibile una nuova versione di it's 2030.1.1"));

  // A name that reads as SQL matches nothing instead of every product.
  fake().Reset();
  fake().executableFileName = QStringLiteral("x' or '1'='1");
  timer_.Action();
  EXPECT_TRUE(fake().dialogs.empty());
  EXPECT_EQ(fake().messages, QStringList{"Applicazione non trovata sui nostri server. Spiacente."});
  ExpectRearmed();
}

TEST_F(VersionCheckTest, AFailingQueryShowsTheServersError) {
  server_.Execute("DROP TABLE prodotti;");
  timer_.Action();
  // The test server's own words for the missing table.
  EXPECT_EQ(fake().messages, QStringList{QStringLiteral("no such table: prodotti")});
  EXPECT_TRUE(fake().dialogs.empty());
  EXPECT_FALSE(Supporto::SupportDb->IsConnected());
  ExpectRearmed();
}

TEST_F(VersionCheckTest, AnUnreachableOrRefusingServerIsPassedOverInSilence) {
  const int closedPort = ClosedLoopbackPort();
  const struct {
    const char* name;
    int port;  // 0: the test server
    const char* database;
    const char* password;
    const char* hostBase64;  // nullptr: 127.0.0.1
  } cases[] = {
      {"closed port", closedPort, "support", "pw", nullptr},
      {"wrong password", 0, "support", "bad", nullptr},
      {"unknown database", 0, "nosuchdb", "pw", nullptr},
      {"undecodable host setting", 0, "support", "pw", "%%%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake().Reset();
    UseSupportServer(c.port != 0 ? c.port : server_.Port(), c.database, "checker", c.password);
    if (c.hostBase64 != nullptr) Supporto::Account().HostBase64 = c.hostBase64;
    timer_.setInterval(5000);
    timer_.setSingleShot(true);
    timer_.start();
    timer_.Action();
    EXPECT_TRUE(fake().messages.isEmpty());
    EXPECT_TRUE(fake().dialogs.empty());
    EXPECT_TRUE(Queries().empty());
    // Not retried before 24 hours have passed.
    ExpectRearmed();
  }
}

TEST_F(VersionCheckTest, TheMainWindowsTimerRunsTheCheck) {
  auto& window = ui::Reach<ui::FinestraPrincipale>();
  EXPECT_EQ(window.TimerVersione1->interval(), 5000);
  EXPECT_TRUE(window.TimerVersione1->isSingleShot());
  EXPECT_TRUE(window.TimerVersione1->isActive());

  bool activeWhileOffered = true;
  fake().whileShown = [&] { activeWhileOffered = window.TimerVersione1->isActive(); };
  QMetaObject::invokeMethod(window.TimerVersione1, "timeout");
  EXPECT_EQ(fake().dialogs.size(), 1U);
  EXPECT_FALSE(activeWhileOffered) << "the timer ran while the offer was on screen";
  EXPECT_EQ(window.TimerVersione1->interval(), 86400000);
  EXPECT_FALSE(window.TimerVersione1->isSingleShot());
  EXPECT_TRUE(window.TimerVersione1->isActive());
}

}  // namespace
}  // namespace vantrix::test
