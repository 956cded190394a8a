// The main window's database work: the type menus, Connect, table selection,
// Compare and the field comparison of a result row. The window only reads
// its controls, asks the core and writes rows and messages; the rules and
// the engines live in db/ and compare/.
#include <QComboBox>
#include <QLineEdit>

#include "compare/Rules.h"
#include "compare/Session.h"
#include "db/AppoggioMySQL.h"
#include "db/Database.h"
#include "ui/FinestraPrincipale.h"
#include "ui/toolkit/BusyCursor.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/Seam.h"

namespace vantrix::ui {

namespace slots = db::AppoggioMySQL;

namespace {

std::string Text(const QLineEdit* field) { return field->text().toStdString(); }

void Show(const std::string& message) { TheSeam().MsgBox(QString::fromStdString(message)); }

// Column 0 of every row of a list, as the engine gave the names: they go
// back to the engine unchanged.
std::vector<std::string> Names(const Listbox& list) {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(list.ListCount()));
  for (int row = 0; row < list.ListCount(); ++row) names.push_back(list.EngineText(row, 0));
  return names;
}

const char* PictureFor(compare::TableOutcome outcome) {
  switch (outcome) {
    case compare::TableOutcome::Ok:
      return "ok.jpg";
    case compare::TableOutcome::Missing:
      return "err.jpg";
    case compare::TableOutcome::FieldsDiffer:
    case compare::TableOutcome::NotChecked:
      return "alert.jpg";
  }
  return "alert.jpg";
}

// The controls of one side's panel.
struct Panel {
  QLineEdit* server;
  QLineEdit* database;
  QLineEdit* user;
  QLineEdit* password;
  QComboBox* type;
  QLineEdit* port;
  Listbox* tables;
  Listbox* fields;
  std::optional<std::filesystem::path>& file;
};

Panel PanelOf(FinestraPrincipale& w, int side) {
  if (side == 2) {
    return {w.DB2server, w.DB2database, w.DB2user,   w.DB2pass,      w.DB2Type,
            w.DB2port,   w.DB2tables,   w.DB2fields, w.DB2FolderItem};
  }
  return {w.DB1server, w.DB1database, w.DB1user,   w.DB1pass,      w.DB1Type,
          w.DB1port,   w.DB1tables,   w.DB1fields, w.DB1FolderItem};
}

// What a side's panel holds now.
db::PanelValues ValuesOf(FinestraPrincipale& w, int side) {
  const Panel p = PanelOf(w, side);
  return {Text(p.server),
          Text(p.database),
          Text(p.user),
          Text(p.password),
          p.type->currentText().toStdString(),
          Text(p.port),
          p.file};
}

// Prepares and connects a side's slot from its panel as it is now. On
// failure the message has been shown and the answer is null.
db::Database* ConnectSide(FinestraPrincipale& w, int side) {
  std::string message;
  {
    BusyCursor busy;
    const db::Preparation prepared = slots::PrepareSlot(slots::Slot(side), ValuesOf(w, side));
    if (!prepared.prepared) {
      message = prepared.message;
    } else if (!slots::Slot(side)->Connect()) {
      message = slots::Slot(side)->ErrorMessage();
    } else {
      return slots::Slot(side).get();
    }
  }
  Show(message);
  return nullptr;
}

// Adapts a side's panel to the engine chosen in its type menu.
void TypeChange(FinestraPrincipale& w, int side) {
  const Panel p = PanelOf(w, side);
  const QString engine = p.type->currentText();
  if (engine.compare(QStringLiteral("SQLite"), Qt::CaseInsensitive) == 0) {
    for (QLineEdit* field : {p.server, p.database, p.password, p.user, p.port}) {
      field->setEnabled(false);
    }
    // Side 2 forgets every text of its panel; side 1 only its port.
    if (side == 2) {
      for (QLineEdit* field : {p.server, p.database, p.password, p.user, p.port}) field->clear();
    } else {
      p.port->clear();
    }
    p.file = TheSeam().GetOpenFolderItem();
    if (p.file) p.database->setText(QString::fromStdString(p.file->filename().string()));
    return;
  }
  for (QLineEdit* field : {p.server, p.database, p.password, p.user}) field->setEnabled(true);
  p.file.reset();
  p.port->setEnabled(true);
  if (engine.compare(QStringLiteral("RealServer"), Qt::CaseInsensitive) == 0 ||
      engine.compare(QStringLiteral("CubeSQLserver"), Qt::CaseInsensitive) == 0) {
    p.port->setText(QStringLiteral("4430"));
  } else if (engine.compare(QStringLiteral("Mysql"), Qt::CaseInsensitive) == 0) {
    p.port->setText(QStringLiteral("3306"));
  } else if (engine.compare(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive) == 0) {
    p.port->setText(QStringLiteral("5432"));
  }
}

// Connect: lists the side's tables.
void ConnectAction(FinestraPrincipale& w, int side) {
  Listbox* tables = PanelOf(w, side).tables;
  db::Database* db = ConnectSide(w, side);
  if (!db) return;
  std::unique_ptr<db::RecordSet> schema;
  {
    BusyCursor busy;
    schema = db->TableSchema();
  }
  if (!schema) {
    Show(db->ErrorMessage());
  } else if (schema->IsEOF()) {
    tables->DeleteAllRows();
  } else {
    slots::popolalista(*schema, *tables);
  }
  db->Close();
}

// A table selection: lists the selected table's fields.
void TablesChange(FinestraPrincipale& w, int side) {
  const Panel p = PanelOf(w, side);
  const int selected = p.tables->ListIndex();
  if (selected < 0) {
    p.fields->DeleteAllRows();
    return;
  }
  const std::string table = p.tables->EngineText(selected, 0);
  db::Database* db = ConnectSide(w, side);
  if (!db) return;
  std::unique_ptr<db::RecordSet> schema;
  {
    BusyCursor busy;
    schema = db->FieldSchema(table);
  }
  if (!schema) {
    Show(db->ErrorMessage());
  } else if (schema->IsEOF()) {
    p.fields->DeleteAllRows();
  } else {
    w.popolalistaLOC(*schema, *p.fields);
  }
  db->Close();
}

// The name under which DB 2 lists a DB 1 table (the same name if DB 2 lists
// it, otherwise the first match ignoring letter case), so that each side is
// asked under its own spelling.
std::string Db2NameOf(const std::vector<std::string>& db2Names, const compare::TableIndex& index,
                      const std::string& db1Name) {
  const auto found = index.Find(db1Name);
  return found ? db2Names[*found] : db1Name;
}

// The declared types behind a field verdict, both sides:
// "DB 1: INTEGER → 3 Integer · DB 2: int(11) → 3 Integer", or
// "DB 1: INTEGER → 3 Integer · not in DB 2".
std::string TypesOf(const compare::FieldVerdict& verdict) {
  auto side = [](const compare::FieldType& type) {
    return db::DescribeDeclaredType(type.declaredType, type.typeCode, " ");
  };
  std::string text = "DB 1: " + side(verdict.db1) + " \u00B7 ";
  text += verdict.db2 ? "DB 2: " + side(*verdict.db2) : std::string("not in DB 2");
  return text;
}

std::string Db2NameOf(const FinestraPrincipale& w, const std::string& db1Name) {
  const auto names = Names(*w.DB2tables);
  return Db2NameOf(names, compare::TableIndex(names), db1Name);
}

}  // namespace

void FinestraPrincipale::DB1Type_Change() { TypeChange(*this, 1); }
void FinestraPrincipale::DB2Type_Change() { TypeChange(*this, 2); }
void FinestraPrincipale::BevelButton1_Action() { ConnectAction(*this, 1); }
void FinestraPrincipale::BevelButton2_Action() { ConnectAction(*this, 2); }
void FinestraPrincipale::DB1tables_Change() { TablesChange(*this, 1); }
void FinestraPrincipale::DB2tables_Change() { TablesChange(*this, 2); }

void FinestraPrincipale::popolalistaLOC(db::RecordSet& records, Listbox& list) {
  db::FillFieldList(records, list);
}

void FinestraPrincipale::BevelButton3_Action() {
  KeepLastCompare(std::nullopt);
  DiffTables->DeleteAllRows();
  DiffTables->SetDefaultRowHeight(17);
  if (DB1tables->ListCount() < 1 || DB2tables->ListCount() < 1) {
    Show(compare::kConnectBoth);
    return;
  }
  // DB 2's names are indexed once for the whole Compare.
  const std::vector<std::string> db1Names = Names(*DB1tables);
  const std::vector<std::string> db2Names = Names(*DB2tables);
  const compare::TableIndex db2Index(db2Names);
  BusyCursor busy;
  const db::PanelValues db1 = ValuesOf(*this, 1);
  const db::PanelValues db2 = ValuesOf(*this, 2);
  compareSession_ = std::make_unique<compare::ComparisonSession>(db1, db2);
  compareDb2_ = CompareDb2{&db2Names, &db2Index};
  for (const std::string& name : db1Names) {
    DiffTables->AddRow(name);
    const int added = DiffTables->LastIndex();
    const compare::TableOutcome outcome =
        db2Index.Find(name) ? PreControlloTabelle(added) : compare::TableOutcome::Missing;
    DiffTables->SetLastRowCell(1, compare::NoteFor(outcome));
    DiffTables->SetRowPicture(added, Picture(QString::fromUtf8(PictureFor(outcome))));
  }
  compareDb2_.reset();
  auto schema1 = compareSession_->TakeSchema(1);
  auto schema2 = compareSession_->TakeSchema(2);
  compareSession_.reset();
  if (schema1 && schema2) {
    KeepLastCompare(LastCompare{db1, db2, std::move(*schema1), std::move(*schema2)});
  }
}

compare::TableOutcome FinestraPrincipale::PreControlloTabelle(int row) {
  const std::string name = DiffTables->EngineText(row, 0);
  // Outside a Compare the check stands alone, with its own connections.
  std::unique_ptr<compare::ComparisonSession> ownSession;
  compare::ComparisonSession* session = compareSession_.get();
  if (!session) {
    ownSession =
        std::make_unique<compare::ComparisonSession>(ValuesOf(*this, 1), ValuesOf(*this, 2));
    session = ownSession.get();
  }
  const std::string db2Name = compareDb2_
                                  ? Db2NameOf(*compareDb2_->names, *compareDb2_->index, name)
                                  : Db2NameOf(*this, name);
  const auto check = session->CheckTable(name, db2Name);
  for (const std::string& message : check.messages) Show(message);
  return check.outcome;
}

void FinestraPrincipale::DiffTables_Change() { ControlloTabelle(); }

void FinestraPrincipale::ControlloTabelle() {
  const int row = DiffTables->ListIndex();
  DiffFields->DeleteAllRows();
  if (row < 0) return;
  if (DiffTables->Cell(row, 1).compare(QString::fromUtf8(compare::kTableNotOk),
                                       Qt::CaseInsensitive) == 0) {
    Show(compare::kNotOkRefused);
    return;
  }
  const std::string name = DiffTables->EngineText(row, 0);
  compare::ComparisonSession::FieldCheck check;
  {
    BusyCursor busy;
    compare::ComparisonSession session(ValuesOf(*this, 1), ValuesOf(*this, 2));
    check = session.CompareTableFields(name, Db2NameOf(*this, name));
  }
  for (const std::string& message : check.messages) Show(message);
  if (check.notice) {
    DiffFields->AddRow(QString::fromUtf8(check.notice->c_str()));
    return;
  }
  for (const compare::FieldVerdict& verdict : check.verdicts) {
    DiffFields->AddRow(QString::fromStdString(verdict.name));
    const int added = DiffFields->LastIndex();
    DiffFields->SetCell(added, 1, QString::fromStdString(compare::FieldNote(verdict)));
    DiffFields->SetRowDescription(added, QString::fromStdString(TypesOf(verdict)));
  }
}

}  // namespace vantrix::ui
