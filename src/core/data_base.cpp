#include "core/data_base.h"

CDataBase& CDataBase::Instance() {
  static CDataBase instance;
  return instance;
}

UserInfo CDataBase::GetUserInfo() const {
  std::lock_guard lock(m_mutex);
  return m_user;
}

void CDataBase::SetUserInfo(const UserInfo& info) {
  std::lock_guard lock(m_mutex);
  m_user = info;
}

void CDataBase::SetUserType(int type) {
  std::lock_guard lock(m_mutex);
  m_user.userType = type;
}

std::optional<std::string> CDataBase::PreviousLogin() const {
  std::lock_guard lock(m_mutex);
  return m_previousLogin;
}

void CDataBase::SetPreviousLogin(const std::string& stamp) {
  std::lock_guard lock(m_mutex);
  m_previousLogin = stamp;
}

Scores CDataBase::GetScores() const {
  std::lock_guard lock(m_mutex);
  return m_scores;
}

void CDataBase::SetScores(const Scores& scores) {
  std::lock_guard lock(m_mutex);
  m_scores = scores;
}

std::string CDataBase::ClientAddress() const {
  std::lock_guard lock(m_mutex);
  return m_clientAddress;
}

void CDataBase::SetClientAddress(const std::string& address) {
  std::lock_guard lock(m_mutex);
  m_clientAddress = address;
}

std::string CDataBase::LastResult() const {
  std::lock_guard lock(m_mutex);
  return m_lastResult;
}

void CDataBase::SetLastResult(const std::string& text) {
  std::lock_guard lock(m_mutex);
  m_lastResult = text;
}

void CDataBase::Reset() {
  testBusy = 0;
  testRunEnabled = 1;
  autoCycleActive = 0;
  loginTime = 0;
  autoStartTime = 0;
  autoScheduledCount = 0;
  autoCompletedCount = 0;
  currentTab = 0;
  clientAddressSettled = false;
  std::lock_guard lock(m_mutex);
  m_user = UserInfo{};
  m_scores = Scores{};
  m_clientAddress.clear();
  m_lastResult = kNoResultYet;
  m_previousLogin.reset();
}
