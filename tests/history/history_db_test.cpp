#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/data_base.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "test_support.h"

namespace {

// Reads a database the way an outside reader would, through its own connection.
struct RawDb {
  explicit RawDb(const std::string& path) { sqlite3_open(path.c_str(), &db); }
  ~RawDb() { sqlite3_close(db); }

  std::vector<std::string> Column(const std::string& sql) const {
    std::vector<std::string> out;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      out.emplace_back(text ? reinterpret_cast<const char*>(text) : "<null>");
    }
    sqlite3_finalize(stmt);
    return out;
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const std::string& s : Column("select Id from tHistoryRecord order by Id"))
      ids.push_back(std::stoi(s));
    return ids;
  }
  bool Exec(const std::string& sql) const {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  sqlite3* db = nullptr;
};

HistoryRecordData Row(int n) {
  return {"2026-12-07 10:00:" + std::to_string(n % 60), history::kManual, "带宽测速",
          "site" + std::to_string(n), std::to_string(n) + ".0Mb/s"};
}

std::vector<int> Range(int first, int last) {
  std::vector<int> v;
  for (int i = first; i <= last; ++i) v.push_back(i);
  return v;
}

class HistoryDbTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    LogIn("1234");
  }
  void LogIn(const std::string& userId) {
    UserInfo user;
    user.userId = userId;
    CDataBase::Instance().SetUserInfo(user);
  }
  std::string DbPath() const { return At("DB/Data1234.db"); }
};

TEST_F(HistoryDbTest, NewFileGetsTheExactTableAndFirstIdOne) {
  {
    CSqliteDb db(DbPath());
    ASSERT_TRUE(db.IsOpen());
    EXPECT_EQ(db.AddRecord(Row(1)), 0);
  }
  RawDb raw(DbPath());
  auto schema = raw.Column("select sql from sqlite_master where name='tHistoryRecord'");
  ASSERT_EQ(schema.size(), 1u);
  std::string expected = CSqliteDb::kCreateTable;
  expected.pop_back();  // SQLite keeps the statement without its ";"
  EXPECT_EQ(schema[0], expected);
  EXPECT_EQ(raw.Ids(), std::vector<int>{1});
  EXPECT_EQ(raw.Column("select sName from tHistoryRecord"), std::vector<std::string>{"site1"});

  // Reopening an existing file keeps its rows (the create statement fails harmlessly).
  CSqliteDb again(DbPath());
  EXPECT_EQ(again.AddRecord(Row(2)), 1);
  EXPECT_EQ(raw.Ids(), (std::vector<int>{1, 2}));
}

TEST_F(HistoryDbTest, KeepsTheHundredNewestRows) {
  for (int i = 1; i <= 100; ++i) {
    CSqliteDb db(DbPath());
    ASSERT_EQ(db.AddRecord(Row(i)), i - 1);
  }
  CSqliteDb db(DbPath());
  EXPECT_EQ(db.AddRecord(Row(101)), 100);
  RawDb raw(DbPath());
  EXPECT_EQ(raw.Ids(), Range(2, 101));

  HistoryRecordList list;
  EXPECT_EQ(db.ReadHistory("", list), 100);
  ASSERT_EQ(list.count, 100);
  EXPECT_EQ(list.sName.front(), "site101");  // newest first
  EXPECT_EQ(list.sName.back(), "site2");
  EXPECT_EQ(list.sQuota.front(), "101.0Mb/s");
}

TEST_F(HistoryDbTest, NonContiguousIdsTakeHighestPlusOneAndDropTheLowest) {
  { CSqliteDb create(DbPath()); }
  RawDb raw(DbPath());
  std::vector<int> ids = {3, 7, 40};
  for (int i = 200; ids.size() < 100; i += 2) ids.push_back(i);
  for (int id : ids)
    ASSERT_TRUE(raw.Exec("INSERT INTO tHistoryRecord VALUES(" + std::to_string(id) +
                         ",'t','手动','网页测速','x','1 s')"));
  CSqliteDb db(DbPath());
  EXPECT_EQ(db.AddRecord(Row(1)), 100);
  std::vector<int> expected(ids.begin() + 1, ids.end());
  expected.push_back(ids.back() + 1);
  EXPECT_EQ(raw.Ids(), expected);

  // A table that grew past the limit elsewhere is brought back to the newest 100.
  for (int id = 1000; id < 1010; ++id)
    ASSERT_TRUE(raw.Exec("INSERT INTO tHistoryRecord VALUES(" + std::to_string(id) +
                         ",'t','手动','网页测速','x','1 s')"));
  EXPECT_EQ(db.AddRecord(Row(2)), 110);
  auto after = raw.Ids();
  ASSERT_EQ(after.size(), 100u);
  EXPECT_EQ(after.back(), 1010);
  EXPECT_EQ(after.front(), expected[11]);  // 111 rows, the 11 lowest go
}

TEST_F(HistoryDbTest, EmptyMissingAndUnopenableDatabases) {
  CSqliteDb db(DbPath());
  HistoryRecordList list;
  EXPECT_EQ(db.ReadHistory("", list), 0);
  EXPECT_EQ(list.count, 0);
  EXPECT_TRUE(list.SpeedTime.empty() && list.sQuota.empty());

  // A folder that does not exist: nothing opens, every operation is a no-op.
  CSqliteDb missing(At("nowhere/Data1.db"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.AddRecord(Row(1)), 0);
  EXPECT_EQ(missing.ReadHistory("", list), 0);
  EXPECT_EQ(missing.SearchHistory("a", list), 0);
  EXPECT_FALSE(missing.Execute(CSqliteDb::kDeleteAll));
  EXPECT_FALSE(testsupport::Exists(At("nowhere")));

  CSqliteDb none("");
  EXPECT_FALSE(none.IsOpen());

  // Not a database at all: the add reports failure instead of pretending.
  Write("DB/Data9.db", std::string(4096, 'x'));
  CSqliteDb garbage(At("DB/Data9.db"));
  EXPECT_LT(garbage.AddRecord(Row(1)), 0);
  EXPECT_EQ(garbage.ReadHistory("", list), 0);
}

TEST_F(HistoryDbTest, TextsRoundTripWholeIncludingQuotes) {
  HistoryRecordData row{"2026-12-07 09:08:07", "手动", "视频测速", "O'Brien's \"视频\" 站点; --",
                        "CPU使用率 > 80% 而且这是一个超过声明长度十个字符的很长很长的原因文本"};
  {
    CSqliteDb db(DbPath());
    db.AddRecord(row);
  }
  HistoryRecordList list;
  CSqliteDb db(DbPath());
  ASSERT_EQ(db.ReadHistory("", list), 1);
  EXPECT_EQ(list.SpeedTime[0], row.SpeedTime);
  EXPECT_EQ(list.sType[0], row.sType);
  EXPECT_EQ(list.SpeedType[0], row.SpeedType);
  EXPECT_EQ(list.sName[0], row.sName);
  EXPECT_EQ(list.sQuota[0], row.sQuota);

  // The file holds UTF-8, as an outside reader sees it.
  RawDb raw(DbPath());
  EXPECT_EQ(raw.Column("select hex(SpeedType) from tHistoryRecord")[0], "E8A786E9A291E6B58BE9809F");

  // Malformed UTF-8 from a caller never reaches the file as such.
  db.AddRecord({"t", "手动", "文件下载", std::string("bad\xff\xfe", 5), "1 KB/s"});
  auto names = raw.Column("select sName from tHistoryRecord where Id=2");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].substr(0, 3), "bad");
  EXPECT_EQ(names[0].find('\xff'), std::string::npos);
}

TEST_F(HistoryDbTest, AddHistoryRecordWritesInvalidRowsOnlyForAutomaticVerdicts) {
  ReasonThresholds thresholds{80, 90, 512};
  EXPECT_EQ(AddHistoryRecord("2026-12-07 10:00:00", "", "", "", "", true, 1, thresholds), 0);
  EXPECT_EQ(AddHistoryRecord("2026-12-07 10:01:00", "网页测速", "http://a/", "1.5 s", "自动", false,
                             5, thresholds),
            1);
  EXPECT_EQ(AddHistoryRecord("2026-12-07 10:02:00", "视频测速", "站点", "300 KB/s", "自动", true, 0,
                             thresholds),
            2);

  HistoryRecordList list;
  ASSERT_EQ(ReadHistoryRecords(list), 3);
  // Newest first.
  EXPECT_EQ(list.SpeedType[2], "自动测速");
  EXPECT_EQ(list.sType[2], "自动");
  EXPECT_EQ(list.sName[2], "无效数据");
  EXPECT_EQ(list.sQuota[2], "CPU使用率 > 80%");
  EXPECT_EQ(list.SpeedTime[2], "2026-12-07 10:00:00");
  EXPECT_EQ(list.sName[1], "http://a/");
  EXPECT_EQ(list.sQuota[1], "1.5 s");
  EXPECT_EQ(list.sName[0], "站点");
}

TEST_F(HistoryDbTest, EachUserHasAFileOfTheirOwn) {
  ReasonThresholds t;
  AddHistoryRecord("t1", "带宽测速", "a", "1.0Mb/s", "手动", false, 0, t);
  LogIn("5678");
  AddHistoryRecord("t2", "带宽测速", "b", "2.0Mb/s", "手动", false, 0, t);
  AddHistoryRecord("t3", "带宽测速", "c", "3.0Mb/s", "手动", false, 0, t);

  EXPECT_TRUE(testsupport::Exists(At("DB/Data1234.db")));
  EXPECT_TRUE(testsupport::Exists(At("DB/Data5678.db")));
  HistoryRecordList list;
  EXPECT_EQ(ReadHistoryRecords(list), 2);
  EXPECT_EQ(list.sName, (std::vector<std::string>{"c", "b"}));
  LogIn("1234");
  list.Clear();
  EXPECT_EQ(ReadHistoryRecords(list), 1);
  EXPECT_EQ(list.sName, std::vector<std::string>{"a"});
}

TEST_F(HistoryDbTest, SearchMatchesAnyColumnInTheDatabasesOwnOrder) {
  ReasonThresholds t;
  AddHistoryRecord("2026-12-01 08:00:00", "网页测速", "http://portal/", "2.5 s", "手动", false, 0,
                   t);
  AddHistoryRecord("2026-12-02 08:00:00", "文件下载", "exe", "812.3 KB/s", "手动", false, 0, t);
  AddHistoryRecord("2026-12-03 08:00:00", "文件下载", "zip", "99.1 KB/s", "自动", false, 0, t);

  HistoryRecordList list;
  EXPECT_EQ(SearchHistoryRecords("812.3", list), 1);  // only in sQuota
  EXPECT_EQ(list.sName, std::vector<std::string>{"exe"});

  list.Clear();
  EXPECT_EQ(SearchHistoryRecords("文件", list), 2);
  // Not newest first: the order the rows sit in the file.
  EXPECT_EQ(list.sName, (std::vector<std::string>{"exe", "zip"}));

  list.Clear();
  EXPECT_EQ(SearchHistoryRecords("", list), 3);  // empty text reads everything, newest first
  EXPECT_EQ(list.sName.front(), "zip");

  list.Clear();
  EXPECT_EQ(SearchHistoryRecords("没有", list), 0);
  EXPECT_EQ(list.count, 0);
}

TEST_F(HistoryDbTest, SearchAndReadTextsCannotRunStatements) {
  ReasonThresholds t;
  AddHistoryRecord("t", "带宽测速", "it's", "1.0Mb/s", "手动", false, 0, t);
  AddHistoryRecord("t", "带宽测速", "plain", "2.0Mb/s", "手动", false, 0, t);

  HistoryRecordList list;
  for (const std::string& attack :
       {std::string("x' or 1=1; drop table tHistoryRecord; --"), std::string("' or ''='"),
        std::string("%'; delete from tHistoryRecord; --"), std::string("\\' OR 1=1 --")}) {
    list.Clear();
    EXPECT_EQ(SearchHistoryRecords(attack, list), 0) << attack;
  }
  list.Clear();
  EXPECT_EQ(SearchHistoryRecords("it's", list), 1);  // a quote is an ordinary character

  // The generic read runs exactly one reading statement, nothing else.
  CSqliteDb db(history::CurrentDatabasePath());
  list.Clear();
  EXPECT_EQ(db.ReadHistory("select * from tHistoryRecord; drop table tHistoryRecord", list), 0);
  EXPECT_EQ(db.ReadHistory("drop table tHistoryRecord", list), 0);
  EXPECT_EQ(db.ReadHistory("delete from tHistoryRecord", list), 0);

  RawDb raw(history::CurrentDatabasePath());
  EXPECT_EQ(raw.Ids(), (std::vector<int>{1, 2}));
}

TEST_F(HistoryDbTest, OverlappingAddsFromTwoThreadsLoseNoId) {
  std::vector<int> failures(2, 0);
  auto writer = [&](int who) {
    for (int i = 0; i < 60; ++i) {
      CSqliteDb db(DbPath());
      if (db.AddRecord(Row(who * 100 + i)) < 0) ++failures[who];
    }
  };
  std::thread a(writer, 0), b(writer, 1);
  a.join();
  b.join();
  EXPECT_EQ(failures, (std::vector<int>{0, 0}));
  RawDb raw(DbPath());
  EXPECT_EQ(raw.Ids(), Range(21, 120));
  auto names = raw.Column("select sName from tHistoryRecord");
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 100u);
}

TEST_F(HistoryDbTest, ClearingOnExitFollowsTheKeepSwitch) {
  ReasonThresholds t;
  AddHistoryRecord("t", "带宽测速", "a", "1.0Mb/s", "手动", false, 0, t);
  AddHistoryRecord("t", "带宽测速", "b", "1.0Mb/s", "手动", false, 0, t);

  EXPECT_FALSE(ClearHistoryOnExit(true));
  HistoryRecordList list;
  EXPECT_EQ(ReadHistoryRecords(list), 2);

  EXPECT_TRUE(ClearHistoryOnExit(false));
  EXPECT_TRUE(testsupport::Exists(DbPath()));
  RawDb raw(DbPath());
  EXPECT_TRUE(raw.Ids().empty());
  EXPECT_EQ(raw.Column("select count(*) from sqlite_master where name='tHistoryRecord'")[0], "1");

  // Ids start again from 1 after a clear.
  AddHistoryRecord("t", "带宽测速", "c", "1.0Mb/s", "手动", false, 0, t);
  EXPECT_EQ(raw.Ids(), std::vector<int>{1});

  // Quitting before any login leaves no stray file behind.
  LogIn("");
  EXPECT_FALSE(ClearHistoryOnExit(false));
  EXPECT_FALSE(testsupport::Exists(At("DB/Data.db")));
}

}  // namespace

namespace {

class HistorySettingsTest : public HistoryDbTest {};

TEST_F(HistorySettingsTest, InvalidRowsQuoteTheCurrentThresholdFile) {
  // No threshold file: the defaults.
  AddHistoryRecord("t1", "", "", "", "", true, 1);
  Write("Config/threshold_config.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<threshold><CPUThreshold><value>65</value>"
        "</CPUThreshold><FlowThreshold><down_speed>40</down_speed><up_speed>9</up_speed>"
        "</FlowThreshold></threshold>\n");
  AddHistoryRecord("t2", "", "", "", "", true, 1);
  AddHistoryRecord("t3", "", "", "", "", true, 5);
  AddHistoryRecord("t4", "", "", "", "", true, 2);
  AddHistoryRecord("t5", "网页测速", "http://a/", "1 s", "自动", false, 6);

  HistoryRecordList list;
  ASSERT_EQ(ReadHistoryRecords(list), 5);
  EXPECT_EQ(list.sQuota, (std::vector<std::string>{"1 s", "内存使用率 > 100%", "网卡流量 > 40KB/s",
                                                   "CPU使用率 > 65%", "CPU使用率 > 100%"}));
  EXPECT_EQ(list.sName[1], "无效数据");
}

TEST_F(HistorySettingsTest, ClearingOnExitReadsTheSaveHistorySetting) {
  AddHistoryRecord("t", "带宽测速", "a", "1.0Mb/s", "手动", false, 0);
  auto settingsWith = [&](const std::string& value) {
    Write("Config/settings1234.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><history>"
          "<bsave>" +
              value + "</bsave></history></root>\n");
  };
  HistoryRecordList list;
  settingsWith("true");
  EXPECT_FALSE(ClearHistoryOnExit());
  EXPECT_EQ(ReadHistoryRecords(list), 1);

  settingsWith("TRUE");  // only the exact word keeps the history
  EXPECT_TRUE(ClearHistoryOnExit());
  list.Clear();
  EXPECT_EQ(ReadHistoryRecords(list), 0);

  AddHistoryRecord("t", "带宽测速", "b", "1.0Mb/s", "手动", false, 0);
  std::remove(At("Config/settings1234.xml").c_str());  // no settings: not kept
  EXPECT_TRUE(ClearHistoryOnExit());
  EXPECT_EQ(ReadHistoryRecords(list), 0);
}

}  // namespace
