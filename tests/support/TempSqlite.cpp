#include "support/TempSqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vantrix::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrix-test.XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TempSqlite::TempSqlite(const std::string& sql) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrix-db.XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  path_ = dir_ / "test.sqlite";
  sqlite3* db = nullptr;
  if (sqlite3_open(path_.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot create test database");
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("test database SQL failed: " + message);
}

TempSqlite::~TempSqlite() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vantrix::test
