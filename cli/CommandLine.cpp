#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/DatabaseUrl.h"
#include "cli/Program.h"
#include "cli/Side.h"
#include "db/SchemaMemory.h"
#include "report/Text.h"
#include "report/Version.h"

// vantrix-diff's command line: its options, its help, and what it says of
// arguments it does not take.
namespace vantrix::cli {
namespace {

constexpr const char* kDescription =
    "Compares the structure of two databases, DB 1 and DB 2: the tables each has, their "
    "fields' names and types by the same rules as the Vantrix window, and their keys, indexes, "
    "references, checks, defaults, views and triggers, by meaning across engines. Only schemas "
    "are read; nothing is changed. With --dump, writes one database's structure as a snapshot "
    "file, which can then stand for a database.";

constexpr const char* kFooter = R"(Databases:
  mysql://[USER[:PASSWORD]@]HOST[:PORT]/DATABASE      (mariadb:// the same)
      ?ssl-mode=DISABLED|PREFERRED|REQUIRED|VERIFY_IDENTITY&ssl-ca=FILE
  cubesql://[USER[:PASSWORD]@]HOST[:PORT]/DATABASE
  postgresql://[USER[:PASSWORD]@][HOST][:PORT][/DATABASE][?schema=NAME]
                                                      (postgres:// the same)
      also host, port, dbname, user, password, sslmode, sslrootcert
  sqlite:PATH, sqlite:///ABSOLUTE/PATH, or the path of an existing SQLite file
  snapshot:PATH, or a path ending in .json: a snapshot --dump wrote
  Percent-escapes (%40 for @) are decoded; IPv6 hosts go in brackets: [::1].
  A password may hold / ? # @ as they are; write @ in a database name as %40.

Passwords: a password in the URL is used as it is (and wiped from the
program's arguments once read; other users may see it in ps until then);
otherwise the one in VANTRIX_DB1_PASSWORD or VANTRIX_DB2_PASSWORD; otherwise,
when the URL names a user and standard input is a terminal, it is asked for
without echo. PGPASSWORD is never read; ~/.pgpass is.

Exit status: 0 no differences, 1 differences, 2 trouble (bad arguments, a
database that cannot be read, an output that cannot be written). A table that
a database lists but cannot read is "not checked" and counts as a difference.
With --format json, trouble writes an error document ({"status": "error",
"error": {"message": ...}}) where the report would have gone, unless the
command line itself cannot be read; the message also goes to standard error.

Examples:
  vantrix-diff shop-dev.sqlite mysql://ann@db.example/shop
  VANTRIX_DB2_PASSWORD=secret vantrix-diff --format html -o report.html \
      sqlite:shop.db cubesql://admin@10.0.0.5/shop
  vantrix-diff --one-way --tables 'inv.*' --exclude '.*_tmp' a.sqlite b.sqlite
  vantrix-diff --format json old.sqlite 'postgresql://ann@[::1]/shop?schema=sales'
  vantrix-diff --dump mysql://ann@db.example/shop -o shop.json
  vantrix-diff shop.json mysql://ann@db.example/shop)";

// Letters to change, add or remove to make one word the other.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// What to say of arguments the command line does not take: an option it
// does not know, with the one probably meant, or one database too many.
std::string ExtrasMessage(const CLI::App& app, int argc, char** argv) {
  std::vector<std::string> known;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) known.push_back("--" + name);
    for (const std::string& name : option->get_snames()) known.push_back("-" + name);
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument == "--") break;
    if (argument.size() < 2 || argument[0] != '-') continue;
    const std::string name(argument.substr(0, argument.find('=')));
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    std::string message = "unknown option " + name;
    std::size_t best = 3;
    std::string meant;
    for (const std::string& candidate : known) {
      if (candidate.size() < 3) continue;  // no guessing among one-letter options
      const std::size_t distance = EditDistance(name, candidate);
      if (distance < best) {
        best = distance;
        meant = candidate;
      }
    }
    if (!meant.empty()) message += " (did you mean " + meant + "?)";
    return message;
  }
  std::string extra;
  const std::vector<std::string> remaining = app.remaining();
  for (const std::string& argument : remaining) {
    extra += (extra.empty() ? "\"" : ", \"") + MaskPassword(argument) + "\"";
  }
  return "too many arguments: DB1 and DB2 are two, and " + extra +
         (remaining.size() == 1 ? " is one more" : " are more");
}

// Adds the targets of a --targets file: one a line, blank lines and lines
// starting with "#" left out. The reason when it cannot be read.
std::optional<std::string> ReadTargets(const std::string& path, std::vector<std::string>& into) {
  std::ifstream in(path);
  if (!in) return "cannot read --targets \"" + path + "\": " + std::strerror(errno);
  for (std::string line; std::getline(in, line);) {
    // A comment is a line of its own: "#" may be part of a password.
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    const std::size_t last = line.find_last_not_of(" \t\r");
    into.push_back(line.substr(first, last - first + 1));
  }
  return std::nullopt;
}

}  // namespace

int Run(int argc, char** argv) {
  // Before any thread that reads a side starts.
  db::PrepareForLargeSchemas();
  CLI::App app(kDescription, "vantrix-diff");
  Arguments args;
  app.add_option("DB1", args.db1, "The first database (URL, SQLite file or snapshot)")
      ->required();
  std::vector<std::string> rest;
  app.add_option("DB2", rest,
                 "The second database (URL, SQLite file or snapshot); with --each, the "
                 "targets");
  auto* each = app.add_flag("--each", args.each,
                            "Compare DB1, the reference, with each target (DB2 and any after it), "
                            "several at a time, and write one line per target");
  app.add_option("--targets", args.targetsFile,
                 "With --each: more targets from FILE, one a line (# starts a comment)")
      ->type_name("FILE")
      ->needs(each);
  app.add_option("-j,--jobs", args.jobs, "With --each: targets read at the same time (8)")
      ->check(CLI::Range(1, 64))
      ->needs(each);
  auto* dump = app.add_flag("--dump", args.dump,
                            "Write DB1's whole structure as a JSON snapshot (to --output or "
                            "standard output) instead of comparing; give only DB1")
                  ->excludes(each);
  app.add_option("-f,--format", args.format,
                 "text (the default), json, markdown, html, junit, or sql: the SQL that makes "
                 "DB 2 like DB 1")
      ->check(CLI::IsMember({"text", "json", "markdown", "html", "junit", "sql"}));
  app.add_option("--sql", args.sqlFile,
                 "Also write the SQL that makes DB 2 like DB 1 to FILE, beside the report")
      ->type_name("FILE");
  app.add_flag("--allow-unsafe", args.allowUnsafe,
               "Write the steps that can lose data (dropping tables or columns, narrowing "
               "types, NOT NULL on a column that may hold NULLs) as statements, not comments");
  auto* noVerify = app.add_flag(
      "--no-verify", args.noVerify,
      "Do not prove a SQLite or cubeSQL DB 2's script on a scratch copy first");
  app.add_option("--verify", args.verify,
                 "Prove the script first on a scratch database of DB 2's engine that may be "
                 "written: an empty MariaDB/MySQL database, a PostgreSQL database (in a schema "
                 "of its own), or a SQLite path or :memory:; it is left as it was found")
      ->type_name("URL")
      ->excludes(noVerify);
  app.add_option("--rename", args.renames,
                 "A column renamed on purpose: TABLE.OLD=NEW (DB 1's table, DB 2's name, DB 1's "
                 "name); may be repeated")
      ->type_name("TABLE.OLD=NEW")
      ->allow_extra_args(false);
  auto* output = app.add_option("-o,--output", args.output,
                                "Write the report to FILE instead of standard output")
                     ->type_name("FILE");
  auto* oneWay = app.add_flag("--one-way", args.oneWay,
                              "Only ask whether everything of DB 1 is in DB 2, with the window's "
                              "notes, one row per DB 1 table")
                    ->excludes(dump);
  app.add_flag("--strict", args.strict,
               "Count NOT NULL and primary-key differences and table names that differ only in "
               "letter case as differences, not notes; compare names of indexes, constraints "
               "and triggers, collations and column order")
      ->excludes(oneWay)
      ->excludes(dump);
  auto* columnsOnly = app.add_flag(
      "--columns-only", args.columnsOnly,
      "Compare only fields (names, types, NOT NULL, primary-key membership), not defaults, keys, "
      "indexes, references, checks, views and triggers");
  columnsOnly->excludes(oneWay)->excludes(dump);
  app.add_option("--ignore", args.ignore,
                 "Leave a kind of structure out: defaults, indexes, foreign-keys, checks, views, "
                 "triggers or collations; may be repeated or comma-separated")
      ->type_name("KIND")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(CLI::IsMember({"defaults", "indexes", "foreign-keys", "checks", "views", "triggers",
                             "collations"}))
      ->excludes(oneWay)
      ->excludes(columnsOnly);
  app.add_option("--tables", args.tables,
                 "Compare only tables whose whole name matches REGEX (RE2 syntax, letter case "
                 "ignored); may be repeated")
      ->type_name("REGEX")
      ->allow_extra_args(false);
  app.add_option("--exclude", args.exclude,
                 "Leave out tables whose whole name matches REGEX; may be repeated")
      ->type_name("REGEX")
      ->allow_extra_args(false);
  app.add_flag("-q,--quiet", args.quiet,
               "Write no report and no progress, only set the exit status (trouble is still "
               "reported on standard error)")
      ->excludes(output);
  app.set_version_flag("--version", std::string("vantrix-diff ") + report::kVersion,
                       "Print the version and exit");
  app.footer(kFooter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
    std::string message = e.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&e)) message = ExtrasMessage(app, argc, argv);
    std::cerr << "vantrix-diff: " << report::text::Plain(message)
              << "\nRun vantrix-diff --help for more.\n";
    return kExitTrouble;
  }
  std::string wrong;
  if (args.each) {
    args.targets = rest;
    if (!args.targetsFile.empty()) {
      if (auto read = ReadTargets(args.targetsFile, args.targets)) wrong = *read;
    }
    if (wrong.empty() && args.targets.empty()) {
      wrong = "--each needs targets: after the reference, or in a --targets file";
    }
  } else if (args.dump) {
    if (!rest.empty()) wrong = "--dump takes one database, DB1";
  } else if (rest.empty()) {
    wrong = "DB2 is missing: give two databases to compare, or --dump DB1";
  } else if (rest.size() > 1) {
    std::string extra;
    for (std::size_t i = 1; i < rest.size(); ++i) {
      extra += (extra.empty() ? "\"" : ", \"") + MaskPassword(rest[i]) + "\"";
    }
    wrong = "too many arguments: DB1 and DB2 are two, and " + extra +
            (rest.size() == 2 ? " is one more" : " are more");
  } else {
    args.db2 = rest[0];
  }
  if (!wrong.empty()) {
    std::cerr << "vantrix-diff: " << report::text::Plain(wrong)
              << "\nRun vantrix-diff --help for more.\n";
    return kExitTrouble;
  }
  // A password in a URL stays in the process's arguments, which anyone on
  // the machine can list (ps): it is overwritten there, as database
  // clients do, now that the arguments have been read.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument != args.db1 && argument != args.db2 &&
        std::find(rest.begin(), rest.end(), argument) == rest.end()) {
      continue;
    }
    for (const Span& secret : SecretSpans(argument)) {
      std::memset(argv[i] + secret.start, '*', secret.length);
    }
  }
  std::vector<std::string> urls = args.targets;
  urls.insert(urls.end(), {args.db1, args.db2, args.verify});
  LeaveOutUnusedCertificates(urls);
  try {
    return args.each ? RunEach(std::move(args)) : RunProgram(std::move(args));
  } catch (const std::exception& e) {
    std::cerr << "vantrix-diff: " << e.what() << '\n';
    return kExitTrouble;
  }
}

}  // namespace vantrix::cli
