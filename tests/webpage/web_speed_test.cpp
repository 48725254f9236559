// The web page engine offscreen against the lab's portal sites: what the first-screen time
// covers, what ends a test, what it writes, and what a page cannot make it do.

#include "webpage/web_speed.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "auto/settings_files.h"
#include "platform/codepage.h"
#include "web_test_env.h"

namespace fs = std::filesystem;
using webtest::PortalHit;
using webtest::PumpUntil;

namespace {

class Recorder : public IUpdateUI {
 public:
  void NotifyWeb(const WebEvent& event) override { events.push_back(event); }
  std::vector<WebEvent> events;
};

class WebSpeedTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    Write("conf\\l_c_config_01.properties", "userid=1234\n");
    webtest::ApproveUser();
    CDataBase& shared = CDataBase::Instance();
    shared.testBusy = 0;
    shared.testRunEnabled = 1;
    shared.autoCompletedCount = 0;
    ASSERT_TRUE(webtest::OpenSkin());
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{"--portal"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    m_engine = std::make_unique<CWebSpeed>();
    ASSERT_TRUE(m_engine->Create(QPoint(0, 0)));
    ASSERT_NE(m_engine->Browser(), nullptr);
    m_engine->SetListener(&m_events);
    // The first page of a browser also starts its renderer; the tests time warm ones, as the
    // program's engine is after its first test.
    bool loaded = false;
    QObject::connect(m_engine->Browser(), &QWebEngineView::loadFinished,
                     [&loaded](bool) { loaded = true; });
    m_engine->Browser()->load(QUrl(QString::fromStdString(Url("/portal/warm/index.html?parts=1"))));
    ASSERT_TRUE(PumpUntil([&] { return loaded; }));
    QObject::disconnect(m_engine->Browser(), &QWebEngineView::loadFinished, nullptr, nullptr);
    ASSERT_TRUE(m_lab->Reset("portal"));
    ASSERT_TRUE(m_lab->Set("portal", "clearlog", "1"));
  }
  void TearDown() override {
    m_engine.reset();
    CWebSpeed::SetCapForTest(0);
    CWebSpeed::SetNetworkAliveForTest(-1);
    CDataBase::Instance().testBusy = 0;
    m_lab.reset();
    ProgramFolderTest::TearDown();
  }

  std::string Url(const std::string& path) const { return m_lab->Url("portal", path); }

  // Runs a manual test to its end (the record written when there is one).
  CWebSpeed::Outcome RunManual(const std::string& url, int boundMs = 20000) {
    m_engine->RunTest(url, 0);
    EXPECT_TRUE(
        PumpUntil([&] { return m_engine->TestEnded() && !m_engine->RecordPending(); }, boundMs));
    if (getenv("WEBTEST_DEBUG"))
      for (const PortalHit& h : webtest::PortalLog(*m_lab))
        fprintf(stderr, "HIT %lld %lld %lld %s\n", h.arrival, h.lastByte, h.closed,
                h.target.c_str());
    return m_engine->LastOutcome();
  }

  // The records written, unpacked from their packages (zip moves a record into its package).
  std::vector<std::string> Records() {
    std::vector<std::string> texts;
    for (const auto& e : fs::directory_iterator(At("Data"))) {
      const std::string path = e.path().string();
      if (path.ends_with(".zip")) {
        texts.push_back(
            codepage::GbkToUtf8(testsupport::CommandOutput("unzip -p '" + path + "' 2>/dev/null")));
      } else if (path.ends_with(".dat")) {
        texts.push_back(codepage::GbkToUtf8(testsupport::ReadFile(path)));
      }
    }
    return texts;
  }

  // The portal's log entries whose target holds `part`.
  std::vector<PortalHit> Hits(const std::string& part) {
    std::vector<PortalHit> hits;
    for (const PortalHit& h : webtest::PortalLog(*m_lab))
      if (h.target.find(part) != std::string::npos) hits.push_back(h);
    return hits;
  }

  void WriteWebSettings(const std::string& file, bool selected, const std::string& items) {
    Write(file, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks>") +
                    "<module id=\"2\" selected=\"" + (selected ? "true" : "false") + "\">" + items +
                    "</module></tasks></settings>");
  }
  std::string ItemXml(int id, bool selected, const std::string& url) {
    return "<item id=\"" + std::to_string(id) + "\" selected=\"" + (selected ? "true" : "false") +
           "\" name=\"站点" + std::to_string(id) + "\">" + url + "</item>";
  }

  std::unique_ptr<LabProcess> m_lab;
  std::unique_ptr<CWebSpeed> m_engine;
  Recorder m_events;
};

TEST_F(WebSpeedTest, FirstScreenCoversTheWholePageAndIsRecorded) {
  const std::string url = Url("/portal/sina/index.html?weight=40&parts=3&load=800");
  ASSERT_EQ(RunManual(url), CWebSpeed::Outcome::Completed);
  const webpage::WebResult result = m_engine->LastResult();
  EXPECT_GE(result.firstScreen, 0.800f);
  EXPECT_LE(result.firstScreen, 1.200f);

  // Never less than the time the lab took from the page's request to its last part's answer.
  const std::vector<PortalHit> page = Hits("index.html");
  const std::vector<PortalHit> last = Hits("part.gif?i=3");
  ASSERT_EQ(page.size(), 1u);
  ASSERT_EQ(last.size(), 1u);
  const double served = (last[0].lastByte - page[0].arrival) / 1000.0;
  EXPECT_GE(served, 0.8);
  EXPECT_GE(result.firstScreen + 0.0005, served);

  // The suffix: "?Y" and month, day, hour, minute, second, after the address's own query.
  EXPECT_TRUE(std::regex_match(
      m_engine->LastNavigated(),
      std::regex(std::regex_replace(url, std::regex(R"([.?])"), R"(\$&)") + R"(\?Y\d{10})")))
      << m_engine->LastNavigated();
  ASSERT_EQ(m_events.events.size(), 1u);
  EXPECT_EQ(m_events.events[0].code, speedcode::kFinished);
  EXPECT_EQ(m_events.events[0].text, webpage::FirstScreenText(result.firstScreen));
  // A manual test keeps the page busy until its notice is closed or Stop is pressed.
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 1);

  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(
      records[0].find("url=" + url + "\nfirstscreentime=" + webpage::Seconds3(result.firstScreen) +
                      "\nloadingtime=\nip=10.1.2.3\n"),
      std::string::npos)
      << records[0];
  EXPECT_NE(records[0].find("testtype=1\nchecktype=0\n---end---"), std::string::npos);
}

TEST_F(WebSpeedTest, ALateFrameAndADelayedRedirectCountWhole) {
  // The frame comes at 0.6 s while a part is held to 1.1 s: neither its start nor its load
  // moves the clock.
  ASSERT_EQ(RunManual(Url("/portal/news/frames.html?frame=600")), CWebSpeed::Outcome::Completed);
  EXPECT_GE(m_engine->LastResult().firstScreen, 1.1f);
  EXPECT_LE(m_engine->LastResult().firstScreen, 1.6f);
  EXPECT_EQ(Hits("inner.html").size(), 1u);

  CDataBase::Instance().testBusy = 0;
  const std::string to = LabEscape("/portal/moved/index.html?parts=2&load=300");
  ASSERT_EQ(RunManual(Url("/portal/redirect?to=" + to + "&delay=500")),
            CWebSpeed::Outcome::Completed);
  EXPECT_GE(m_engine->LastResult().firstScreen, 0.8f);
  EXPECT_LE(m_engine->LastResult().firstScreen, 1.3f);
}

TEST_F(WebSpeedTest, APageThatNeverCompletesEndsAtTheCapAndLetsGo) {
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(RunManual(Url("/portal/slow/never.html"), 15000), CWebSpeed::Outcome::Capped);
  const auto ended = std::chrono::steady_clock::now();
  const float seconds = m_engine->LastResult().firstScreen;
  EXPECT_GE(seconds, 10.0f);
  EXPECT_LE(seconds, 10.2f);
  EXPECT_LT(std::chrono::duration<double>(ended - started).count(), 10.6);
  // The user is still told the capped time; nothing is written.
  ASSERT_EQ(m_events.events.size(), 1u);
  EXPECT_EQ(m_events.events[0].code, speedcode::kFinished);
  EXPECT_TRUE(Records().empty());
  // The held request's connection is closed by the stop, within 2 s.
  ASSERT_TRUE(PumpUntil(
      [&] {
        auto held = Hits("held.gif");
        return held.size() == 1 && held[0].closed >= 0;
      },
      2000));
  const PortalHit held = Hits("held.gif")[0];
  EXPECT_EQ(held.lastByte, -1);
}

TEST_F(WebSpeedTest, FailedLoadsEndTheTestAndWriteNothing) {
  const int closedPort = testsupport::FreePort();
  const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort) + "/index.html";

  // By hand, the connection check stops an unreachable address before any navigation.
  m_engine->RunTest(refused, 0);
  ASSERT_TRUE(PumpUntil([&] { return m_engine->TestEnded(); }));
  EXPECT_EQ(m_engine->LastOutcome(), CWebSpeed::Outcome::Unreachable);
  ASSERT_EQ(m_events.events.size(), 1u);
  EXPECT_EQ(m_events.events[0].code, speedcode::kNetworkFailure);
  EXPECT_EQ(m_events.events[0].message, "网络连接失败，请检查网络后重试！");
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);

  // By hand, a page the server refuses ends at once, with the same warning.
  m_events.events.clear();
  ASSERT_EQ(RunManual(Url("/portal/sina/missing.html")), CWebSpeed::Outcome::Failed);
  EXPECT_LT(m_engine->LastResult().firstScreen, 2.0f);
  ASSERT_EQ(m_events.events.size(), 1u);
  EXPECT_EQ(m_events.events[0].code, speedcode::kNetworkFailure);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);

  // Automatic runs: no check before, so the browser's failure ends them; the counter moves.
  CWebSpeed::SetNetworkAliveForTest(1);
  int runs = 0;
  for (const std::string& address :
       {refused, std::string("http://portal.invalid/index.html"), Url("/portal/x/missing.html")}) {
    WriteWebSettings("Config\\settings1234.xml", true, ItemXml(1, true, address));
    ASSERT_EQ(m_engine->StartAuto(0, 1, 0), 2) << address;
    ASSERT_TRUE(PumpUntil([&] { return m_engine->TestEnded(); })) << address;
    EXPECT_EQ(m_engine->LastOutcome(), CWebSpeed::Outcome::Failed) << address;
    EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), ++runs);
    EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  }
  EXPECT_TRUE(Records().empty());
}

TEST_F(WebSpeedTest, PagesOpenNoWindowAndShowNoDialog) {
  ASSERT_EQ(RunManual(Url("/portal/pop/popup.html")), CWebSpeed::Outcome::Completed);
  EXPECT_EQ(Hits("popup.html").size(), 1u);
  EXPECT_TRUE(Hits("target.html").empty());

  CDataBase::Instance().testBusy = 0;
  ASSERT_EQ(RunManual(Url("/portal/err/scripterror.html")), CWebSpeed::Outcome::Completed);
  EXPECT_LT(m_engine->LastResult().firstScreen, 1.0f);
  // The confirm and the prompt were answered "no".
  EXPECT_EQ(m_engine->Browser()->title(), "answers false null");
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->isVisible() && w->inherits("QDialog")) << w->objectName().toStdString();
}

TEST_F(WebSpeedTest, EveryRunFetchesEveryPartAgain) {
  const std::string url = Url("/portal/sohu/index.html?parts=3");
  ASSERT_EQ(RunManual(url), CWebSpeed::Outcome::Completed);
  CDataBase::Instance().testBusy = 0;
  ASSERT_EQ(RunManual(url), CWebSpeed::Outcome::Completed);
  std::map<std::string, int> fetched;
  for (const LabRequest& r : m_lab->Requests("portal")) ++fetched[r.target];
  for (const std::string part :
       {"/portal/sohu/part.gif?i=1", "/portal/sohu/part.gif?i=2", "/portal/sohu/part.gif?i=3"})
    EXPECT_EQ(fetched[part], 2) << part;
  int pages = 0;
  for (const auto& [target, count] : fetched) {
    if (target.find("index.html") == std::string::npos) continue;
    pages += count;
    EXPECT_TRUE(
        std::regex_match(target, std::regex(R"(/portal/sohu/index\.html\?parts=3\?Y\d{10})")))
        << target;
  }
  EXPECT_EQ(pages, 2);
}

TEST_F(WebSpeedTest, AutomaticRunsPickASelectedAddressAndCountThemselves) {
  CWebSpeed::SetNetworkAliveForTest(1);
  const std::string a = Url("/portal/a/index.html?parts=1");
  const std::string b = Url("/portal/b/index.html?parts=1");
  const std::string off = Url("/portal/off/index.html?parts=1");
  const std::string own = Url("/portal/own/index.html?parts=1");

  // Module not selected, or nothing selected: no test.
  WriteWebSettings("Config\\settings1234.xml", false, ItemXml(1, true, a));
  EXPECT_EQ(m_engine->StartAuto(0, 1, 0), 0);
  WriteWebSettings("Config\\settings1234.xml", true, ItemXml(1, false, off));
  EXPECT_EQ(m_engine->StartAuto(0, 1, 0), 0);
  EXPECT_TRUE(m_engine->TestEnded());

  // The selected items of the settings and of the user's own list together.
  WriteWebSettings("Config\\settings1234.xml", true,
                   ItemXml(1, true, a) + ItemXml(2, true, b) + ItemXml(3, false, off));
  WriteWebSettings("Config\\tasks1234.xml", true, ItemXml(1, true, own));
  ASSERT_EQ(m_engine->StartAuto(0, 1, 1), 2);
  EXPECT_FALSE(m_engine->TestEnded());
  ASSERT_TRUE(PumpUntil([&] { return m_engine->TestEnded() && !m_engine->RecordPending(); }));
  ASSERT_EQ(m_engine->LastOutcome(), CWebSpeed::Outcome::Completed);
  const webpage::WebResult result = m_engine->LastResult();
  EXPECT_TRUE(result.url == a || result.url == b || result.url == own) << result.url;
  EXPECT_TRUE(m_events.events.empty());  // automatic runs tell the screen nothing
  EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), 1);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_EQ(CDataBase::Instance().LastResult().rfind(
                "最近一次网页性能结果：\n网站地址：" + result.url + "\n首屏时间：" +
                    webpage::Seconds3(result.firstScreen) + "s",
                0),
            0u);
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find("testtype=0\nchecktype=1\n---end---"), std::string::npos);

  // With automatic testing switched off the run happens but counts and writes nothing.
  CDataBase::Instance().testRunEnabled = 0;
  ASSERT_EQ(m_engine->StartAuto(0, 1, 0), 2);
  ASSERT_TRUE(PumpUntil([&] { return m_engine->TestEnded(); }));
  EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), 1);
  EXPECT_EQ(Records().size(), 1u);
}

TEST_F(WebSpeedTest, StopEndsARunningTestWithoutAResult) {
  m_engine->RunTest(Url("/portal/slow/never.html"), 0);
  ASSERT_TRUE(PumpUntil([&] { return !Hits("held.gif").empty(); }, 5000));
  EXPECT_FALSE(m_engine->TestEnded());
  m_engine->StopTest();
  EXPECT_TRUE(m_engine->TestEnded());
  EXPECT_EQ(m_engine->LastOutcome(), CWebSpeed::Outcome::Stopped);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_TRUE(m_events.events.empty());
  EXPECT_TRUE(Records().empty());
}

}  // namespace
