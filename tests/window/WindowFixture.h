#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include "WidgetTest.h"
#include "ui/FinestraPrincipale.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::test {

// The notes of the result lists, as the window writes them.
inline const QString kOk = QStringLiteral("Table ok");
inline const QString kMissing = QStringLiteral("Table NOT ok");
inline const QString kDiffer = QStringLiteral("Fields not ok");
inline const QString kNotChecked = QStringLiteral("Table not checked");
inline const QString kBothOk = QStringLiteral("Field name OK  - Field type OK");
inline const QString kTypeDiffers = QStringLiteral("Field name OK  - Field type NOT OK");
inline const QString kNameMissing = QStringLiteral("Field name NOT OK  - Field type NOT OK");

// Drives the main window as a user would: fills a panel, picks an engine
// (answering the open-file dialog), presses Connect and Compare, selects rows.
// Connecting, listing and comparing read on a worker thread; each of these
// steps waits for its reading to end, as a user waits for the rows.
class WindowTest : public WidgetTest {
protected:
  ui::FinestraPrincipale& W() { return ui::Reach<ui::FinestraPrincipale>(); }

  QLineEdit* Server(int side) { return side == 1 ? W().DB1server : W().DB2server; }
  QLineEdit* Database(int side) { return side == 1 ? W().DB1database : W().DB2database; }
  QLineEdit* User(int side) { return side == 1 ? W().DB1user : W().DB2user; }
  QLineEdit* Pass(int side) { return side == 1 ? W().DB1pass : W().DB2pass; }
  QLineEdit* Port(int side) { return side == 1 ? W().DB1port : W().DB2port; }
  QComboBox* Type(int side) { return side == 1 ? W().DB1Type : W().DB2Type; }
  ui::Listbox* Tables(int side) { return side == 1 ? W().DB1tables : W().DB2tables; }
  ui::Listbox* Fields(int side) { return side == 1 ? W().DB1fields : W().DB2fields; }
  std::optional<std::filesystem::path>& File(int side) {
    return side == 1 ? W().DB1FolderItem : W().DB2FolderItem;
  }

  // Chooses an engine in a side's type menu; for "SQLite" the open-file
  // dialog answers `file`.
  void ChooseType(int side, const QString& engine,
                  std::optional<std::filesystem::path> file = std::nullopt) {
    if (engine == QStringLiteral("SQLite")) fake().openAnswers.push_back(std::move(file));
    Type(side)->setCurrentIndex(Type(side)->findText(engine));
  }
  void ChooseSQLite(int side, const std::filesystem::path& file) {
    ChooseType(side, QStringLiteral("SQLite"), file);
  }
  void FillServer(int side, const std::string& server, int port, const std::string& database,
                  const std::string& user, const std::string& password,
                  const QString& engine = QStringLiteral("Mysql")) {
    ChooseType(side, engine);
    Server(side)->setText(QString::fromStdString(server));
    Port(side)->setText(QString::number(port));
    Database(side)->setText(QString::fromStdString(database));
    User(side)->setText(QString::fromStdString(user));
    Pass(side)->setText(QString::fromStdString(password));
  }
  // Waits until no operation reads schemas (the rows and messages of the
  // one that ran are then written).
  void WaitForReading() {
    ASSERT_TRUE(QTest::qWaitFor([this] { return !W().Reading(); }, kReadingTimeoutMs))
        << "the operation is still reading";
  }
  void Connect(int side) {
    (side == 1 ? W().BevelButton1 : W().BevelButton2)->click();
    WaitForReading();
  }
  void Compare() {
    W().BevelButton3->click();
    WaitForReading();
  }
  // Selects a row of a list (-1: none) and waits for what that reads.
  void Pick(ui::Listbox* list, int row) {
    list->SetListIndex(row);
    WaitForReading();
  }
  // Selects a row of the table results.
  void Select(int row) { Pick(W().DiffTables, row); }

  // Longer than any engine's own time limit, so that a reading that hangs
  // fails the test instead of holding it.
  static constexpr int kReadingTimeoutMs = 60'000;

  // Column `column` of every row of a list.
  static QStringList ColumnOf(const ui::Listbox* list, int column = 0) {
    QStringList cells;
    for (int row = 0; row < list->ListCount(); ++row) cells << list->Cell(row, column);
    return cells;
  }
  // Every row as "cell0 | cell1".
  static QStringList RowsOf(const ui::Listbox* list) {
    QStringList rows;
    for (int row = 0; row < list->ListCount(); ++row) {
      rows << list->Cell(row, 0) + QStringLiteral(" | ") + list->Cell(row, 1);
    }
    return rows;
  }
};

}  // namespace vantrix::test
