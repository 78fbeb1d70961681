#include "platform/registry.h"

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::platform {

namespace {

// How long a call keeps retrying while other processes hold the write lock.
// SQLite's own busy handler waits up to kBusyTimeoutMs per statement; the
// outer loop covers the cases where SQLite reports SQLITE_BUSY at once.
constexpr int kBusyTimeoutMs = 10000;
constexpr auto kRetryDeadline = std::chrono::seconds(30);
constexpr auto kRetryPause = std::chrono::milliseconds(5);

constexpr int kSchemaVersion = 1;
constexpr std::int64_t kRootKeyId = 1;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER,"
    "  name TEXT NOT NULL,"
    "  path TEXT NOT NULL UNIQUE COLLATE NOCASE);"
    "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent);"
    "CREATE TABLE IF NOT EXISTS vals("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, name));"
    "INSERT OR IGNORE INTO keys(id, parent, name, path) VALUES(1, NULL, '', '');"
    "PRAGMA user_version = 1;";

// What one attempt at a transaction body came to.
enum class Outcome { Done, Missing, Busy, Failed };

bool isBusy(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

const char* rootFileName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::Machine:
      return "machine.db";
    case RegistryRoot::User:
      return "user.db";
    case RegistryRoot::Classes:
      return "classes.db";
  }
  return "machine.db";
}

// The URI that names file for sqlite3_open_v2 with one query parameter.
// "%", "?" and "#" in the path would be read as URI syntax and are escaped.
std::string sqliteUri(const std::string& file, const char* parameter) {
  std::string uri = file.rfind('/', 0) == 0 ? "file://" : "file:";
  static const char kHex[] = "0123456789ABCDEF";
  for (const char c : file) {
    if (c == '%' || c == '?' || c == '#') {
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[static_cast<unsigned char>(c) & 0x0f];
    } else {
      uri += c;
    }
  }
  uri += '?';
  uri += parameter;
  return uri;
}

// Key paths are "\"-separated; empty components (leading, trailing, doubled
// separators) carry no meaning and are dropped.
std::vector<std::string> splitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string canonicalKeyPath(std::string_view path) {
  std::string result;
  for (const std::string& part : splitKeyPath(path)) {
    if (!result.empty()) result += '\\';
    result += part;
  }
  return result;
}

std::string dwordBytes(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xff);
  return bytes;
}

std::uint32_t dwordFromBytes(std::string_view bytes) {
  std::uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < bytes.size(); ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  }
  return value;
}

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return rc_ == SQLITE_OK && stmt_ != nullptr; }
  int prepareResult() const { return rc_; }

  void bindText(int index, std::string_view text) {
    static const char kEmpty[] = "";
    sqlite3_bind_text(stmt_, index, text.empty() ? kEmpty : text.data(),
                      static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void bindBlob(int index, std::string_view bytes) {
    static const char kEmpty[] = "";
    sqlite3_bind_blob(stmt_, index, bytes.empty() ? kEmpty : bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void bindInt(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

  int step() { return sqlite3_step(stmt_); }

  std::int64_t columnInt(int index) { return sqlite3_column_int64(stmt_, index); }
  int columnType(int index) { return sqlite3_column_type(stmt_, index); }
  std::string columnBytes(int index) {
    const void* data = sqlite3_column_blob(stmt_, index);
    const int size = sqlite3_column_bytes(stmt_, index);
    if (data == nullptr || size <= 0) return std::string();
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

}  // namespace

// One root's database: a connection opened on first use and kept, guarded by
// a mutex so threads sharing a Registry take turns.
struct Registry::Database {
  std::string file;
  std::mutex mutex;
  sqlite3* db = nullptr;
  bool readOnly = false;       // opened for reading only
  std::string readOnlyReason;  // why it could not be opened for writing
  std::string lastFailure;     // the last failure: file, what failed and why
  std::string lastReason;      // why, alone
  std::string writeError;      // why the last write failed, "" when it worked

  explicit Database(std::string path) : file(std::move(path)) {}
  ~Database() { close(); }

  void close() {
    if (db != nullptr) sqlite3_close_v2(db);
    db = nullptr;
  }

  // Why a call with result rc failed: SQLite's words, and the system's
  // where a system call failed.
  std::string reasonOf(int rc) const {
    std::string reason = db != nullptr && sqlite3_extended_errcode(db) == rc ? sqlite3_errmsg(db)
                                                                           : sqlite3_errstr(rc);
    const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
    if (systemError != 0) reason += std::string(" (") + std::strerror(systemError) + ")";
    return reason;
  }

  // Traces a failure and keeps it as the last failure of this root.
  void fail(std::string_view what, int rc) {
    lastReason = reasonOf(rc);
    lastFailure = file + ": " + std::string(what) + ": " + lastReason;
    trace("registry", lastFailure);
  }

  // Classifies a statement result; anything but success or busy is traced.
  Outcome check(int rc, std::string_view what) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return Outcome::Done;
    if (isBusy(rc)) return Outcome::Busy;
    fail(what, rc);
    return Outcome::Failed;
  }

  // Runs sql, retrying while the database is locked by someone else.
  int execRetrying(const char* sql) {
    const auto deadline = std::chrono::steady_clock::now() + kRetryDeadline;
    for (;;) {
      const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
      if (!isBusy(rc) || std::chrono::steady_clock::now() >= deadline) return rc;
      std::this_thread::sleep_for(kRetryPause);
    }
  }

  // The schema version stored in the file, or -1 when it cannot be read.
  int schemaVersion() {
    Statement query(db, "PRAGMA user_version");
    if (query.ok() && query.step() == SQLITE_ROW) return static_cast<int>(query.columnInt(0));
    return -1;
  }

  // Traces the failure of one opening step and closes the connection.
  bool abandon(std::string_view what, int rc) {
    fail(what, rc);
    close();
    return false;
  }

  // Opens the connection for reading and writing and makes sure the tables
  // exist. False (connection closed, the reason in lastFailure) when any of
  // that cannot be done: a read-only folder, file or file system, or a file
  // that is not a database.
  bool openWritable() {
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                   nullptr);
    if (rc != SQLITE_OK) return abandon("cannot open", rc);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // SQLite quietly opens a file it may not write for reading only.
    if (sqlite3_db_readonly(db, "main") == 1) return abandon("cannot open for writing", SQLITE_READONLY);
    int step = execRetrying("PRAGMA journal_mode=WAL");
    if (step != SQLITE_OK) return abandon("cannot switch to write-ahead logging", step);
    const int version = schemaVersion();
    if (version < 0) return abandon("cannot read the schema version", SQLITE_ERROR);
    if (version >= kSchemaVersion) return true;
    step = execRetrying("BEGIN IMMEDIATE");
    if (step == SQLITE_OK) {
      step = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
      if (step == SQLITE_OK) {
        step = execRetrying("COMMIT");
      }
      if (step != SQLITE_OK) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    if (step != SQLITE_OK) return abandon("cannot create the tables", step);
    return true;
  }

  // Opens an existing store for reading only. A write-ahead-logged database
  // is read through its shared-memory index when that exists or can be
  // made; where neither can (a read-only folder after every writer closed,
  // so the log was emptied into the file) it is read as an unchanging file.
  // Failures are kept but not traced: the caller traces the outcome.
  bool openReadOnly() {
    if (!pathExists(file)) return openEmpty();
    for (const char* parameter : {"mode=ro", "immutable=1"}) {
      int rc = sqlite3_open_v2(sqliteUri(file, parameter).c_str(), &db,
                               SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
      if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        const int version = schemaVersion();
        if (version >= kSchemaVersion) return true;
        rc = version < 0 ? sqlite3_extended_errcode(db) : SQLITE_EMPTY;
      }
      lastReason = reasonOf(rc);
      close();
    }
    return false;
  }

  // A store whose file is missing and cannot be created holds nothing: an
  // empty store in memory stands in for it, so reads find no keys.
  bool openEmpty() {
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK) {
      return true;
    }
    lastReason = reasonOf(SQLITE_ERROR);
    close();
    return false;
  }

  // Why the file cannot be written, or created in its folder, in the
  // system's words ("Read-only file system", "Permission denied"); "" when
  // the system would allow it and the reason lies elsewhere.
  std::string writeAccessProblem() const {
    const std::string target = pathExists(file) ? file : std::string(parentPath(file));
    if (access(target.c_str(), W_OK) == 0) return std::string();
    return std::strerror(errno);
  }

  // Opens the connection: for writing when the store can be written, else
  // for reading only, so that settings stay readable in a read-only
  // folder while every write fails with the reason. A store that cannot
  // be opened at all leaves the connection closed; the next call tries
  // again and fails the same way until it is repaired.
  bool ensureOpen() {
    if (db != nullptr) return true;
    readOnly = false;
    if (openWritable()) return true;
    const std::string accessProblem = writeAccessProblem();
    const std::string writeReason = accessProblem.empty() ? lastReason : accessProblem;
    if (!accessProblem.empty()) lastFailure = file + ": cannot be written: " + accessProblem;
    if (!openReadOnly()) {
      trace("registry", file + ": cannot open for reading either: " + lastReason);
      lastReason = writeReason;
      return false;
    }
    readOnly = true;
    readOnlyReason = writeReason;
    trace("registry", file + ": opened for reading only");
    return true;
  }

  // Why a write cannot be done on a store opened for reading only.
  Outcome refuseWrite() {
    lastReason = readOnlyReason;
    lastFailure = "the settings store " + file + " is read-only: " + readOnlyReason;
    trace("registry", lastFailure);
    return Outcome::Failed;
  }

  // Runs body as one transaction (BEGIN IMMEDIATE for writes, so two
  // writers never both read and then both write), retrying from the start
  // whenever another process holds a lock. Returns the body's outcome.
  // A write's failure is kept for lastWriteError().
  Outcome transact(bool write, const std::function<Outcome()>& body) {
    const std::lock_guard<std::mutex> guard(mutex);
    const Outcome outcome = attempt(write, body);
    if (write) writeError = outcome == Outcome::Failed ? lastFailure : std::string();
    return outcome;
  }

  Outcome attempt(bool write, const std::function<Outcome()>& body) {
    // A store that was read-only may have been made writable since.
    if (write && readOnly) close();
    if (!ensureOpen()) return Outcome::Failed;
    if (write && readOnly) return refuseWrite();
    const auto deadline = std::chrono::steady_clock::now() + kRetryDeadline;
    for (;;) {
      Outcome outcome = check(sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr,
                                           nullptr, nullptr),
                              "cannot begin a transaction");
      if (outcome == Outcome::Done) {
        outcome = body();
        if (outcome == Outcome::Done || outcome == Outcome::Missing) {
          const Outcome committed =
              check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "cannot commit");
          if (committed == Outcome::Done) return outcome;
          outcome = committed;
        }
        if (sqlite3_get_autocommit(db) == 0) {
          sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
      }
      if (outcome != Outcome::Busy) return outcome;
      if (std::chrono::steady_clock::now() >= deadline) {
        fail("gave up waiting for a lock", SQLITE_BUSY);
        return Outcome::Failed;
      }
      std::this_thread::sleep_for(kRetryPause);
    }
  }

  // --- Statements used inside a transaction -------------------------------

  // Finds a key by canonical path; sets id and the stored (display) path.
  Outcome findKey(const std::string& path, std::int64_t& id, std::string* storedPath = nullptr) {
    if (path.empty()) {
      id = kRootKeyId;
      if (storedPath != nullptr) storedPath->clear();
      return Outcome::Done;
    }
    Statement query(db, "SELECT id, path FROM keys WHERE path = ?1");
    if (!query.ok()) return check(query.prepareResult(), "cannot look up a key");
    query.bindText(1, path);
    const int rc = query.step();
    if (rc == SQLITE_DONE) return Outcome::Missing;
    if (rc != SQLITE_ROW) return check(rc, "cannot look up a key");
    id = query.columnInt(0);
    if (storedPath != nullptr) *storedPath = query.columnBytes(1);
    return Outcome::Done;
  }

  // Finds or creates the key and every missing parent. New components are
  // appended to the parent's stored path, so the first spelling of a name
  // is the one that stays.
  Outcome ensureKey(const std::string& path, std::int64_t& id, std::string* storedPath) {
    std::int64_t parent = kRootKeyId;
    std::string parentPath;
    for (const std::string& part : splitKeyPath(path)) {
      const std::string wanted = parentPath.empty() ? part : parentPath + "\\" + part;
      std::int64_t found = 0;
      std::string foundPath;
      Outcome outcome = findKey(wanted, found, &foundPath);
      if (outcome == Outcome::Missing) {
        Statement insert(db, "INSERT INTO keys(parent, name, path) VALUES(?1, ?2, ?3)");
        if (!insert.ok()) return check(insert.prepareResult(), "cannot create a key");
        insert.bindInt(1, parent);
        insert.bindText(2, part);
        insert.bindText(3, wanted);
        outcome = check(insert.step(), "cannot create a key");
        if (outcome != Outcome::Done) return outcome;
        found = sqlite3_last_insert_rowid(db);
        foundPath = wanted;
      } else if (outcome != Outcome::Done) {
        return outcome;
      }
      parent = found;
      parentPath = foundPath;
    }
    id = parent;
    if (storedPath != nullptr) *storedPath = parentPath;
    return Outcome::Done;
  }

  Outcome readValue(std::int64_t key, std::string_view name, RegistryValue& value) {
    Statement query(db, "SELECT name, type, data FROM vals WHERE key = ?1 AND name = ?2");
    if (!query.ok()) return check(query.prepareResult(), "cannot read a value");
    query.bindInt(1, key);
    query.bindText(2, name);
    const int rc = query.step();
    if (rc == SQLITE_DONE) return Outcome::Missing;
    if (rc != SQLITE_ROW) return check(rc, "cannot read a value");
    value = rowValue(query);
    return Outcome::Done;
  }

  Outcome writeValue(std::int64_t key, std::string_view name, RegistryType type,
                     std::string_view data) {
    // An update keeps the value's first spelling and its place in the order.
    Statement upsert(db,
                     "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                     "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, "
                     "data = excluded.data");
    if (!upsert.ok()) return check(upsert.prepareResult(), "cannot write a value");
    upsert.bindInt(1, key);
    upsert.bindText(2, name);
    upsert.bindInt(3, static_cast<int>(type));
    upsert.bindBlob(4, data);
    return check(upsert.step(), "cannot write a value");
  }

  Outcome listValues(std::int64_t key, std::vector<RegistryValue>& out) {
    Statement query(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
    if (!query.ok()) return check(query.prepareResult(), "cannot list values");
    query.bindInt(1, key);
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) out.push_back(rowValue(query));
    return check(rc, "cannot list values");
  }

  Outcome listSubkeys(std::int64_t key, std::vector<std::pair<std::int64_t, std::string>>& out) {
    Statement query(db, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY id");
    if (!query.ok()) return check(query.prepareResult(), "cannot list subkeys");
    query.bindInt(1, key);
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
      out.emplace_back(query.columnInt(0), query.columnBytes(1));
    }
    return check(rc, "cannot list subkeys");
  }

  // --- Whole calls ----------------------------------------------------------

  // Writes a value of an existing key; fails when the key is gone (deleted
  // by another handle or process since it was opened).
  bool writeExisting(const std::string& path, std::string_view name, RegistryType type,
                     std::string_view data) {
    return transact(true, [&] {
             std::int64_t id = 0;
             const Outcome found = findKey(path, id);
             if (found != Outcome::Done) return found;
             return writeValue(id, name, type, data);
           }) == Outcome::Done;
  }

  // Creates the key when missing and writes the value, in one transaction
  // so a concurrent delete cannot slip in between.
  bool writeCreating(std::string_view path, std::string_view name, RegistryType type,
                     std::string_view data) {
    const std::string canonical = canonicalKeyPath(path);
    return transact(true, [&] {
             std::int64_t id = 0;
             const Outcome created = ensureKey(canonical, id, nullptr);
             if (created != Outcome::Done) return created;
             return writeValue(id, name, type, data);
           }) == Outcome::Done;
  }

  static RegistryValue rowValue(Statement& row) {
    RegistryValue value;
    value.name = row.columnBytes(0);
    value.type = static_cast<RegistryType>(row.columnInt(1));
    if (row.columnType(2) == SQLITE_INTEGER) {
      value.data = dwordBytes(static_cast<std::uint32_t>(row.columnInt(2)));
    } else {
      value.data = row.columnBytes(2);
    }
    return value;
  }
};

// --- Root names ---------------------------------------------------------------

std::optional<RegistryRoot> parseRegistryRoot(std::string_view name) {
  struct Alias {
    const char* name;
    RegistryRoot root;
  };
  static constexpr Alias kAliases[] = {
      {"HKLM", RegistryRoot::Machine},  {"HKEY_LOCAL_MACHINE", RegistryRoot::Machine},
      {"HKCU", RegistryRoot::User},     {"HKEY_CURRENT_USER", RegistryRoot::User},
      {"HKCR", RegistryRoot::Classes},  {"HKEY_CLASSES_ROOT", RegistryRoot::Classes},
  };
  for (const Alias& alias : kAliases) {
    if (equalsIgnoreCase(name, alias.name)) return alias.root;
  }
  return std::nullopt;
}

const char* registryRootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::Machine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::User:
      return "HKEY_CURRENT_USER";
    case RegistryRoot::Classes:
      return "HKEY_CLASSES_ROOT";
  }
  return "HKEY_LOCAL_MACHINE";
}

std::optional<std::pair<RegistryRoot, std::string>> parseRegistryPath(std::string_view full) {
  while (!full.empty() && full.front() == '\\') full.remove_prefix(1);
  const size_t separator = full.find('\\');
  const std::string_view rootName = full.substr(0, separator);
  const std::optional<RegistryRoot> root = parseRegistryRoot(rootName);
  if (!root) return std::nullopt;
  const std::string_view rest =
      separator == std::string_view::npos ? std::string_view() : full.substr(separator + 1);
  return std::make_pair(*root, canonicalKeyPath(rest));
}

// --- RegistryKey --------------------------------------------------------------

std::optional<RegistryValue> RegistryKey::readValue(std::string_view name) const {
  Registry::Database* db = registry_->database(root_);
  if (db == nullptr) return std::nullopt;
  RegistryValue value;
  const Outcome outcome = db->transact(false, [&] {
    std::int64_t id = 0;
    const Outcome found = db->findKey(path_, id);
    if (found != Outcome::Done) return found;
    return db->readValue(id, name, value);
  });
  if (outcome != Outcome::Done) return std::nullopt;
  return value;
}

std::optional<std::string> RegistryKey::readString(std::string_view name) const {
  std::optional<RegistryValue> value = readValue(name);
  if (!value || value->type != RegistryType::String) return std::nullopt;
  return std::move(value->data);
}

std::optional<std::uint32_t> RegistryKey::readDword(std::string_view name) const {
  const std::optional<RegistryValue> value = readValue(name);
  if (!value || value->type != RegistryType::Dword || value->data.size() != 4) return std::nullopt;
  return dwordFromBytes(value->data);
}

std::optional<std::string> RegistryKey::readBinary(std::string_view name) const {
  std::optional<RegistryValue> value = readValue(name);
  if (!value || value->type != RegistryType::Binary) return std::nullopt;
  return std::move(value->data);
}

bool RegistryKey::writeString(std::string_view name, std::string_view value) {
  Registry::Database* db = registry_->database(root_);
  return db != nullptr && db->writeExisting(path_, name, RegistryType::String, value);
}

bool RegistryKey::writeDword(std::string_view name, std::uint32_t value) {
  Registry::Database* db = registry_->database(root_);
  return db != nullptr && db->writeExisting(path_, name, RegistryType::Dword, dwordBytes(value));
}

bool RegistryKey::writeBinary(std::string_view name, std::string_view bytes) {
  Registry::Database* db = registry_->database(root_);
  return db != nullptr && db->writeExisting(path_, name, RegistryType::Binary, bytes);
}

bool RegistryKey::deleteValue(std::string_view name) {
  Registry::Database* db = registry_->database(root_);
  if (db == nullptr) return false;
  return db->transact(true, [&] {
           std::int64_t id = 0;
           const Outcome found = db->findKey(path_, id);
           if (found != Outcome::Done) return found;
           Statement remove(db->db, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
           if (!remove.ok()) return db->check(remove.prepareResult(), "cannot delete a value");
           remove.bindInt(1, id);
           remove.bindText(2, name);
           const Outcome outcome = db->check(remove.step(), "cannot delete a value");
           if (outcome != Outcome::Done) return outcome;
           return sqlite3_changes(db->db) > 0 ? Outcome::Done : Outcome::Missing;
         }) == Outcome::Done;
}

std::vector<std::string> RegistryKey::subkeys() const {
  std::vector<std::string> names;
  Registry::Database* db = registry_->database(root_);
  if (db == nullptr) return names;
  std::vector<std::pair<std::int64_t, std::string>> children;
  const Outcome outcome = db->transact(false, [&] {
    children.clear();
    std::int64_t id = 0;
    const Outcome found = db->findKey(path_, id);
    if (found != Outcome::Done) return found;
    return db->listSubkeys(id, children);
  });
  if (outcome != Outcome::Done) return names;
  for (auto& child : children) names.push_back(std::move(child.second));
  return names;
}

std::vector<RegistryValue> RegistryKey::values() const {
  std::vector<RegistryValue> list;
  Registry::Database* db = registry_->database(root_);
  if (db == nullptr) return list;
  const Outcome outcome = db->transact(false, [&] {
    list.clear();
    std::int64_t id = 0;
    const Outcome found = db->findKey(path_, id);
    if (found != Outcome::Done) return found;
    return db->listValues(id, list);
  });
  if (outcome != Outcome::Done) list.clear();
  return list;
}

// --- Registry -----------------------------------------------------------------

Registry::Registry(std::string configDir) : configDir_(std::move(configDir)) {
  if (!configDir_.empty() && !makeFolders(configDir_)) {
    trace("registry", "cannot create the settings folder " + configDir_);
  }
  for (RegistryRoot root : {RegistryRoot::Machine, RegistryRoot::User, RegistryRoot::Classes}) {
    databases_[static_cast<int>(root)] =
        std::make_unique<Database>(configDir_ + "/" + rootFileName(root));
  }
}

Registry::~Registry() = default;

Registry::Database* Registry::database(RegistryRoot root) {
  const int index = static_cast<int>(root);
  if (index < 0 || index > 2) return nullptr;
  return databases_[index].get();
}

std::optional<RegistryKey> Registry::openKey(RegistryRoot root, std::string_view path) {
  Database* db = database(root);
  if (db == nullptr) return std::nullopt;
  const std::string canonical = canonicalKeyPath(path);
  std::string stored;
  const Outcome outcome = db->transact(false, [&] {
    std::int64_t id = 0;
    return db->findKey(canonical, id, &stored);
  });
  if (outcome != Outcome::Done) return std::nullopt;
  return RegistryKey(this, root, stored);
}

std::optional<RegistryKey> Registry::createKey(RegistryRoot root, std::string_view path) {
  Database* db = database(root);
  if (db == nullptr) return std::nullopt;
  const std::string canonical = canonicalKeyPath(path);
  std::string stored;
  const Outcome outcome = db->transact(true, [&] {
    std::int64_t id = 0;
    return db->ensureKey(canonical, id, &stored);
  });
  if (outcome != Outcome::Done) return std::nullopt;
  return RegistryKey(this, root, stored);
}

bool Registry::deleteKey(RegistryRoot root, std::string_view path) {
  Database* db = database(root);
  if (db == nullptr) return false;
  const std::string canonical = canonicalKeyPath(path);
  if (canonical.empty()) {
    trace("registry", std::string("refusing to delete the root ") + registryRootName(root));
    return false;
  }
  return db->transact(true, [&] {
           std::int64_t id = 0;
           const Outcome found = db->findKey(canonical, id);
           if (found != Outcome::Done) return found;
           static constexpr const char* kDeletes[] = {
               "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
               "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
               "DELETE FROM vals WHERE key IN (SELECT id FROM sub)",
               "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
               "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
               "DELETE FROM keys WHERE id IN (SELECT id FROM sub)",
           };
           for (const char* sql : kDeletes) {
             Statement remove(db->db, sql);
             if (!remove.ok()) return db->check(remove.prepareResult(), "cannot delete a key");
             remove.bindInt(1, id);
             const Outcome outcome = db->check(remove.step(), "cannot delete a key");
             if (outcome != Outcome::Done) return outcome;
           }
           return Outcome::Done;
         }) == Outcome::Done;
}

std::string Registry::lastWriteError(RegistryRoot root) {
  Database* db = database(root);
  if (db == nullptr) return std::string();
  const std::lock_guard<std::mutex> guard(db->mutex);
  return db->writeError;
}

std::optional<std::string> Registry::readString(RegistryRoot root, std::string_view path,
                                                std::string_view name) {
  const std::optional<RegistryKey> key = openKey(root, path);
  if (!key) return std::nullopt;
  return key->readString(name);
}

std::string Registry::readFolder(RegistryRoot root, std::string_view path, std::string_view name,
                                const std::string& fallback) {
  auto value = readString(root, path, name);
  if (!value || value->empty()) return fallback;
  while (value->size() > 1 && value->back() == '/') value->pop_back();
  return *value;
}

std::optional<std::uint32_t> Registry::readDword(RegistryRoot root, std::string_view path,
                                                 std::string_view name) {
  const std::optional<RegistryKey> key = openKey(root, path);
  if (!key) return std::nullopt;
  return key->readDword(name);
}

bool Registry::writeString(RegistryRoot root, std::string_view path, std::string_view name,
                           std::string_view value) {
  Database* db = database(root);
  return db != nullptr && db->writeCreating(path, name, RegistryType::String, value);
}

bool Registry::writeDword(RegistryRoot root, std::string_view path, std::string_view name,
                          std::uint32_t value) {
  Database* db = database(root);
  return db != nullptr &&
         db->writeCreating(path, name, RegistryType::Dword, dwordBytes(value));
}

namespace {

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

std::string formatRegistryValue(const RegistryValue& value) {
  std::string out;
  out += value.name.empty() ? std::string("@") : quoted(value.name);
  out += '=';
  switch (value.type) {
    case RegistryType::String:
      out += quoted(value.data);
      break;
    case RegistryType::Dword: {
      char digits[16];
      std::snprintf(digits, sizeof digits, "dword:%08x", dwordFromBytes(value.data));
      out += digits;
      break;
    }
    case RegistryType::Binary:
    default: {
      out += "hex:";
      static const char kHex[] = "0123456789abcdef";
      for (size_t i = 0; i < value.data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value.data[i]);
        if (i > 0) out += ',';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0f];
      }
      break;
    }
  }
  return out;
}

std::string Registry::exportText(RegistryRoot root, std::string_view path) {
  Database* db = database(root);
  if (db == nullptr) return std::string();
  const std::string canonical = canonicalKeyPath(path);
  std::string text;
  // Depth first, children in creation order: every key appears before the
  // keys below it.
  std::function<Outcome(std::int64_t, const std::string&)> exportKey =
      [&](std::int64_t id, const std::string& keyPath) {
        if (!text.empty()) text += '\n';
        text += '[';
        text += registryRootName(root);
        if (!keyPath.empty()) {
          text += '\\';
          text += keyPath;
        }
        text += "]\n";
        std::vector<RegistryValue> list;
        Outcome outcome = db->listValues(id, list);
        if (outcome != Outcome::Done) return outcome;
        for (const RegistryValue& value : list) {
          text += formatRegistryValue(value);
          text += '\n';
        }
        std::vector<std::pair<std::int64_t, std::string>> children;
        outcome = db->listSubkeys(id, children);
        if (outcome != Outcome::Done) return outcome;
        for (const auto& [childId, name] : children) {
          outcome = exportKey(childId, keyPath.empty() ? name : keyPath + "\\" + name);
          if (outcome != Outcome::Done) return outcome;
        }
        return Outcome::Done;
      };
  const Outcome outcome = db->transact(false, [&] {
    text.clear();
    std::int64_t id = 0;
    std::string stored;
    const Outcome found = db->findKey(canonical, id, &stored);
    if (found != Outcome::Done) return found;
    return exportKey(id, stored);
  });
  if (outcome != Outcome::Done) return std::string();
  return text;
}

}  // namespace velkin::platform
