// The figures behind scripts/bench. It makes the benchmark's schema pairs and
// times Vantrix's Compare, through the core and through the main window;
// scripts/bench runs it beside the other tools and prints the table.
//
//   vantrix_bench generate-sqlite TABLES DIR   DIR/db1.sqlite and DIR/db2.sqlite
//   vantrix_bench generate-sql TABLES SIDE [postgresql]
//                                              the SQL of side 1 or 2, for MariaDB
//                                              or PostgreSQL
//   vantrix_bench core SIDE1 SIDE2 RUNS        Compare through the core
//   vantrix_bench window SIDE1 SIDE2 RUNS      Compare in the main window (offscreen)
//   vantrix_bench read-snapshot FILE RUNS      reading a snapshot file into a schema
//
// A SIDE is sqlite:PATH or mysql:HOST:PORT:USER:PASSWORD:DATABASE. The two
// timing commands print one line per run ("run <ms> <rows>") and, for the
// window and the snapshot, the peak resident memory ("peak_rss_kb <kb>").
//
// The pair: DB 1 has TABLES tables of 20 fields, a third with defaults, each
// with a unique constraint, two indexes and a reference to the table before;
// DB 2 is DB 1 without every 20th table, with one field retyped in every
// 15th and one field renamed by letter case in every 25th.
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include "app/App.h"
#include "compare/Rules.h"
#include "compare/Session.h"
#include "db/AppoggioMySQL.h"
#include "snapshot/Snapshot.h"
#include "ui/FinestraPrincipale.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/SingleInstance.h"
#include "update/AppoggioDbSupporto.h"

namespace {

using namespace vantrix;
using Clock = std::chrono::steady_clock;

constexpr int kFields = 20;
const char* const kTypes[] = {"INT",    "VARCHAR(40)", "TEXT",   "DATETIME", "DECIMAL(10,2)",
                              "BIGINT", "CHAR(8)",     "DOUBLE", "DATE",     "SMALLINT"};

std::string TableName(int t) {
  char name[16];
  std::snprintf(name, sizeof name, "t%05d", t);
  return name;
}

enum class Dialect { kMysql, kSqlite, kPostgres };

// The declared type of field `f` in a dialect: PostgreSQL has no DATETIME
// and no DOUBLE on its own.
std::string FieldType(int f, Dialect dialect) {
  const std::string type = kTypes[f % 10];
  if (dialect == Dialect::kPostgres && type == "DATETIME") return "TIMESTAMP";
  if (dialect == Dialect::kPostgres && type == "DOUBLE") return "DOUBLE PRECISION";
  return type;
}

// A default for a third of the fields, of each field type's own kind.
std::string FieldDefault(int f) {
  if (f % 3 != 2) return {};
  switch (f % 10) {
    case 1:
    case 2:
    case 6:
      return " DEFAULT 'x'";
    case 3:
      return " DEFAULT '2000-01-01 00:00:00'";
    case 8:
      return " DEFAULT '2000-01-01'";
    default:
      return " DEFAULT 0";
  }
}

// Each table has, besides its fields, a unique constraint, two indexes
// (one of two columns) and a reference to the table before it.
std::string PairSql(int tables, int side, Dialect dialect = Dialect::kMysql) {
  const auto exists = [&](int t) { return !(side == 2 && t % 20 == 19); };
  std::string sql;
  for (int t = 0; t < tables; ++t) {
    if (!exists(t)) continue;
    const std::string table = TableName(t);
    sql += "CREATE TABLE " + table + " (";
    for (int f = 0; f < kFields; ++f) {
      if (f) sql += ", ";
      const bool renamed = side == 2 && t % 25 == 24 && f == 5;
      const bool retyped = side == 2 && t % 15 == 14 && f == 3;
      const std::string name = (renamed ? "F" : "f") + std::to_string(f);
      sql += renamed && dialect == Dialect::kPostgres ? "\"" + name + "\"" : name;
      sql += ' ';
      sql += retyped ? std::string("VARCHAR(20)") : FieldType(f, dialect);
      if (!retyped) sql += FieldDefault(f);
      if (f == 0) sql += " NOT NULL PRIMARY KEY";
    }
    sql += ", UNIQUE (f1)";
    if (t > 0) {
      const int referenced = exists(t - 1) ? t - 1 : t - 2;
      sql += ", FOREIGN KEY (f10) REFERENCES " + TableName(referenced) + " (f0)";
    }
    sql += ");\n";
    sql += "CREATE INDEX " + table + "_a ON " + table + " (f4);\n";
    sql += "CREATE INDEX " + table + "_b ON " + table + " (f15, f16);\n";
  }
  return sql;
}

int GenerateSqlite(int tables, const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  for (int side = 1; side <= 2; ++side) {
    const auto path = dir / ("db" + std::to_string(side) + ".sqlite");
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return 1;
    const std::string sql = "BEGIN;" + PairSql(tables, side, Dialect::kSqlite) + "COMMIT;";
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::cerr << "generate: " << (error ? error : "?") << "\n";
      return 1;
    }
    sqlite3_close(db);
  }
  return 0;
}

db::PanelValues PanelFor(const std::string& side) {
  db::PanelValues panel;
  if (side.rfind("sqlite:", 0) == 0) {
    panel.engine = "SQLite";
    panel.file = side.substr(7);
    return panel;
  }
  std::vector<std::string> parts;
  std::stringstream in(side.substr(side.find(':') + 1));
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  parts.resize(5);
  panel.engine = "Mysql";
  panel.server = parts[0];
  panel.port = parts[1];
  panel.user = parts[2];
  panel.password = parts[3];
  panel.database = parts[4];
  return panel;
}

// The table names a side's Connect lists.
std::vector<std::string> ListedNames(const db::PanelValues& panel, int side) {
  std::vector<std::string> names;
  auto& slot = db::AppoggioMySQL::Slot(side);
  if (!db::AppoggioMySQL::PrepareSlot(slot, panel).prepared || !slot->Connect()) return names;
  if (auto records = slot->TableSchema()) {
    for (const db::Row& row : records->Rows()) names.push_back(row[0].StringValue());
  }
  slot->Close();
  return names;
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Compare as the window does it, without the window: DB 1's listed names
// looked up in DB 2's, each found table checked by the session.
int CoreCompare(const std::string& side1, const std::string& side2, int runs) {
  const db::PanelValues p1 = PanelFor(side1);
  const db::PanelValues p2 = PanelFor(side2);
  const auto names1 = ListedNames(p1, 1);
  const auto names2 = ListedNames(p2, 2);
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    const compare::TableIndex index(names2);
    compare::ComparisonSession session(p1, p2);
    int rows = 0;
    int notOk = 0;
    for (const std::string& name : names1) {
      const auto found = index.Find(name);
      const auto outcome =
          found ? session.CheckTable(name, names2[*found]).outcome : compare::TableOutcome::Missing;
      ++rows;
      if (outcome != compare::TableOutcome::Ok) ++notOk;
    }
    std::printf("run %.3f %d %d\n", Since(start), rows, notOk);
  }
  return 0;
}

// Answers every question at once: the benchmark never waits on a person.
class BenchSeam final : public ui::Seam {
public:
  std::optional<std::filesystem::path> file;
  void MsgBox(const QString& text) override {
    std::cerr << "message: " << text.toStdString() << "\n";
  }
  ui::PressedButton ShowModal(const ui::MessageDialogSpec&) override {
    return ui::PressedButton::Cancel;
  }
  std::optional<std::filesystem::path> GetOpenFolderItem() override { return file; }
  std::optional<ui::SaveChoice> GetSaveFolderItem(const QString&, const QStringList&) override {
    return std::nullopt;
  }
  void ShowURL(const QString&) override {}
  void Beep() override {}
  void Quit(int) override {}
  QString ExecutableFileName() override { return QStringLiteral("vantrix_bench"); }
};

void FillPanel(ui::FinestraPrincipale& w, BenchSeam& seam, int side, const db::PanelValues& p) {
  QComboBox* type = side == 1 ? w.DB1Type : w.DB2Type;
  seam.file = p.file;
  type->setCurrentIndex(type->findText(QString::fromStdString(p.engine)));
  if (p.engine == "SQLite") return;
  (side == 1 ? w.DB1server : w.DB2server)->setText(QString::fromStdString(p.server));
  (side == 1 ? w.DB1port : w.DB2port)->setText(QString::fromStdString(p.port));
  (side == 1 ? w.DB1database : w.DB2database)->setText(QString::fromStdString(p.database));
  (side == 1 ? w.DB1user : w.DB2user)->setText(QString::fromStdString(p.user));
  (side == 1 ? w.DB1pass : w.DB2pass)->setText(QString::fromStdString(p.password));
}

// Runs the event loop until the window's reading (on its worker thread) has
// ended and its rows are written.
void WaitForReading(const ui::FinestraPrincipale& w) {
  while (w.Reading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int WindowCompare(int argc, char** argv, const std::string& side1, const std::string& side2,
                  int runs) {
  App app(argc, argv);
  app.SetVersionRecord();
  BenchSeam seam;
  ui::InstallSeam(&seam);
  // Nothing listens on the discard port: the version check stays out of
  // the figures.
  update::AppoggioDbSupporto::Account().Port = 9;
  auto& w = ui::Reach<ui::FinestraPrincipale>();
  FillPanel(w, seam, 1, PanelFor(side1));
  FillPanel(w, seam, 2, PanelFor(side2));
  w.BevelButton1->click();
  WaitForReading(w);
  w.BevelButton2->click();
  WaitForReading(w);
  QCoreApplication::processEvents();
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    w.BevelButton3->click();
    WaitForReading(w);
    // The rows are on screen once the pending paint has run.
    QCoreApplication::processEvents();
    int notOk = 0;
    for (int row = 0; row < w.DiffTables->ListCount(); ++row) {
      if (w.DiffTables->Cell(row, 1) != QStringLiteral("Table ok")) ++notOk;
    }
    std::printf("run %.3f %d %d\n", Since(start), w.DiffTables->ListCount(), notOk);
    std::fflush(stdout);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_kb %ld\n", usage.ru_maxrss);
  w.close();
  ui::InstallSeam(nullptr);
  return 0;
}

// Each run reads the file afresh and keeps nothing of it: the peak is one
// schema and its text.
int ReadSnapshot(const std::string& path, int runs) {
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const snapshot::ReadResult read = snapshot::ReadSnapshotFile(path);
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                              start).count();
    if (!read.schema) {
      std::cerr << "read-snapshot: " << path << ": " << read.error << "\n";
      return 1;
    }
    std::printf("run %.1f %zu\n", ms, read.schema->tables.size());
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_kb %ld\n", usage.ru_maxrss);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "generate-sqlite" && argc == 4) return GenerateSqlite(std::atoi(argv[2]), argv[3]);
  if (command == "generate-sql" && (argc == 4 || argc == 5)) {
    const bool postgres = argc == 5 && std::string(argv[4]) == "postgresql";
    std::cout << PairSql(std::atoi(argv[2]), std::atoi(argv[3]),
                         postgres ? Dialect::kPostgres : Dialect::kMysql);
    return 0;
  }
  if (command == "core" && argc == 5) return CoreCompare(argv[2], argv[3], std::atoi(argv[4]));
  if (command == "window" && argc == 5) {
    return WindowCompare(argc, argv, argv[2], argv[3], std::atoi(argv[4]));
  }
  if (command == "read-snapshot" && argc == 4) return ReadSnapshot(argv[2], std::atoi(argv[3]));
  std::cerr << "usage: vantrix_bench generate-sqlite TABLES DIR |\n"
               "       generate-sql TABLES SIDE [postgresql] |\n"
               "       core SIDE1 SIDE2 RUNS | window SIDE1 SIDE2 RUNS |\n"
               "       read-snapshot FILE RUNS\n";
  return 2;
}
