#pragma once

#include <string>
#include <vector>

struct sqlite3;

// One history row, in column order (the Id is assigned when the row is added).
struct HistoryRecordData {
  std::string SpeedTime;
  std::string sType;
  std::string SpeedType;
  std::string sName;
  std::string sQuota;
};

// Rows for the history screen: five parallel columns plus the row count.
struct HistoryRecordList {
  std::vector<std::string> SpeedTime;
  std::vector<std::string> sType;
  std::vector<std::string> SpeedType;
  std::vector<std::string> sName;
  std::vector<std::string> sQuota;
  int count = 0;

  void Clear();
};

// A row of T_GEO_CN: int, text, text, int, int, text.
struct GeoRow {
  int id = 0;
  std::string name;
  std::string text3;
  int int4 = 0;
  int int5 = 0;
  std::string text6;
};

// A row of NS_DIC_OPER: int, text, int.
struct OperatorRow {
  int id = 0;
  std::string name;
  int remark = 0;
};

// Thin wrapper over one SQLite connection, made on the stack for one operation: open (creating
// the file and the history table when missing), one operation, close. Every value goes into
// a statement as a bound parameter, never as pasted text.
class CSqliteDb {
 public:
  static constexpr const char* kCreateTable =
      "CREATE TABLE tHistoryRecord ( Id INT  PRIMARY KEY DESC,SpeedTime VARCHAR( 20 )  NOT "
      "NULL,sType VARCHAR( 20 )  NOT NULL,SpeedType VARCHAR( 20 )  NOT NULL,sName     VARCHAR( "
      "50 )  NOT NULL,sQuota    VARCHAR( 10 )  NOT NULL );";
  static constexpr const char* kSelectAll = "select * from tHistoryRecord order by Id desc";
  static constexpr const char* kDeleteAll = "delete from tHistoryRecord";
  // Rows kept; the oldest go first.
  static constexpr int kMaxRows = 100;
  // How long a writer waits for another connection's lock before giving up.
  static constexpr int kBusyTimeoutMs = 10000;

  explicit CSqliteDb(const std::string& path);
  ~CSqliteDb();
  CSqliteDb(const CSqliteDb&) = delete;
  CSqliteDb& operator=(const CSqliteDb&) = delete;

  bool IsOpen() const { return m_db != nullptr; }
  const std::string& Path() const { return m_path; }
  void Close();

  // Runs fixed SQL text (no values). True when it failed; false when done or when not open.
  bool Execute(const std::string& sql);

  // Adds the row with the next Id and keeps the newest kMaxRows. Returns the row count before
  // the insert, 0 when not open, negative when the row could not be added (nothing changes).
  int AddRecord(const HistoryRecordData& record);

  // Reads rows for the history screen; an empty query reads all, newest first. A query must
  // be one statement returning the table's six columns. Returns the row count.
  int ReadHistory(const std::string& query, HistoryRecordList& list);

  // The search of the history screen: rows where any column contains `text` (LIKE rules), in
  // the database's own order. The text is bound, so quotes and SQL in it are plain characters.
  int SearchHistory(const std::string& text, HistoryRecordList& list);

  // Generic row readers for the reference tables; `key` is bound to the statement's one "?".
  int ReadGeoRows(const std::string& sql, long long key, std::vector<GeoRow>& rows);
  int ReadOperatorRows(const std::string& sql, long long key, std::vector<OperatorRow>& rows);

 private:
  sqlite3* m_db = nullptr;
  std::string m_path;
};
