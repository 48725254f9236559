#include "history/sqlite_db.h"

#include <sqlite3.h>

#include <cctype>

#include "platform/codepage.h"

namespace {

constexpr const char* kInsert =
    "INSERT INTO tHistoryRecord(Id, SpeedTime,sType,SpeedType,sName,sQuota)"
    " VALUES(? ,? ,? ,? ,?,?)";
constexpr const char* kDeleteById = "delete from tHistoryRecord where Id=?";
// The search of the history screen with the user's text bound five times in place of the
// pasted text between the "%" wildcards.
constexpr const char* kSearch =
    "select * from tHistoryRecord where SpeedTime like '%' || ? || '%'or sType like '%' || ? || "
    "'%'or SpeedType like'%' || ? || '%'or sName like'%' || ? || '%'or sQuota like'%' || ? || "
    "'%'";

// A prepared statement, finalized when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, &tail) !=
        SQLITE_OK) {
      sqlite3_finalize(m_stmt);
      m_stmt = nullptr;
      return;
    }
    // One statement only: whatever follows the first ";" would silently not run.
    for (; tail && *tail; ++tail) {
      if (!std::isspace(static_cast<unsigned char>(*tail)) && *tail != ';') {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return;
      }
    }
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return m_stmt != nullptr; }
  sqlite3_stmt* get() const { return m_stmt; }

  bool BindText(int index, const std::string& utf8) {
    return sqlite3_bind_text(m_stmt, index, utf8.data(), static_cast<int>(utf8.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
  }

  std::string Text(int column) const {
    if (column >= sqlite3_column_count(m_stmt)) return {};
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    if (!text) return {};
    int size = sqlite3_column_bytes(m_stmt, column);
    // Whatever another writer stored, memory holds valid UTF-8.
    return codepage::SanitizeUtf8(std::string_view(reinterpret_cast<const char*>(text), size));
  }

  int Int(int column) const {
    if (column >= sqlite3_column_count(m_stmt)) return 0;
    return sqlite3_column_int(m_stmt, column);
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

// Runs a statement to its end; true when it completed.
bool RunToEnd(Statement& stmt) {
  if (!stmt.Ok()) return false;
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE;
}

// Fills the list from a statement yielding the table's columns (Id first, then the five).
int ReadRows(Statement& stmt, HistoryRecordList& list) {
  if (!stmt.Ok()) return 0;
  int rows = 0;
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    list.SpeedTime.push_back(stmt.Text(1));
    list.sType.push_back(stmt.Text(2));
    list.SpeedType.push_back(stmt.Text(3));
    list.sName.push_back(stmt.Text(4));
    list.sQuota.push_back(stmt.Text(5));
    ++rows;
  }
  list.count = static_cast<int>(list.SpeedTime.size());
  return rows;
}

class Transaction {
 public:
  explicit Transaction(sqlite3* db) : m_db(db) {
    m_open = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (m_open) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool Open() const { return m_open; }
  bool Commit() {
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    m_open = false;
    return true;
  }

 private:
  sqlite3* m_db;
  bool m_open = false;
};

}  // namespace

void HistoryRecordList::Clear() {
  SpeedTime.clear();
  sType.clear();
  SpeedType.clear();
  sName.clear();
  sQuota.clear();
  count = 0;
}

CSqliteDb::CSqliteDb(const std::string& path) : m_path(path) {
  if (path.empty()) return;
  if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
    sqlite3_close(m_db);
    m_db = nullptr;
    return;
  }
  sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
  // Fails harmlessly once the table exists.
  sqlite3_exec(m_db, kCreateTable, nullptr, nullptr, nullptr);
}

CSqliteDb::~CSqliteDb() { Close(); }

void CSqliteDb::Close() {
  if (m_db) {
    sqlite3_close(m_db);
    m_db = nullptr;
  }
}

bool CSqliteDb::Execute(const std::string& sql) {
  if (!m_db) return false;
  return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK;
}

int CSqliteDb::AddRecord(const HistoryRecordData& record) {
  if (!m_db) return 0;

  // Reading the highest Id, inserting and trimming form one write transaction, so two
  // overlapping adds never pick the same Id.
  Transaction transaction(m_db);
  if (!transaction.Open()) return -1;

  std::vector<sqlite3_value*> ids;  // newest first
  struct ValueList {
    std::vector<sqlite3_value*>& values;
    ~ValueList() {
      for (sqlite3_value* v : values) sqlite3_value_free(v);
    }
  } freeIds{ids};
  {
    Statement select(m_db, kSelectAll);
    if (!select.Ok()) return -1;
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
      sqlite3_value* id = sqlite3_value_dup(sqlite3_column_value(select.get(), 0));
      if (!id) return -1;
      ids.push_back(id);
    }
    if (rc != SQLITE_DONE) return -1;
  }
  const int count = static_cast<int>(ids.size());

  long long newId = 1;
  if (count > 0) newId = sqlite3_value_int64(ids.front()) + 1;

  Statement insert(m_db, kInsert);
  if (!insert.Ok()) return -1;
  sqlite3_bind_int64(insert.get(), 1, newId);
  const std::string* values[] = {&record.SpeedTime, &record.sType, &record.SpeedType, &record.sName,
                                 &record.sQuota};
  for (int i = 0; i < 5; ++i) {
    if (!insert.BindText(i + 2, codepage::SanitizeUtf8(*values[i]))) return -1;
  }
  if (!RunToEnd(insert)) return -1;

  // Keep the newest kMaxRows: with a full table this removes the single lowest Id.
  for (int i = kMaxRows - 1; i < count; ++i) {
    Statement remove(m_db, kDeleteById);
    if (!remove.Ok() || sqlite3_bind_value(remove.get(), 1, ids[i]) != SQLITE_OK ||
        !RunToEnd(remove))
      return -1;
  }

  if (!transaction.Commit()) return -1;
  return count;
}

int CSqliteDb::ReadHistory(const std::string& query, HistoryRecordList& list) {
  if (!m_db) return 0;
  Statement stmt(m_db, query.empty() ? std::string(kSelectAll) : query);
  // A read never changes the file, whatever text it was handed.
  if (!stmt.Ok() || !sqlite3_stmt_readonly(stmt.get())) return 0;
  return ReadRows(stmt, list);
}

int CSqliteDb::SearchHistory(const std::string& text, HistoryRecordList& list) {
  if (!m_db) return 0;
  Statement stmt(m_db, kSearch);
  if (!stmt.Ok()) return 0;
  const std::string value = codepage::SanitizeUtf8(text);
  for (int i = 1; i <= 5; ++i) {
    if (!stmt.BindText(i, value)) return 0;
  }
  return ReadRows(stmt, list);
}

int CSqliteDb::ReadGeoRows(const std::string& sql, long long key, std::vector<GeoRow>& rows) {
  if (!m_db) return 0;
  Statement stmt(m_db, sql);
  if (!stmt.Ok() || !sqlite3_stmt_readonly(stmt.get())) return 0;
  if (sqlite3_bind_parameter_count(stmt.get()) > 0) sqlite3_bind_int64(stmt.get(), 1, key);
  int n = 0;
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    rows.push_back(
        GeoRow{stmt.Int(0), stmt.Text(1), stmt.Text(2), stmt.Int(3), stmt.Int(4), stmt.Text(5)});
    ++n;
  }
  return n;
}

int CSqliteDb::ReadOperatorRows(const std::string& sql, long long key,
                                std::vector<OperatorRow>& rows) {
  if (!m_db) return 0;
  Statement stmt(m_db, sql);
  if (!stmt.Ok() || !sqlite3_stmt_readonly(stmt.get())) return 0;
  if (sqlite3_bind_parameter_count(stmt.get()) > 0) sqlite3_bind_int64(stmt.get(), 1, key);
  int n = 0;
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    rows.push_back(OperatorRow{stmt.Int(0), stmt.Text(1), stmt.Int(2)});
    ++n;
  }
  return n;
}
