#pragma once

#include <string>

namespace geo {

constexpr const char* kDatabase = "DB\\Geo_CN.db";

// Province-level cities: their city name is the province name.
bool IsMunicipality(const std::string& provinceName);

}  // namespace geo

// City and province names of the located ids of the login reply; empty when unknown. For a
// municipality the city name is the province name.
struct RegionNames {
  std::string city;
  std::string province;
};
RegionNames LookupRegionNames(int locCityid, int locProid);

// Operator name of the located operator id (matched against REMARK); empty when unknown.
std::string LookupOperatorName(int locOperid);
