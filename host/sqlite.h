// host/sqlite.h - a thin layer over SQLite: one connection, prepared statements, transactions.
// Every failure throws StoreError with SQLite's own text, so callers write straight-line code.
#pragma once

#include <sqlite3.h>

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace nolt::host {

// The library could not be read or changed.
class StoreError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Statement;

// One connection. Not thread-safe: its owner lets one thread at a time use it and the
// statements it made.
class Database {
 public:
  // ":memory:" for a library that lives only as long as this object.
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void execute(std::string_view sql);  // one or more statements without parameters
  Statement prepare(std::string_view sql);
  // The same statement on every call, prepared once and reset for reuse: for statements run
  // per item. A caller steps it to its end (or stops with it) before asking for it again.
  Statement& cached(std::string_view sql);
  // Prepares a statement without rows, binds each value in order (see bindEach) and runs it.
  template <typename... Values>
  void run(std::string_view sql, const Values&... values);
  std::int64_t changes() const;

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
};

class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  ~Statement();
  Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1, as in SQL; each returns *this to chain.
  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, const std::optional<std::string>& text);  // none binds NULL
  Statement& bind(int index, std::int64_t number);
  Statement& bind(int index, double number);
  // Binds each value to the next parameter from 1: text, optional text, integers, reals.
  template <typename... Values>
  Statement& bindEach(const Values&... values) {
    int index = 0;
    (bind(++index, parameter(values)), ...);
    return *this;
  }

  bool step();  // true while a row is ready
  void run();   // steps to the end, for statements without rows
  void reset();

  std::string text(int column) const;
  std::string_view view(int column) const;                    // valid until the next step or reset
  std::optional<std::string> optionalText(int column) const;  // none for NULL
  std::int64_t integer(int column) const;
  double real(int column) const;
  bool isNull(int column) const;

 private:
  static std::string_view parameter(const std::string& text) { return text; }
  static std::string_view parameter(std::string_view text) { return text; }
  static const std::optional<std::string>& parameter(const std::optional<std::string>& text) {
    return text;
  }
  static double parameter(double number) { return number; }
  template <std::integral Number>
  static std::int64_t parameter(Number number) {
    return static_cast<std::int64_t>(number);
  }

  Database* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

template <typename... Values>
void Database::run(std::string_view sql, const Values&... values) {
  prepare(sql).bindEach(values...).run();
}

// BEGIN IMMEDIATE now, ROLLBACK on destruction unless commit() ran.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void commit();

 private:
  Database& db_;
  bool done_ = false;
};

// BEGIN now unless a transaction is open, COMMIT on destruction: the statements in between
// read one snapshot and take the file's locks once, not once each.
class ReadTransaction {
 public:
  explicit ReadTransaction(Database& db);
  ~ReadTransaction();
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;

 private:
  Database& db_;
  bool began_ = false;
};

}  // namespace nolt::host
