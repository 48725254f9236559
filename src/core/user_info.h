#pragma once

#include <string>

// The logged-in user, filled from the login reply; every test reads it for its record.
struct UserInfo {
  int status = 0;              // "statuscode"
  std::string userId;          // "userid"
  std::string nickname;        // "nickname"
  std::string address;         // "ip"
  std::string province;        // "location", before the first blank
  std::string city;            // "location", from the first blank on (blank included)
  int bandwidth = 0;           // "bandwidth", Mb/s
  std::string registeredPlace;     // "rloc"
  std::string registeredOperator;  // "roper"
  int registeredCityId = 0;        // "rcityid"
  int registeredOperatorId = 0;    // "roperid"
  int userType = 0;                // "usertype"
  int locatedCityId = 0;           // "locCityid"
  int locatedOperatorId = 0;       // "locOperid"
  int locatedProvinceId = 0;       // "locProid"
};

struct Scores {
  std::string total;
  std::string bandwidth;
  std::string experience;
};
