#pragma once

// The management server: login, scores, the registration and password pages, the request key
// and the user pages; accounts from a JSON file (see lab/data/accounts.json).

#include <map>
#include <string>
#include <vector>

#include "http_server.h"

namespace lab {

class Flags;

void RegisterManagementServerRole();

// One account of the accounts file. `fields` are the reply's members other than "ip", all
// strings ("statuscode", "userid", "nickname", "location", "usertype", ...).
struct Account {
  std::string userName;  // UTF-8
  std::string password;  // as typed, UTF-8
  std::map<std::string, std::string> fields;
  std::string scores = "0,0,0";  // the score reply
  std::string auditType = "8";   // "usertype" the audit request answers
};

// Reads an accounts file; false with a message when it is not a list of accounts.
bool LoadAccounts(const std::string& path, std::vector<Account>* accounts, std::string* error);
std::vector<Account> DefaultAccounts();

// MD5 of the GBK bytes of a UTF-8 text, 32 lower-case hexadecimal digits.
std::string PasswordDigestOf(const std::string& utf8);

}  // namespace lab
