#pragma once

#include <string>
#include <vector>

// vantrix-diff's command line, as read.
namespace vantrix::cli {

struct Arguments {
  std::string db1;
  std::string db2;
  // With --each: the targets (DB2 and any after it, and those of --targets).
  std::vector<std::string> targets;
  bool each = false;
  std::string targetsFile;
  int jobs = 8;
  std::string format = "text";
  std::string output;
  bool quiet = false;
  bool oneWay = false;
  bool strict = false;
  bool columnsOnly = false;
  bool dump = false;
  std::vector<std::string> ignore;
  // The SQL that makes DB 2 like DB 1 (--format sql, or --sql FILE).
  std::string sqlFile;
  bool allowUnsafe = false;
  bool noVerify = false;
  // A scratch database to prove the script on (--verify URL).
  std::string verify;
  std::vector<std::string> renames;  // TABLE.OLD=NEW
  std::vector<std::string> tables;
  std::vector<std::string> exclude;
};

}  // namespace vantrix::cli
