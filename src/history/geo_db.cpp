#include "history/geo_db.h"

#include <vector>

#include "platform/paths.h"
#include "history/sqlite_db.h"
#include "platform/program_folder.h"

namespace {

constexpr const char* kSelectRegion = "select * from T_GEO_CN where id = ?";
constexpr const char* kSelectOperator = "select * from NS_DIC_OPER where REMARK = ?";

std::string DatabasePath() { return paths::Join(platform::ProgramFolder(), geo::kDatabase); }

}  // namespace

namespace geo {

bool IsMunicipality(const std::string& provinceName) {
  return provinceName == "北京" || provinceName == "天津" || provinceName == "上海" ||
         provinceName == "重庆";
}

}  // namespace geo

RegionNames LookupRegionNames(int locCityid, int locProid) {
  RegionNames names;
  CSqliteDb db(DatabasePath());
  std::vector<GeoRow> cities;
  if (db.ReadGeoRows(kSelectRegion, locCityid, cities) > 0) names.city = cities.front().name;
  std::vector<GeoRow> provinces;
  if (db.ReadGeoRows(kSelectRegion, locProid, provinces) > 0)
    names.province = provinces.front().name;
  if (geo::IsMunicipality(names.province)) names.city = names.province;
  return names;
}

std::string LookupOperatorName(int locOperid) {
  CSqliteDb db(DatabasePath());
  std::vector<OperatorRow> rows;
  if (db.ReadOperatorRows(kSelectOperator, locOperid, rows) > 0) return rows.front().name;
  return {};
}
