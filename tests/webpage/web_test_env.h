#pragma once

// Shared by the browser tests: the portal lab, a program folder with an approved user, and a
// pump that waits for a condition with a bound.

#include <QApplication>
#include <QElapsedTimer>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/data_base.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "ui/application.h"

namespace webtest {

inline bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

// One request of the portal's own log: times in ms since the role started, -1 for never.
struct PortalHit {
  long long arrival = -1, lastByte = -1, closed = -1;
  std::string target;
};

inline std::vector<PortalHit> PortalLog(const LabProcess& lab) {
  std::vector<PortalHit> hits;
  const LabStats stats = lab.Stats("portal");
  for (const auto& [key, value] : stats.all) {
    if (key.rfind("portal_", 0) != 0 || key == "portal_log") continue;
    std::istringstream in(value);
    PortalHit h;
    in >> h.arrival >> h.lastByte >> h.closed >> h.target;
    hits.push_back(h);
  }
  return hits;
}

inline void ApproveUser(int type = 1) {
  UserInfo user;
  user.userId = "1234";
  user.address = "10.1.2.3";
  user.province = "北京";
  user.city = "朝阳区";
  user.userType = type;
  CDataBase::Instance().SetUserInfo(user);
}

inline bool OpenSkin() {
  return ui::InitToolkit(QString::fromStdString(testsupport::DistPath("Skin.zip")));
}

}  // namespace webtest
