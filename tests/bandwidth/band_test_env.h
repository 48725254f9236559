#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/speed.h"
#include "core/user_info.h"
#include "lab_fixture.h"
#include "test_support.h"

// A listener that records every event and answers questions as told.
class RecordingListener : public IUpdateUI {
 public:
  int Ask(const UpdateEvent& event) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.push_back(event);
    m_asked.push_back(event.code);
    return event.code == speedcode::kServerMismatchQuestion ? m_answer : 1;
  }
  void Notify(const UpdateEvent& event) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.push_back(event);
  }
  void SetAnswer(int answer) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_answer = answer;
  }
  std::vector<UpdateEvent> Events() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
  }
  std::vector<int> Asked() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_asked;
  }
  std::vector<int> Codes(bool withLiveRates = false) const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<int> codes;
    for (const auto& e : m_events) {
      if (withLiveRates || e.code != speedcode::kLiveRate) codes.push_back(e.code);
    }
    return codes;
  }

 private:
  mutable std::mutex m_lock;
  std::vector<UpdateEvent> m_events;
  std::vector<int> m_asked;
  int m_answer = 1;
};

// A Beijing telecom user, as the login reply locates one.
inline UserInfo BeijingTelecomUser(int userType = 1) {
  UserInfo user;
  user.userId = "1234";
  user.nickname = "demo";
  user.address = "10.1.2.3";
  user.province = "北京";
  user.city = " 北京";
  user.userType = userType;
  user.locatedProvinceId = 110000;
  user.locatedCityId = 110105;
  user.locatedOperatorId = 1;
  return user;
}
