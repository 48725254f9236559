#include "history/history_record.h"

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace history {

std::string DatabasePath(const std::string& userId) {
  return paths::Join(platform::ProgramFolder(), "DB\\Data" + userId + ".db");
}

std::string CurrentDatabasePath() {
  return DatabasePath(CDataBase::Instance().GetUserInfo().userId);
}

HistoryRecordData MakeHistoryRow(const std::string& speedTime, const std::string& speedType,
                                 const std::string& name, const std::string& quota,
                                 const std::string& sType, bool automatic, int invalidReason,
                                 const ReasonThresholds& thresholds) {
  if (invalidReason != 0 && automatic)
    return {speedTime, kAutomatic, kInvalidSpeedType, kInvalidName,
            ReasonText(invalidReason, thresholds)};
  return {speedTime, sType, speedType, name, quota};
}

}  // namespace history

int AddHistoryRecord(const std::string& speedTime, const std::string& speedType,
                     const std::string& name, const std::string& quota, const std::string& sType,
                     bool automatic, int invalidReason, const ReasonThresholds& thresholds) {
  HistoryRecordData row = history::MakeHistoryRow(speedTime, speedType, name, quota, sType,
                                                  automatic, invalidReason, thresholds);
  CSqliteDb db(history::CurrentDatabasePath());
  return db.AddRecord(row);
}

int AddHistoryRecord(const std::string& speedTime, const std::string& speedType,
                     const std::string& name, const std::string& quota, const std::string& sType,
                     bool automatic, int invalidReason) {
  HistoryRecordData row{speedTime, sType, speedType, name, quota};
  if (invalidReason != 0 && automatic)
    row = {speedTime, history::kAutomatic, history::kInvalidSpeedType, history::kInvalidName,
           ReasonText(invalidReason)};
  CSqliteDb db(history::CurrentDatabasePath());
  return db.AddRecord(row);
}

int ReadHistoryRecords(HistoryRecordList& list) {
  CSqliteDb db(history::CurrentDatabasePath());
  return db.ReadHistory(std::string(), list);
}

int SearchHistoryRecords(const std::string& text, HistoryRecordList& list) {
  if (text.empty()) return ReadHistoryRecords(list);
  CSqliteDb db(history::CurrentDatabasePath());
  return db.SearchHistory(text, list);
}

bool ClearHistoryOnExit(bool historyKept) {
  if (historyKept) return false;
  // Before a login there is no user's history, and opening would create a stray "Data.db".
  const std::string userId = CDataBase::Instance().GetUserInfo().userId;
  if (userId.empty()) return false;
  CSqliteDb db(history::DatabasePath(userId));
  if (!db.IsOpen()) return false;
  return !db.Execute(CSqliteDb::kDeleteAll);
}

bool ClearHistoryOnExit() { return ClearHistoryOnExit(settings::IsHistoryKept()); }
