// The main window's File > Export Report…: the last Compare's findings,
// one way as the window compares, saved as the same HTML, Markdown or JSON
// report that vantrix-diff --one-way writes. It works from the schemas that
// Compare read, so it never connects again.
#include <sstream>

#include <QAction>
#include <QFile>
#include <QSaveFile>

#include "compare/Findings.h"
#include "db/Ascii.h"
#include "db/Database.h"
#include "report/Report.h"
#include "ui/FinestraPrincipale.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/Seam.h"

namespace vantrix::ui {

namespace {

// The file types offered, in this order, with the format and the extension
// each one stands for.
struct FileType {
  const char* filter;
  report::Format format;
  const char* extension;
};
constexpr FileType kFileTypes[] = {
    {"HTML page (*.html)", report::Format::kHtml, ".html"},
    {"Markdown (*.md)", report::Format::kMarkdown, ".md"},
    {"JSON (*.json)", report::Format::kJson, ".json"},
};

// The file type a typed extension names, letter case aside: the offered
// ones and their usual other spellings. None for any other extension.
const FileType* TypeOfExtension(const std::filesystem::path& file) {
  struct Spelling {
    const char* extension;
    int type;
  };
  constexpr Spelling kSpellings[] = {
      {".html", 0}, {".htm", 0}, {".md", 1}, {".markdown", 1}, {".json", 2}};
  const std::string typed = file.extension().string();
  for (const Spelling& spelling : kSpellings) {
    if (db::EqualsIgnoringAsciiCase(typed, spelling.extension)) return &kFileTypes[spelling.type];
  }
  return nullptr;
}

QString Shown(const std::filesystem::path& file) {
  return QFile::decodeName(QByteArray::fromStdString(file.string()));
}

// Asks whether an existing file may be replaced: the save dialog asked
// about the name as typed, not about the one the extension was added to.
bool MayReplace(const std::filesystem::path& file) {
  MessageDialogSpec dialog;
  dialog.Message = QStringLiteral("\"") + Shown(file.filename()) +
                   QStringLiteral("\" already exists. Do you want to replace it?");
  dialog.Explanation = QStringLiteral("A file with this name already exists in \"") +
                       Shown(file.parent_path()) +
                       QStringLiteral("\". Replacing it overwrites its contents.");
  dialog.Icon = 1;
  dialog.ActionButton = {QStringLiteral("Replace"), true};
  dialog.CancelButton = {QStringLiteral("Cancel"), true};
  return TheSeam().ShowModal(dialog) == PressedButton::Action;
}

// A side as the reports name it: never its password.
report::SideDescription Describe(const db::PanelValues& panel, const db::Schema& schema) {
  report::SideDescription side;
  const bool cubeSql = db::EqualsIgnoringAsciiCase(panel.engine, "RealServer") ||
                       db::EqualsIgnoringAsciiCase(panel.engine, "CubeSQLserver");
  side.engine = cubeSql ? "CubeSQLserver" : panel.engine;
  side.tableCount = static_cast<int>(schema.tables.size());
  if (db::EqualsIgnoringAsciiCase(panel.engine, "SQLite")) {
    side.engine = "SQLite";
    side.database = panel.file ? panel.file->string() : std::string();
    return side;
  }
  side.host = panel.server;
  side.database = panel.database;
  int port = 0;
  try {
    port = panel.port.empty() ? 0 : std::stoi(panel.port);
  } catch (const std::exception&) {
    port = 0;
  }
  side.port = port > 0 ? port : db::DefaultPort(panel.engine);
  return side;
}

}  // namespace

void FinestraPrincipale::KeepLastCompare(std::optional<LastCompare> last) {
  lastCompare_ = std::move(last);
  if (MenuBar1* menus = MenuBar1::Installed()) {
    menus->FileExportReport->setEnabled(lastCompare_.has_value());
  }
}

void FinestraPrincipale::FileExportReport_Action() {
  if (!lastCompare_) return;
  QStringList filters;
  for (const FileType& type : kFileTypes) filters << QString::fromUtf8(type.filter);
  const auto choice = TheSeam().GetSaveFolderItem(QStringLiteral("vantrix-report.html"), filters);
  if (!choice) return;
  const FileType* chosen = &kFileTypes[0];
  for (const FileType& candidate : kFileTypes) {
    if (choice->filter == QString::fromUtf8(candidate.filter)) chosen = &candidate;
  }
  // A typed extension says which report is wanted; without one the file
  // type chosen in the dialog does, and lends its extension.
  std::filesystem::path file = choice->file;
  const FileType* typed = TypeOfExtension(file);
  const FileType* type = typed != nullptr ? typed : chosen;
  if (file.extension().empty()) {
    file += chosen->extension;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(file, error)) &&
        !MayReplace(file)) {
      return;
    }
  }

  report::Report report;
  report.options.oneWay = true;
  report.findings =
      compare::FindDifferences(lastCompare_->schema1, lastCompare_->schema2, report.options);
  report.db1 = Describe(lastCompare_->db1, lastCompare_->schema1);
  report.db2 = Describe(lastCompare_->db2, lastCompare_->schema2);
  report.generatedAt = report::GeneratedAtNow();
  std::ostringstream text;
  report::Write(type->format, text, report, false);
  const std::string bytes = std::move(text).str();

  // Written beside the file under another name and put in its place only
  // when complete, so that a file that was there is never left half
  // written or empty.
  QSaveFile out(Shown(file));
  const bool saved = out.open(QIODevice::WriteOnly) &&
                     out.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                         static_cast<qint64>(bytes.size()) &&
                     out.commit();
  if (!saved) {
    TheSeam().MsgBox(QStringLiteral("The report could not be saved as \"") + Shown(file) +
                     QStringLiteral("\": ") + out.errorString());
  }
}

}  // namespace vantrix::ui
