#include "history/geo_db.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "history/sqlite_db.h"
#include "test_support.h"

namespace {

class GeoDbTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("DB/Geo_CN.db");
  }

  // One number from the shipped file, read independently of the program's readers.
  long long Scalar(const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open_v2(At("DB/Geo_CN.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
      value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
  }
};

TEST_F(GeoDbTest, RegionNamesAndTheMunicipalityRule) {
  RegionNames names = LookupRegionNames(130100, 130000);
  EXPECT_EQ(names.city, "石家庄");
  EXPECT_EQ(names.province, "河北");

  // A district of a municipality, or the municipality itself, shows the municipality twice.
  names = LookupRegionNames(110105, 110000);
  EXPECT_EQ(names.city, "北京");
  EXPECT_EQ(names.province, "北京");
  names = LookupRegionNames(500243, 500000);
  EXPECT_EQ(names.city, "重庆");
  EXPECT_EQ(names.province, "重庆");
  names = LookupRegionNames(0, 310000);
  EXPECT_EQ(names.city, "上海");

  names = LookupRegionNames(222400, 220000);
  EXPECT_EQ(names.city, "延边");
  EXPECT_EQ(names.province, "吉林");
  names = LookupRegionNames(650100, 650000);
  EXPECT_EQ(names.city, "乌鲁木齐");
  EXPECT_EQ(names.province, "新疆");

  // Unknown ids give empty names, each on its own.
  names = LookupRegionNames(999999, 440000);
  EXPECT_EQ(names.city, "");
  EXPECT_EQ(names.province, "广东");
  names = LookupRegionNames(440300, -1);
  EXPECT_EQ(names.city, "深圳");
  EXPECT_EQ(names.province, "");
  names = LookupRegionNames(0, 0);
  EXPECT_EQ(names.city, "");
  EXPECT_EQ(names.province, "");
}

TEST_F(GeoDbTest, OperatorsAreFoundByRemark) {
  EXPECT_EQ(LookupOperatorName(1), "电信");
  EXPECT_EQ(LookupOperatorName(2), "联通");
  EXPECT_EQ(LookupOperatorName(3), "移动");
  EXPECT_EQ(LookupOperatorName(6), "教育网");
  // 101 is a row number, not a remark.
  EXPECT_EQ(LookupOperatorName(101), "");
  EXPECT_EQ(LookupOperatorName(0), "");
  EXPECT_EQ(LookupOperatorName(-5), "");
}

TEST_F(GeoDbTest, MissingDatabaseGivesEmptyNames) {
  std::remove(At("DB/Geo_CN.db").c_str());
  RegionNames names = LookupRegionNames(130100, 130000);
  EXPECT_EQ(names.city, "");
  EXPECT_EQ(names.province, "");
  EXPECT_EQ(LookupOperatorName(1), "");
}

TEST_F(GeoDbTest, ShippedDataIsComplete) {
  EXPECT_EQ(Scalar("select count(*) from T_GEO_CN where LEVEL=1"), 34);
  EXPECT_EQ(Scalar("select count(*) from T_GEO_CN where LEVEL=2"), 333);
  // Every lower unit hangs below a province-level unit whose code it carries.
  EXPECT_EQ(Scalar("select count(*) from T_GEO_CN c where LEVEL>1 and not exists (select 1 from "
                   "T_GEO_CN p where p.ID=c.PARENT_ID and p.LEVEL=1 and p.ID=c.ID/10000*10000)"),
            0);
  // Every mainland province and autonomous region has prefecture-level divisions.
  EXPECT_EQ(Scalar("select count(*) from T_GEO_CN p where LEVEL=1 and KIND in ('省','自治区') "
                   "and ID<700000 and not exists (select 1 from T_GEO_CN c where "
                   "c.PARENT_ID=p.ID and c.LEVEL=2)"),
            0);
  // Each municipality has its districts.
  EXPECT_EQ(Scalar("select count(distinct PARENT_ID) from T_GEO_CN where KIND='市辖区'"), 4);
  EXPECT_EQ(Scalar("select count(*) from (select NAME from T_GEO_CN where LEVEL<3 group by "
                   "NAME, LEVEL having count(*)>1)"),
            0);
  EXPECT_GE(Scalar("select count(*) from NS_DIC_OPER where OPER_NAME in "
                   "('电信','联通','移动','铁通','广电','教育网')"),
            6);
}

TEST_F(GeoDbTest, ReadersGiveTypedRowsAndRefuseWrites) {
  CSqliteDb db(At("DB/Geo_CN.db"));
  std::vector<GeoRow> rows;
  ASSERT_EQ(db.ReadGeoRows("select * from T_GEO_CN where id = ?", 632500, rows), 1);
  EXPECT_EQ(rows[0].id, 632500);
  EXPECT_EQ(rows[0].name, "海南州");
  EXPECT_EQ(rows[0].text3, "海南藏族自治州");
  EXPECT_EQ(rows[0].int4, 630000);
  EXPECT_EQ(rows[0].int5, 2);
  EXPECT_EQ(rows[0].text6, "自治州");

  std::vector<OperatorRow> ops;
  ASSERT_EQ(db.ReadOperatorRows("select * from NS_DIC_OPER where REMARK = ?", 4, ops), 1);
  EXPECT_EQ(ops[0].name, "铁通");
  EXPECT_EQ(ops[0].remark, 4);

  EXPECT_EQ(db.ReadOperatorRows("delete from NS_DIC_OPER where REMARK = ?", 4, ops), 0);
  db.Close();
  EXPECT_EQ(LookupOperatorName(4), "铁通");
}

}  // namespace
