#pragma once

#include <filesystem>
#include <string>

namespace vantrix::test {

// A SQLite database file made for one test from SQL text and removed with it.
class TempSqlite {
public:
  explicit TempSqlite(const std::string& sql);
  ~TempSqlite();
  TempSqlite(const TempSqlite&) = delete;
  TempSqlite& operator=(const TempSqlite&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path dir_;
  std::filesystem::path path_;
};

// A temporary directory removed at the end of its scope.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

// The whole text of a file.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace vantrix::test
