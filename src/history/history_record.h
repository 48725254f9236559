#pragma once

#include <string>

#include "auto/check_reason.h"
#include "history/sqlite_db.h"

namespace history {

constexpr const char* kAutomatic = "自动";
constexpr const char* kManual = "手动";
constexpr const char* kInvalidSpeedType = "自动测速";
constexpr const char* kInvalidName = "无效数据";

// Absolute path of a user's history database, "DB\Data" + user id + ".db" in the program folder.
std::string DatabasePath(const std::string& userId);
// The same for the logged-in user.
std::string CurrentDatabasePath();

// The row written for a result: when the engine's verdict is not 0 and the result is an
// automatic one, the invalid-row values with the verdict's reason text; otherwise the values
// as given.
HistoryRecordData MakeHistoryRow(const std::string& speedTime, const std::string& speedType,
                                 const std::string& name, const std::string& quota,
                                 const std::string& sType, bool automatic, int invalidReason,
                                 const ReasonThresholds& thresholds);

}  // namespace history

// The one way a result becomes a history row of the logged-in user. Returns the row count
// before the insert (0 when the database could not be opened, negative when the add failed).
int AddHistoryRecord(const std::string& speedTime, const std::string& speedType,
                     const std::string& name, const std::string& quota, const std::string& sType,
                     bool automatic, int invalidReason, const ReasonThresholds& thresholds);
// The same, quoting the current thresholds of "Config\threshold_config.xml" in a reason text.
int AddHistoryRecord(const std::string& speedTime, const std::string& speedType,
                     const std::string& name, const std::string& quota, const std::string& sType,
                     bool automatic, int invalidReason);

// The history screen's reads of the logged-in user's rows: all rows newest first, or the rows
// matching a search text in the database's own order (an empty text reads all rows).
int ReadHistoryRecords(HistoryRecordList& list);
int SearchHistoryRecords(const std::string& text, HistoryRecordList& list);

// Called on the quit paths: unless the history is kept, every row of the logged-in user's
// history is deleted; the file stays. Returns true when rows were cleared.
bool ClearHistoryOnExit(bool historyKept);
// The same, deciding by the user's save-history setting.
bool ClearHistoryOnExit();
