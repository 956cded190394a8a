// Compares two generated SQLite schemas table by table, as Compare does, and
// prints how long listing and comparing took.
//   compare_bench [tables] [fields-per-table]
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "compare/Session.h"

namespace {

void MakeSchema(const std::filesystem::path& path, int tables, int fields, int variant) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string sql = "BEGIN;";
  for (int t = 0; t < tables; ++t) {
    sql += "CREATE TABLE t";
    sql += std::to_string(t);
    sql += " (";
    for (int f = 0; f < fields; ++f) {
      if (f) sql += ", ";
      const bool changed = variant == 1 && t % 10 == 0 && f == fields - 1;
      sql += 'f';
      sql += std::to_string(f);
      sql += changed ? " TEXT" : " INTEGER";
    }
    sql += ");";
  }
  sql += "COMMIT;";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vantrix;
  const int tables = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int fields = argc > 2 ? std::atoi(argv[2]) : 20;
  char dirTemplate[] = "/tmp/vantrix-bench.XXXXXX";
  const std::filesystem::path dir = mkdtemp(dirTemplate);
  MakeSchema(dir / "a.sqlite", tables, fields, 0);
  MakeSchema(dir / "b.sqlite", tables, fields, 1);

  const auto start = std::chrono::steady_clock::now();
  db::PanelValues a{"", "", "", "", "SQLite", "", dir / "a.sqlite"};
  db::PanelValues b{"", "", "", "", "SQLite", "", dir / "b.sqlite"};
  int differing = 0;
  {
    compare::ComparisonSession session(a, b);
    for (int t = 0; t < tables; ++t) {
      const std::string name = std::to_string(t).insert(0, 1, 't');
      if (session.CheckTable(name, name).outcome == compare::TableOutcome::FieldsDiffer) ++differing;
    }
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("compared %d tables x %d fields: %.1f ms (%.3f ms per table), %d differ\n", tables,
              fields, ms, ms / tables, differing);
  std::filesystem::remove_all(dir);
  return 0;
}
