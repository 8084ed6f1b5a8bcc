#include "host/sqlite.h"

namespace nolt::host {

namespace {

[[noreturn]] void fail(sqlite3* db, std::string_view what) {
  throw StoreError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

Database::Database(const std::string& path) {
  // A link planted where the library goes is refused, not followed. Each connection's owner
  // (Library, FileLedger) lets one thread at a time use it, under a mutex of its own; SQLite's
  // own lock around every call would only cost time.
  int flags =
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError("Can't open the library at " + path + ": " + reason);
  }
  // Several readers may wait on a writer for a moment; that is not a failure.
  sqlite3_busy_timeout(db_, 10000);
  sqlite3_extended_result_codes(db_, 1);
}

Database::~Database() {
  cache_.clear();
  sqlite3_close_v2(db_);
}

void Database::execute(std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string reason = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw StoreError("Library error: " + reason);
  }
}

Statement Database::prepare(std::string_view sql) { return Statement(*this, sql); }

Statement& Database::cached(std::string_view sql) {
  auto found = cache_.find(std::string(sql));
  if (found == cache_.end())
    found = cache_.emplace(std::string(sql), std::make_unique<Statement>(*this, sql)).first;
  found->second->reset();
  return *found->second;
}

std::int64_t Database::changes() const { return sqlite3_changes64(db_); }

Statement::Statement(Database& db, std::string_view sql) : db_(&db) {
  if (sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
      SQLITE_OK)
    fail(db.handle(), "Library error");
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::string_view text) {
  if (sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
      SQLITE_OK)
    fail(db_->handle(), "Library error");
  return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
  if (text) return bind(index, std::string_view(*text));
  sqlite3_bind_null(stmt_, index);
  return *this;
}

Statement& Statement::bind(int index, std::int64_t number) {
  sqlite3_bind_int64(stmt_, index, number);
  return *this;
}

Statement& Statement::bind(int index, double number) {
  sqlite3_bind_double(stmt_, index, number);
  return *this;
}

bool Statement::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  fail(db_->handle(), "Library error");
}

void Statement::run() {
  while (step()) {
  }
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  if (!t) return {};
  return std::string(reinterpret_cast<const char*>(t),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string_view Statement::view(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  if (!t) return {};
  return {reinterpret_cast<const char*>(t),
          static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

std::optional<std::string> Statement::optionalText(int column) const {
  if (isNull(column)) return std::nullopt;
  return text(column);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::real(int column) const { return sqlite3_column_double(stmt_, column); }

bool Statement::isNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : db_(db) { db_.execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
  if (done_) return;
  try {
    db_.execute("ROLLBACK");
  } catch (const StoreError&) {
    // Nothing more can be done; SQLite has already rolled back on the failing statement.
  }
}

ReadTransaction::ReadTransaction(Database& db) : db_(db) {
  if (!sqlite3_get_autocommit(db_.handle())) return;
  db_.execute("BEGIN");
  began_ = true;
}

ReadTransaction::~ReadTransaction() {
  if (!began_) return;
  try {
    db_.execute("COMMIT");
  } catch (const StoreError&) {
    // Nothing was changed; a read transaction that cannot end is rolled back with the handle.
  }
}

void Transaction::commit() {
  db_.execute("COMMIT");
  done_ = true;
}

}  // namespace nolt::host
