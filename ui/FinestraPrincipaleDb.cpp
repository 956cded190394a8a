// The main window's database work: the type menus, Connect, table selection,
// Compare and the field comparison of a result row. The window reads its
// controls, hands plain values to the worker thread (SchemaReads.cpp), and
// writes rows and messages when the reading has ended; the rules and the
// engines live in db/ and compare/.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>

#include "compare/Rules.h"
#include "db/AppoggioMySQL.h"
#include "db/Database.h"
#include "ui/FinestraPrincipale.h"
#include "ui/SchemaReads.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/Worker.h"

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

// Whether two panels name the same connection.
bool SamePanel(const db::PanelValues& a, const db::PanelValues& b) {
  return a.server == b.server && a.database == b.database && a.user == b.user &&
         a.password == b.password && a.engine == b.engine && a.port == b.port && a.file == b.file;
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

// The name under which DB 2's list names a DB 1 table (the same name if DB 2
// lists it, otherwise the first match ignoring letter case), so that each
// side is asked under its own spelling.
std::string Db2NameOf(const FinestraPrincipale& w, const std::string& db1Name) {
  const auto names = Names(*w.DB2tables);
  const auto found = compare::TableIndex(names).Find(db1Name);
  return found ? names[*found] : db1Name;
}

// The declared types (and defaults) behind a field verdict, both sides:
// "DB 1: INTEGER → 3 Integer default 0 · DB 2: int(11) → 3 Integer", or
// "DB 1: INTEGER → 3 Integer · not in DB 2".
std::string TypesOf(const compare::FieldVerdict& verdict) {
  auto side = [](const compare::FieldType& type) {
    return db::DescribeField(type.declaredType, type.typeCode, type.declaredDefault, " ");
  };
  std::string text = "DB 1: " + side(verdict.db1) + " \u00B7 ";
  text += verdict.db2 ? "DB 2: " + side(*verdict.db2) : std::string("not in DB 2");
  return text;
}

// Puts back the selection a list had before the selection that started a
// reading now given up, without starting another.
std::function<void()> SelectionBack(Listbox* list) {
  return [list, previous = list->PreviousListIndex()] {
    const QSignalBlocker quiet(list);
    list->SetListIndex(previous);
  };
}

// Fills a table list with names as the engine gave them.
void FillNames(Listbox& list, const std::vector<std::string>& names) {
  list.DeleteAllRows();
  for (const std::string& name : names) list.AddRow(name);
}

}  // namespace

// --- The reading operations and the worker -----------------------------------

bool FinestraPrincipale::Reading() const { return worker_->Running(); }

bool FinestraPrincipale::StartReading(std::function<void()> work, std::function<void()> done,
                                      std::function<void()> undo) {
  const bool started = worker_->Start(std::move(work), [this, done = std::move(done)] {
    EndReading();
    done();
  });
  if (!started) return false;
  undo_ = std::move(undo);
  busy_.emplace();
  SetReadingControlsEnabled(false);
  cancelShortcut_->setEnabled(true);
  return true;
}

void FinestraPrincipale::EndReading() {
  undo_ = nullptr;
  cancelShortcut_->setEnabled(false);
  SetReadingControlsEnabled(true);
  busy_.reset();
}

void FinestraPrincipale::CancelReading() {
  if (!worker_->Abandon()) return;
  const std::function<void()> undo = std::move(undo_);
  EndReading();
  if (undo) undo();
}

void FinestraPrincipale::SetReadingControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{BevelButton1, BevelButton2, BevelButton3,
                                                          DB1tables, DB2tables, DiffTables}) {
    control->setEnabled(enabled);
  }
}

void FinestraPrincipale::ShowAll(const std::vector<reads::Message>& messages) {
  for (const reads::Message& message : messages) {
    const QString text = QString::fromStdString(message.text);
    if (message.side == 0) {
      TheSeam().MsgBox(text);
    } else {
      TheSeam().TitledMsgBox(QStringLiteral("DB %1").arg(message.side), text);
    }
  }
}

void FinestraPrincipale::DB1Type_Change() { TypeChange(*this, 1); }
void FinestraPrincipale::DB2Type_Change() { TypeChange(*this, 2); }

// Connect: lists the side's tables. The input checks run here, at once;
// connecting and listing on the worker.
void FinestraPrincipale::ConnectAction(int side) {
  if (Reading()) return;
  const db::PanelValues values = ValuesOf(*this, side);
  auto job = std::make_shared<reads::TableListing>();
  job->side = side;
  const db::Preparation prepared = slots::PrepareSlot(job->slot, values);
  if (!prepared.prepared) {
    Show(prepared.message);
    return;
  }
  StartReading([job] { reads::ListTables(*job); },
               [this, job, values] {
                 if (job->failure) {
                   ShowAll({*job->failure});
                   return;
                 }
                 Listbox* tables = PanelOf(*this, job->side).tables;
                 if (job->tables->IsEOF()) {
                   tables->DeleteAllRows();
                 } else {
                   slots::popolalista(*job->tables, *tables);
                 }
                 listedFrom_[job->side - 1] = values;
               });
}

// A table selection: lists the selected table's fields.
void FinestraPrincipale::TablesChange(int side) {
  if (Reading()) return;
  const Panel p = PanelOf(*this, side);
  const int selected = p.tables->ListIndex();
  if (selected < 0) {
    p.fields->DeleteAllRows();
    return;
  }
  auto job = std::make_shared<reads::FieldListing>();
  job->side = side;
  job->table = p.tables->EngineText(selected, 0);
  const db::Preparation prepared = slots::PrepareSlot(job->slot, ValuesOf(*this, side));
  if (!prepared.prepared) {
    Show(prepared.message);
    return;
  }
  StartReading([job] { reads::ListFields(*job); },
               [this, job] {
                 Listbox* fields = PanelOf(*this, job->side).fields;
                 if (job->failure) {
                   ShowAll({*job->failure});
                 } else if (job->fields->IsEOF()) {
                   fields->DeleteAllRows();
                 } else {
                   popolalistaLOC(*job->fields, *fields);
                 }
               },
               SelectionBack(p.tables));
}

void FinestraPrincipale::BevelButton1_Action() { ConnectAction(1); }
void FinestraPrincipale::BevelButton2_Action() { ConnectAction(2); }
void FinestraPrincipale::DB1tables_Change() { TablesChange(1); }
void FinestraPrincipale::DB2tables_Change() { TablesChange(2); }

void FinestraPrincipale::popolalistaLOC(db::RecordSet& records, Listbox& list) {
  db::FillFieldList(records, list);
}

void FinestraPrincipale::BevelButton3_Action() {
  if (Reading()) return;
  if (DB1tables->ListCount() < 1 || DB2tables->ListCount() < 1) {
    KeepLastCompare(std::nullopt);
    DiffTables->DeleteAllRows();
    DiffTables->SetDefaultRowHeight(17);
    Show(compare::kConnectBoth);
    return;
  }
  auto job = std::make_shared<reads::Comparison>();
  job->db1 = ValuesOf(*this, 1);
  job->db2 = ValuesOf(*this, 2);
  job->names1 = Names(*DB1tables);
  job->names2 = Names(*DB2tables);
  // A side whose panel was edited since its list was filled is listed
  // again from what this Compare reads, so that the rows never speak of
  // another database than the panel names.
  job->relist1 = listedFrom_[0] && !SamePanel(*listedFrom_[0], job->db1);
  job->relist2 = listedFrom_[1] && !SamePanel(*listedFrom_[1], job->db2);
  StartReading([job] { reads::CompareAll(*job); },
               [this, job] {
                 const std::pair<bool, int> relisted[] = {{job->relisted1, 1}, {job->relisted2, 2}};
                 for (const auto& [again, side] : relisted) {
                   if (!again) continue;
                   const Panel p = PanelOf(*this, side);
                   FillNames(*p.tables, side == 1 ? job->names1 : job->names2);
                   p.fields->DeleteAllRows();
                   listedFrom_[side - 1] = side == 1 ? job->db1 : job->db2;
                 }
                 DiffTables->DeleteAllRows();
                 DiffTables->SetDefaultRowHeight(17);
                 if (job->nothingToCompare) {
                   KeepLastCompare(std::nullopt);
                   ShowAll(job->messages);
                   Show(compare::kConnectBoth);
                   return;
                 }
                 for (std::size_t i = 0; i < job->names1.size(); ++i) {
                   DiffTables->AddRow(job->names1[i]);
                   const int added = DiffTables->LastIndex();
                   DiffTables->SetLastRowCell(1, compare::NoteFor(job->outcomes[i]));
                   DiffTables->SetRowPicture(
                       added, Picture(QString::fromUtf8(PictureFor(job->outcomes[i]))));
                 }
                 ShowAll(job->messages);
                 // The export tells the same story only when the rows were
                 // made from exactly the tables the schemas list.
                 if (job->schema1 && job->schema2 && reads::NamesOf(*job->schema1) == job->names1 &&
                     reads::NamesOf(*job->schema2) == job->names2) {
                   KeepLastCompare(LastCompare{job->db1, job->db2, std::move(*job->schema1),
                                               std::move(*job->schema2)});
                 } else {
                   KeepLastCompare(std::nullopt);
                 }
               });
}

void FinestraPrincipale::DiffTables_Change() {
  if (Reading()) return;
  ControlloTabelle();
}

void FinestraPrincipale::ControlloTabelle() {
  const int row = DiffTables->ListIndex();
  if (row < 0) {
    DiffFields->DeleteAllRows();
    return;
  }
  if (DiffTables->Cell(row, 1).compare(QString::fromUtf8(compare::kTableNotOk),
                                       Qt::CaseInsensitive) == 0) {
    DiffFields->DeleteAllRows();
    Show(compare::kNotOkRefused);
    return;
  }
  auto job = std::make_shared<reads::FieldComparison>();
  job->db1 = ValuesOf(*this, 1);
  job->db2 = ValuesOf(*this, 2);
  job->db1Name = DiffTables->EngineText(row, 0);
  job->db2Name = Db2NameOf(*this, job->db1Name);
  StartReading([job] { reads::CompareFields(*job); },
               [this, job] {
                 DiffFields->DeleteAllRows();
                 ShowAll(job->messages);
                 if (job->notice) {
                   DiffFields->AddRow(QString::fromUtf8(job->notice->c_str()));
                   return;
                 }
                 for (const compare::FieldVerdict& verdict : job->verdicts) {
                   DiffFields->AddRow(QString::fromStdString(verdict.name));
                   const int added = DiffFields->LastIndex();
                   DiffFields->SetCell(added, 1,
                                       QString::fromStdString(compare::FieldNote(verdict)));
                   DiffFields->SetRowDescription(added, QString::fromStdString(TypesOf(verdict)));
                 }
               },
               SelectionBack(DiffTables));
}

}  // namespace vantrix::ui
