// vantrix-diff's work: reading the sides, comparing them, writing the
// report (or, with --dump, the snapshot) whole or not at all.
#include "cli/Program.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <mutex>

#include "cli/ReportFile.h"
#include "cli/Side.h"
#include "cli/Terminal.h"
#include "compare/Findings.h"
#include "db/Ascii.h"
#include "db/TypeDetails.h"
#include "migrate/Script.h"
#include "migrate/Verify.h"
#include "report/Report.h"
#include "report/Text.h"
#include "snapshot/Snapshot.h"

namespace vantrix::cli {
namespace {

class Program {
public:
  explicit Program(Arguments args) : args_(std::move(args)) {}
  // Anything unforeseen is trouble too, reported as such.
  int Run() {
    try {
      return args_.dump ? Dump() : Compare();
    } catch (const std::exception& e) {
      return Trouble(e.what());
    }
  }

private:
  // Reports trouble: the message on standard error and, in JSON mode, an
  // error document where the report would have gone.
  int Trouble(const std::string& message);
  int Compare();
  // --dump: one database's whole structure written as a snapshot.
  int Dump();
  // Checks --output and decides where reports go; false with the trouble told.
  bool PrepareOutput();
  // Writes what `write` writes where the report goes: standard output, or
  // the --output file, whole or not at all. False, with the trouble told,
  // when it cannot be written.
  bool WriteOut(const std::function<void(std::ostream&)>& write);
  // Refuses an --output that is one of the compared files.
  bool OutputIsNoSide(const Side& side);
  // Resolves a side's argument; false with the trouble told.
  bool Resolve(Side& side);
  // Reads a side in the detail the options ask for.
  bool Read(Side& side, std::string& failure) {
    return ReadSide(side,
                    ReadsStructure() ? db::Detail::kStructure : db::Detail::kColumns, failure);
  }
  // The whole structure is read and compared unless only fields are asked
  // for: --one-way (the window's question) or --columns-only.
  [[nodiscard]] bool ReadsStructure() const {
    return args_.dump || (!args_.oneWay && !args_.columnsOnly);
  }
  bool ReadBoth(Side& db1, Side& db2);
  // The SQL that makes DB 2 like DB 1: as the report, or to --sql FILE
  // beside it; proved first on a scratch copy when DB 2 is SQLite.
  int WriteSql(const Side& db1, const Side& db2, Side& scratch, const report::Report& report,
               std::vector<migrate::Rename> renames, bool asReport);
  // Checks --verify's URL before anything is read: DB 2's engine, not one
  // of the compared databases. False with the trouble told.
  bool PrepareScratch(const Side& db1, const Side& db2, Side& scratch);

  Arguments args_;
  report::Format format_ = report::Format::kText;
  // Whether a report (or an error document) is written at all: not with
  // --quiet, nor once the output is found unfit.
  bool writes_ = false;
  bool toFile_ = false;  // to --output, not standard output
};

int Program::Trouble(const std::string& message) {
  // Names and server texts may hold anything: nothing reaches the terminal
  // that could steer it or reorder what it shows.
  std::cerr << "vantrix-diff: " << report::text::Plain(message) << '\n';
  if (writes_ && format_ == report::Format::kJson) {
    // Once only: a failure to write the document is not told again in one.
    writes_ = false;
    WriteOut([&](std::ostream& out) {
      report::WriteJsonError(out, message, report::GeneratedAtNow());
    });
  }
  return kExitTrouble;
}

bool Program::WriteOut(const std::function<void(std::ostream&)>& write) {
  std::string reason;
  if (!toFile_) {
    errno = 0;
    write(std::cout);
    std::cout.flush();
    if (std::cout) return true;
    reason = errno != 0 ? std::strerror(errno) : "the write failed";
    writes_ = false;
    Trouble("cannot write to standard output: " + reason);
    return false;
  }
  ReportFile file;
  if (file.Open(args_.output, reason)) {
    write(file.Stream());
    if (file.Commit(reason)) return true;
  }
  writes_ = false;
  Trouble("cannot write --output \"" + args_.output + "\": " + reason);
  return false;
}

bool Program::OutputIsNoSide(const Side& side) {
  if (!toFile_ || (side.url.engine != "SQLite" && side.url.engine != "Snapshot")) return true;
  std::error_code ec;
  if (!std::filesystem::equivalent(args_.output, side.url.file, ec)) return true;
  writes_ = false;  // not even an error document: it would overwrite the database
  Trouble("--output \"" + args_.output + "\" is DB " + std::to_string(side.number) +
          "'s file; the report would overwrite the " +
          (side.url.engine == "Snapshot" ? "snapshot" : "database"));
  return false;
}

bool Program::Resolve(Side& side) {
  if (auto refused = cli::Resolve(side)) {
    Trouble(*refused);
    return false;
  }
  return true;
}

bool Program::ReadBoth(Side& db1, Side& db2) {
  // Only on a terminal, and never with --quiet: a pipe or a log gets no
  // line to erase. The line names the sides, never a password.
  std::optional<ProgressLine> progress;
  const auto reading = [](const Side& side) {
    return "DB " + std::to_string(side.number) + " (" +
           report::text::Plain(cli::Describe(side.url)) + ")";
  };
  if (!args_.quiet && IsTerminal(STDERR_FILENO)) {
    progress.emplace(STDERR_FILENO, "Reading " + reading(db1) + " and " + reading(db2) + "...");
  }
  // Each side on its own connection, at the same time: the wait is the
  // slower side's, not the sum of both. When one side is done, the line
  // names the side still being read.
  std::string failure1;
  std::string failure2;
  std::mutex mutex;
  std::condition_variable finished;
  int done = 0;  // 1: DB 1 first, 2: DB 2 first, 3: both
  const auto readSide = [&](Side& side, std::string& failure) {
    const bool read = Read(side, failure);
    {
      std::lock_guard lock(mutex);
      done |= side.number;
    }
    finished.notify_all();
    return read;
  };
  auto first = std::async(std::launch::async, [&] { return readSide(db1, failure1); });
  auto second = std::async(std::launch::async, [&] { return readSide(db2, failure2); });
  {
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done != 0; });
    if (progress && done != 3) {
      progress->Update("Reading " + reading(done == 1 ? db2 : db1) + "...");
    }
  }
  const bool read1 = first.get();
  const bool read2 = second.get();
  if (progress) progress->Done();
  if (!read1) {
    Trouble(failure1);
    return false;
  }
  if (!read2) {
    Trouble(failure2);
    return false;
  }
  return true;
}

bool Program::PrepareOutput() {
  toFile_ = !args_.output.empty() && args_.output != "-";
  if (toFile_) {
    // Nothing is made yet: the report goes to a temporary file beside the
    // target once the comparison is made, and replaces the target whole.
    if (std::string reason; !CanWriteReport(args_.output, reason)) {
      Trouble("cannot write --output \"" + args_.output + "\": " + reason);
      return false;
    }
  }
  writes_ = !args_.quiet;
  return true;
}

int Program::Dump() {
  // Trouble is told on standard error only: a snapshot file gets no error
  // document.
  format_ = report::Format::kText;
  if (!PrepareOutput()) return kExitTrouble;
  Side side{1, args_.db1, {}, {}, {}};
  if (!Resolve(side) || !OutputIsNoSide(side)) return kExitTrouble;
  FindPassword(side, true);
  std::string failure;
  if (!Read(side, failure)) return Trouble(failure);
  // A time stamp only when asked for, so that two dumps of an unchanged
  // database are the same bytes.
  std::optional<std::string> when;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    when = report::GeneratedAtNow();
  }
  if (writes_ &&
      !WriteOut([&](std::ostream& out) { snapshot::WriteSnapshot(out, side.schema, when); })) {
    return kExitTrouble;
  }
  return kExitSame;
}

int Program::Compare() {
  const bool sqlReport = args_.format == "sql";
  format_ = sqlReport ? report::Format::kText : *report::FormatNamed(args_.format);
  if (!PrepareOutput()) return kExitTrouble;
  if ((sqlReport || !args_.sqlFile.empty()) && !ReadsStructure()) {
    return Trouble("the SQL needs the whole structure: not with --one-way or --columns-only");
  }
  std::vector<migrate::Rename> renames;
  for (const std::string& text : args_.renames) {
    const std::size_t dot = text.find('.');
    const std::size_t eq = text.find('=', dot == std::string::npos ? 0 : dot);
    if (dot == std::string::npos || eq == std::string::npos || dot == 0 || eq == dot + 1 ||
        eq + 1 == text.size()) {
      return Trouble("--rename \"" + text + "\" is not TABLE.OLD=NEW");
    }
    renames.push_back({text.substr(0, dot), text.substr(dot + 1, eq - dot - 1),
                       text.substr(eq + 1)});
  }
  std::string error;
  auto scope = compare::TableScope::Make(args_.tables, args_.exclude, error);
  if (!scope) return Trouble("bad regular expression: " + error);

  Side db1{1, args_.db1, {}, {}, {}};
  Side db2{2, args_.db2, {}, {}, {}};
  if (!Resolve(db1) || !Resolve(db2)) return kExitTrouble;
  if (!OutputIsNoSide(db1) || !OutputIsNoSide(db2)) return kExitTrouble;
  Side scratch{0, args_.verify, {}, {}, {}};
  if (!args_.verify.empty()) {
    if (!sqlReport && args_.sqlFile.empty()) {
      return Trouble("--verify proves the SQL script: give it with --format sql or --sql FILE");
    }
    if (!PrepareScratch(db1, db2, scratch)) return kExitTrouble;
  }
  FindPassword(db1, true);
  FindPassword(db2, true);
  if (!args_.verify.empty()) FindPassword(scratch, true);
  if (!ReadBoth(db1, db2)) return kExitTrouble;

  report::Report report;
  report.options.oneWay = args_.oneWay;
  report.options.strict = args_.strict;
  report.options.structure = ReadsStructure();
  for (const std::string& kind : args_.ignore) {
    report.options.ignore.push_back(*compare::IgnorableNamed(kind));
  }
  report.options.scope = std::move(*scope);
  report.findings = compare::FindDifferences(db1.schema, db2.schema, report.options);
  const bool scoped = !args_.tables.empty() || !args_.exclude.empty();
  if (scoped && report.findings.counts.db1Tables == 0 && report.findings.counts.db2Tables == 0) {
    std::string patterns;
    for (const std::string& p : args_.tables) patterns += " --tables \"" + p + "\"";
    for (const std::string& p : args_.exclude) patterns += " --exclude \"" + p + "\"";
    return Trouble("no table of DB 1 (" + std::to_string(db1.schema.tables.size()) +
                   ") or DB 2 (" + std::to_string(db2.schema.tables.size()) +
                   ") is left by" + patterns + "; patterns match whole names, letter case ignored");
  }
  report.db1 = Describe(db1);
  report.db2 = Describe(db2);
  report.generatedAt = report::GeneratedAtNow();
  if (sqlReport || !args_.sqlFile.empty()) {
    return WriteSql(db1, db2, scratch, report, std::move(renames), sqlReport);
  }
  if (writes_) {
    const bool colour = format_ == report::Format::kText && !toFile_ &&
                        IsTerminal(STDOUT_FILENO) &&
                        !(std::getenv("NO_COLOR") && *std::getenv("NO_COLOR"));
    if (!WriteOut([&](std::ostream& out) { report::Write(format_, out, report, colour); })) {
      return kExitTrouble;
    }
  }
  return report.findings.HasDifferences() ? kExitDifferences : kExitSame;
}

bool Program::PrepareScratch(const Side& db1, const Side& db2, Side& scratch) {
  ParsedUrl parsed = ParseDatabaseUrl(scratch.argument);
  if (!parsed.url) {
    Trouble(scratch.Shown() + ": " + parsed.error);
    return false;
  }
  scratch.url = std::move(*parsed.url);
  const DatabaseUrl& url = scratch.url;
  const db::Dialect wanted = db::DialectOf(db2.schema.engine.empty() ? db2.url.engine
                                                                      : db2.schema.engine);
  const db::Dialect given = db::DialectOf(url.engine);
  const auto engineText = [](db::Dialect d) {
    return d == db::Dialect::kMysql      ? std::string("a MariaDB/MySQL database")
           : d == db::Dialect::kPostgres ? std::string("a PostgreSQL database")
                                         : std::string("a SQLite file or :memory:");
  };
  if (url.engine == "Snapshot" || url.engine == "CubeSQLserver" || given != wanted) {
    Trouble(scratch.Shown() + ": the script is in DB 2's dialect, so it is proved on " +
            engineText(wanted));
    return false;
  }
  if (url.engine == "SQLite") {
    // :memory: is a scratch file of our own, removed after.
    if (url.file == ":memory:") return true;
    std::error_code ec;
    if (std::filesystem::is_directory(url.file, ec)) {
      Trouble(scratch.Shown() + ": a directory, not a SQLite file: " + url.file);
      return false;
    }
  } else if (url.database.empty()) {
    Trouble(scratch.Shown() + ": name the scratch database in the URL");
    return false;
  }
  // The compared databases are never written.
  for (const Side* side : {&db1, &db2}) {
    bool same = false;
    if (url.engine == "SQLite") {
      std::error_code ec;
      same = (side->url.engine == "SQLite" || side->url.engine == "Snapshot") &&
             std::filesystem::equivalent(url.file, side->url.file, ec);
    } else {
      const auto port = [](const DatabaseUrl& u) {
        return u.port > 0 ? u.port : db::DefaultPort(u.engine);
      };
      same = db::DialectOf(side->url.engine) == given &&
             db::AsciiLower(side->url.host) == db::AsciiLower(url.host) &&
             port(side->url) == port(url) && side->url.database == url.database;
    }
    if (same) {
      Trouble(scratch.Shown() + " is DB " + std::to_string(side->number) +
              ", which is compared and never written: name a scratch database");
      return false;
    }
  }
  scratch.database = db::CreateDatabase(url.engine);
  if (!scratch.database) {
    Trouble(scratch.Shown() + ": this build of vantrix-diff has no " + url.engine + " engine");
    return false;
  }
  scratch.database->Writable = true;
  return true;
}

int Program::WriteSql(const Side& db1, const Side& db2, Side& scratch,
                      const report::Report& report, std::vector<migrate::Rename> renames,
                      bool asReport) {
  // The tables in scope, on both sides: copies only when patterns leave
  // some out (a large schema is not copied for nothing).
  const bool everything = args_.tables.empty() && args_.exclude.empty();
  const auto scoped = [&](const db::Schema& schema) {
    db::Schema out;
    out.engine = schema.engine;
    out.qualifier = schema.qualifier;
    for (const db::Table& t : schema.tables) {
      if (report.options.scope.Contains(t.name)) out.tables.push_back(t);
    }
    return out;
  };
  db::Schema copy1;
  db::Schema copy2;
  if (!everything) {
    copy1 = scoped(db1.schema);
    copy2 = scoped(db2.schema);
  }
  const db::Schema& schema1 = everything ? db1.schema : copy1;
  const db::Schema& schema2 = everything ? db2.schema : copy2;
  migrate::ScriptOptions options;
  options.allowUnsafe = args_.allowUnsafe;
  options.renames = std::move(renames);
  const migrate::Script script = migrate::PlanScript(schema1, schema2, options);
  const db::Dialect dialect = db::DialectOf(schema2.engine);
  migrate::Verification verification;
  if (scratch.database && dialect != db::Dialect::kSqlite) {
    std::string failure;
    if (!ConnectSide(scratch, failure)) return Trouble(failure);
    verification =
        migrate::VerifyOnServer(*scratch.database, schema1, schema2, options, args_.allowUnsafe);
    scratch.database->Close();
  } else if (dialect == db::Dialect::kSqlite && !args_.noVerify) {
    const std::string path =
        scratch.database && scratch.url.file != ":memory:" ? scratch.url.file : std::string();
    verification = migrate::VerifyOnSqlite(schema1, schema2, script, args_.allowUnsafe, path);
  }
  migrate::ScriptHeader header{report::text::SideText(report.db1),
                               report::text::SideText(report.db2), *report.generatedAt,
                               report::ToolVersion()};
  const auto write = [&](std::ostream& out) {
    migrate::WriteScript(out, script, header, args_.allowUnsafe);
    if (verification.ran) {
      out << "\n";
      for (const std::string& line : migrate::Describe(verification)) out << "-- " << line << "\n";
    }
  };
  if (asReport) {
    if (writes_ && !WriteOut(write)) return kExitTrouble;
  } else {
    if (writes_ &&
        !WriteOut([&](std::ostream& out) { report::Write(format_, out, report, false); })) {
      return kExitTrouble;
    }
    std::string reason;
    ReportFile file;
    if (!file.Open(args_.sqlFile, reason) || (write(file.Stream()), !file.Commit(reason))) {
      return Trouble("cannot write --sql \"" + args_.sqlFile + "\": " + reason);
    }
  }
  if (!verification.cleanUp.empty()) {
    std::cerr << "vantrix-diff: " << scratch.Shown() << " could not be emptied again: "
              << report::text::Plain(verification.cleanUp) << '\n';
  }
  if (verification.ran && !verification.failedStatement.empty()) {
    std::cerr << "vantrix-diff: the script could not be proved on a scratch copy of DB 2: "
              << report::text::Plain(report::text::OneLine(verification.failedStatement))
              << ": " << report::text::Plain(report::text::OneLine(verification.message)) << '\n';
    return kExitTrouble;
  }
  return report.findings.HasDifferences() ? kExitDifferences : kExitSame;
}

}  // namespace

int RunProgram(Arguments args) { return Program(std::move(args)).Run(); }

}  // namespace vantrix::cli
