// The main window's File > Export Report…: the last Compare's findings,
// one way as the window compares, saved as the same HTML, Markdown or JSON
// report that vantrix-diff --one-way writes. It works from the schemas that
// Compare read, so it never connects again.
#include <cerrno>
#include <cstring>
#include <fstream>

#include <QAction>
#include <QFile>

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
  const FileType* type = &kFileTypes[0];
  for (const FileType& candidate : kFileTypes) {
    if (choice->filter == QString::fromUtf8(candidate.filter)) type = &candidate;
  }
  std::filesystem::path file = choice->file;
  if (file.extension().empty()) file += type->extension;

  report::Report report;
  report.options.oneWay = true;
  report.findings =
      compare::FindDifferences(lastCompare_->schema1, lastCompare_->schema2, report.options);
  report.db1 = Describe(lastCompare_->db1, lastCompare_->schema1);
  report.db2 = Describe(lastCompare_->db2, lastCompare_->schema2);
  report.generatedAt = report::GeneratedAtNow();

  errno = 0;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) {
    report::Write(type->format, out, report, false);
    out.flush();
  }
  if (!out) {
    const int error = errno;
    TheSeam().MsgBox(
        QStringLiteral("The report could not be saved as \"") +
        QFile::decodeName(QByteArray::fromStdString(file.string())) + QStringLiteral("\"") +
        (error != 0 ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))
                    : QString()));
  }
}

}  // namespace vantrix::ui
