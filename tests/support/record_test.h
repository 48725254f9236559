#pragma once

// What the result record tests share: a program folder whose user is 1234, the sample user of
// the golden records, and the user's history rows. Header only: its users link the history.

#include <ctime>

#include "core/data_base.h"
#include "core/user_info.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "test_support.h"

namespace testsupport {

// Beijing, " 朝阳区": the reply's blank stays with the city.
inline UserInfo SampleUser(int type) {
  UserInfo user;
  user.userId = "1234";
  user.address = "10.1.2.3";
  user.province = "北京";
  user.city = " 朝阳区";
  user.userType = type;
  return user;
}

inline std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

class RecordTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CDataBase::Instance().Reset();
    Write("conf\\l_c_config_01.properties", "userid=1234\n");
  }
  void TearDown() override {
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }
  static HistoryRecordList Rows() {
    HistoryRecordList list;
    CSqliteDb db(history::DatabasePath("1234"));
    db.ReadHistory("", list);
    return list;
  }
};

}  // namespace testsupport
