#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "core/user_info.h"

// The process-wide shared session data. Flags and counters are atomics; texts and records sit
// behind a mutex and are handed out as copies.
class CDataBase {
 public:
  static CDataBase& Instance();

  // Run flags.
  std::atomic<int> testBusy{0};
  std::atomic<int> testRunEnabled{1};
  std::atomic<int> autoCycleActive{0};

  // A transfer goes on while automatic mode is on, or while no automatic cycle runs; it
  // stops as soon as a cycle runs with automatic mode switched off.
  bool RunStatePermits() const { return testRunEnabled.load() != 0 || autoCycleActive.load() != 1; }

  // Automatic testing.
  std::atomic<int64_t> loginTime{0};      // seconds since 1970
  std::atomic<int64_t> autoStartTime{0};  // seconds since 1970
  std::atomic<int> autoScheduledCount{0};
  std::atomic<int> autoCompletedCount{0};
  std::atomic<int> currentTab{0};  // 0 tests, 1 history, 2 settings
  // Set when the client address discovery has ended, with an address or without: a login then
  // stops waiting for one.
  std::atomic<bool> clientAddressSettled{false};

  UserInfo GetUserInfo() const;
  void SetUserInfo(const UserInfo& info);
  // The audit's verdict replaces the account kind alone.
  void SetUserType(int type);

  // "pre_date" as it stood before this login stamped it over; unset until a login kept it.
  std::optional<std::string> PreviousLogin() const;
  void SetPreviousLogin(const std::string& stamp);

  Scores GetScores() const;
  void SetScores(const Scores& scores);

  std::string ClientAddress() const;
  void SetClientAddress(const std::string& address);

  // Last result text, the tray tip.
  std::string LastResult() const;
  void SetLastResult(const std::string& text);

  // Back to the state of a fresh process (tests).
  void Reset();

  static constexpr const char* kNoResultYet = "暂无测速记录";

 private:
  CDataBase() = default;
  mutable std::mutex m_mutex;
  UserInfo m_user;
  Scores m_scores;
  std::string m_clientAddress;
  std::string m_lastResult = kNoResultYet;
  std::optional<std::string> m_previousLogin;
};
