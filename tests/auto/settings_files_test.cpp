#include "auto/settings_files.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/data_base.h"
#include "lab_fixture.h"
#include "test_support.h"

namespace {

std::string Data(const std::string& name) {
  return testsupport::ReadFile(testsupport::SourcePath("tests/auto/data/" + name));
}

class SettingsFiles : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    std::filesystem::create_directories(At("Config"));
    std::filesystem::create_directories(At("conf"));
    UserInfo user;
    user.userId = "1001";
    CDataBase::Instance().SetUserInfo(user);
  }
  void TearDown() override {
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }
};

TEST_F(SettingsFiles, MergeUpdatesRemovesAndAddsInThreePasses) {
  Write("Config/settings.xml", Data("merge_template.xml"));
  Write("Config/settings1001.xml", Data("merge_user.xml"));
  settings::PrepareUserSettings("1001");
  EXPECT_EQ(Read("Config/settings1001.xml"), Data("merge_user.expected"));
  // The template itself is only read.
  EXPECT_EQ(Read("Config/settings.xml"), Data("merge_template.xml"));

  // A second start changes nothing more.
  settings::PrepareUserSettings("1001");
  EXPECT_EQ(Read("Config/settings1001.xml"), Data("merge_user.expected"));

  auto items = settings::ReadModuleItems(settings::UserSettingsFile(), settings::kWebPage);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].id, 1);
  EXPECT_FALSE(items[0].selected);  // the user's choice survives the rename
  EXPECT_EQ(items[0].name, "新浪新版");
  EXPECT_EQ(items[2].address, "http://127.0.0.1/new?a=1&b=2");
  EXPECT_FALSE(settings::IsModuleSelected(settings::kWebPage));
  EXPECT_TRUE(settings::IsModuleSelected(settings::kVideo));
  EXPECT_FALSE(settings::IsModuleSelected(settings::kBandwidth));  // no such module
  auto bands = settings::ReadBandMap();
  ASSERT_EQ(bands.size(), 2u);
  EXPECT_EQ(bands[0], (std::pair<std::string, std::string>{"1", "4M"}));
}

TEST_F(SettingsFiles, FirstStartCopiesTheTemplatePerUser) {
  Write("Config/settings.xml", Data("merge_template.xml"));
  settings::PrepareUserSettings("1001");
  settings::PrepareUserSettings("2002");
  EXPECT_EQ(Read("Config/settings1001.xml"), Data("merge_template.xml"));
  EXPECT_EQ(Read("Config/settings2002.xml"), Data("merge_template.xml"));

  // An id that would leave the folder is not used as a file name.
  settings::PrepareUserSettings("../x");
  EXPECT_FALSE(testsupport::Exists(At("x.xml")));
  EXPECT_EQ(settings::UserSettingsFile("a/b"), "");
}

TEST_F(SettingsFiles, SwitchesReadAndWriteTheirElements) {
  Write("Config/settings1001.xml", Data("merge_user.xml"));
  EXPECT_FALSE(settings::IsHistoryKept());
  settings::SetHistoryKept(true);
  EXPECT_TRUE(settings::IsHistoryKept());

  // No HintMessage yet: it is added as "true" and the hint is shown.
  EXPECT_FALSE(settings::IsHintSuppressed());
  EXPECT_NE(Read("Config/settings1001.xml")
                .find("<HintMessage>\n\t\t<IsBool>true</IsBool>\n\t</HintMessage>"),
            std::string::npos);
  EXPECT_FALSE(settings::IsHintSuppressed());
  settings::SetHintSuppressed();
  EXPECT_TRUE(settings::IsHintSuppressed());

  // Without history/bsave the switch does nothing, and no file is made up for a missing one.
  Write("Config/settings1001.xml", "<settings><tasks/></settings>");
  settings::SetHistoryKept(true);
  EXPECT_FALSE(settings::IsHistoryKept());
  EXPECT_EQ(Read("Config/settings1001.xml"), "<settings><tasks/></settings>");
  std::filesystem::remove(At("Config/settings1001.xml"));
  EXPECT_FALSE(settings::IsHintSuppressed());
  settings::SetHintSuppressed();
  EXPECT_FALSE(testsupport::Exists(At("Config/settings1001.xml")));
  EXPECT_FALSE(settings::IsModuleSelected(settings::kWebPage));
  EXPECT_TRUE(settings::ReadModuleItems(settings::UserSettingsFile(), 2).empty());
  EXPECT_TRUE(settings::ReadBandMap().empty());
}

TEST_F(SettingsFiles, TaskFileIsCreatedAndEdited) {
  const std::string tasks = settings::UserTasksFile();
  EXPECT_EQ(tasks, "Config\\tasks1001.xml");
  EXPECT_EQ(settings::NextItemId(tasks, 2), "1");
  EXPECT_EQ(settings::AddItem(tasks, 2, "站点 & <一>", "http://127.0.0.1/a"), "1");
  EXPECT_EQ(Read("Config/tasks1001.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<auto>\r\n"
            "\t<tasks>\r\n"
            "\t\t<module id=\"2\">\r\n"
            "\t\t\t<item id=\"1\" selected=\"true\" name=\"站点 &amp; "
            "&lt;一&gt;\">http://127.0.0.1/a</item>\r\n"
            "\t\t</module>\r\n"
            "\t\t<module id=\"4\"/>\r\n"
            "\t</tasks>\r\n"
            "</auto>\r\n");
  EXPECT_EQ(settings::AddItem(tasks, 2, "b", "http://127.0.0.1/b"), "2");
  EXPECT_EQ(settings::AddItem(tasks, 4, "f", "http://127.0.0.1/f.rar", false), "1");

  ASSERT_TRUE(settings::SetSelected(tasks, 2, 2, false));
  ASSERT_TRUE(settings::SetSelected(tasks, 4, std::nullopt, true));
  EXPECT_FALSE(settings::SetSelected(tasks, 2, 99, true));
  auto web = settings::ReadModuleItems(tasks, 2);
  ASSERT_EQ(web.size(), 2u);
  EXPECT_EQ(web[0].name, "站点 & <一>");
  EXPECT_TRUE(web[0].selected);
  EXPECT_FALSE(web[1].selected);
  EXPECT_TRUE(settings::IsModuleSelected(4, tasks));

  ASSERT_TRUE(settings::DeleteItem(tasks, 2, 1));
  EXPECT_FALSE(settings::DeleteItem(tasks, 2, 1));
  web = settings::ReadModuleItems(tasks, 2);
  ASSERT_EQ(web.size(), 1u);
  EXPECT_EQ(web[0].id, 2);
  // Ids are never reused below the highest one.
  EXPECT_EQ(settings::AddItem(tasks, 2, "c", "http://127.0.0.1/c"), "3");

  // An empty task file (nothing to keep) is made anew.
  Write("Config/tasks1001.xml", "");
  EXPECT_EQ(settings::AddItem(tasks, 4, "g", "http://127.0.0.1/g"), "1");
  EXPECT_EQ(settings::ReadModuleItems(tasks, 4).size(), 1u);

  // Gaps: the next id follows the highest.
  Write("Config/gaps.xml",
        "<s><tasks><module id=\"3\"><item id=\"1\"/><item id=\"7\"/><item id=\"2\"/></module>"
        "<module id=\"2\"/></tasks></s>");
  EXPECT_EQ(settings::NextItemId("Config\\gaps.xml", 3), "8");
  EXPECT_EQ(settings::NextItemId("Config\\gaps.xml", 2), "1");
  EXPECT_EQ(settings::NextItemId("Config\\absent.xml", 3), "1");
}

TEST_F(SettingsFiles, ThresholdsHaveDefaultsAndLowerCaseNames) {
  settings::Thresholds missing = settings::ReadThresholds();
  EXPECT_EQ(missing.cpuPercent, 100);
  EXPECT_EQ(missing.memoryPercent, 100);
  EXPECT_EQ(missing.flowDown, 0);
  EXPECT_EQ(missing.flowUp, 0);
  EXPECT_TRUE(missing.antivirus.empty());

  Write("Config/threshold_config.xml",
        "<t><MemoryThreshold><value>75</value></MemoryThreshold>"
        "<FlowThreshold><down_speed>50</down_speed><up_speed>x</up_speed></FlowThreshold>"
        "<Anti-Virus-Software><item name=\"AvGuard.EXE\"/><item "
        "name=\"clamd\"/></Anti-Virus-Software></t>");
  settings::Thresholds t = settings::ReadThresholds();
  EXPECT_EQ(t.cpuPercent, 100);
  EXPECT_EQ(t.memoryPercent, 75);
  EXPECT_EQ(t.flowDown, 50);
  EXPECT_EQ(t.flowUp, 0);
  EXPECT_EQ(t.antivirus, (std::vector<std::string>{"avguard.exe", "clamd"}));
}

TEST_F(SettingsFiles, ShippedFilesReadAsDeployed) {
  for (const char* f : {"Config/threshold_config.xml", "Config/area_config.xml", "conf/config.xml",
                        "Config/settings.xml"})
    testsupport::CopyFile(testsupport::SourcePath(std::string("deploy/") + f), At(f));

  settings::Thresholds t = settings::ReadThresholds();
  EXPECT_EQ(t.cpuPercent, 80);
  EXPECT_EQ(t.memoryPercent, 80);
  EXPECT_FALSE(t.antivirus.empty());

  EXPECT_EQ(settings::ReadMunicipalities(),
            (std::vector<std::string>{"市", "地区", "自治州", "盟", "县"}));

  settings::UploadAccount a = settings::ReadUploadAccount();
  EXPECT_EQ(a.dataDir, "/upload");
  EXPECT_EQ(a.host, "127.0.0.1");
  EXPECT_EQ(a.port, "2222");
  EXPECT_EQ(a.userName, "kestrane");
  EXPECT_EQ(a.password, "kestrane-lab");

  std::vector<int> videoIds;
  for (const auto& item : settings::ReadModuleItems(settings::kTemplateFile, settings::kVideo))
    videoIds.push_back(item.id);
  EXPECT_EQ(videoIds, (std::vector<int>{1, 2, 3, 10, 12}));
  EXPECT_TRUE(settings::IsHistoryKept(settings::kTemplateFile));

  std::filesystem::remove(At("conf/config.xml"));
  EXPECT_EQ(settings::ReadUploadAccount().host, "");
}

class SettingsTemplateUpdate : public SettingsFiles {
 protected:
  void SetUp() override {
    SettingsFiles::SetUp();
    CopyFromDist("libUpdater.so");
    std::filesystem::create_directories(At("served/update/Kestrane"));
  }
  // Names of the files the folder saw deleted (IN_DELETE) and moved in (IN_MOVED_TO) while
  // `action` ran.
  void Watch(const std::string& folder, const std::function<void()>& action,
             std::vector<std::string>* deleted, std::vector<std::string>* movedIn) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_GE(inotify_add_watch(fd, folder.c_str(), IN_DELETE | IN_MOVED_TO), 0);
    action();
    alignas(inotify_event) char buffer[16384];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
      for (char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        const std::string name = e->len ? e->name : "";
        if (e->mask & IN_DELETE) deleted->push_back(name);
        if (e->mask & IN_MOVED_TO) movedIn->push_back(name);
        p += sizeof(inotify_event) + e->len;
      }
    }
    close(fd);
  }
  void PointAt(const LabProcess& lab) {
    Write("conf/config.properties", "update_server_path=" + lab.Url("update", "/update/") +
                                        "\napp_name=Kestrane/\nsettings_xml=settings.xml\n");
  }
};

TEST_F(SettingsTemplateUpdate, ReplacesTheTemplateOnlyWithAWholeSettingsFile) {
  LabProcess lab({"--update", "--update-root=" + At("served")});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  PointAt(lab);
  Write("Config/settings.xml", "<old><tasks/></old>");

  // Nothing served: the old template stays.
  EXPECT_FALSE(settings::UpdateSettingsTemplate());
  EXPECT_EQ(Read("Config/settings.xml"), "<old><tasks/></old>");
  EXPECT_FALSE(testsupport::Exists(At("Config/settings_temp.xml")));

  // Something that is no settings document: the old template stays.
  Write("served/update/Kestrane/settings.xml", "<html><body>maintenance</body></html>");
  EXPECT_FALSE(settings::UpdateSettingsTemplate());
  EXPECT_EQ(Read("Config/settings.xml"), "<old><tasks/></old>");

  // The template is never missing, not even for a moment: the checked download is renamed
  // over it (a delete first would lose it for good on a crash or without hard links).
  Write("served/update/Kestrane/settings.xml", Data("merge_template.xml"));
  std::vector<std::string> deleted, movedIn;
  Watch(
      At("Config"), [] { EXPECT_TRUE(settings::UpdateSettingsTemplate()); }, &deleted, &movedIn);
  EXPECT_EQ(std::count(deleted.begin(), deleted.end(), "settings.xml"), 0);
  EXPECT_EQ(std::count(movedIn.begin(), movedIn.end(), "settings.xml"), 1);
  EXPECT_EQ(Read("Config/settings.xml"), Data("merge_template.xml"));
  EXPECT_FALSE(testsupport::Exists(At("Config/settings_temp.xml")));

  // A missing template is never created by the update.
  std::filesystem::remove(At("Config/settings.xml"));
  EXPECT_FALSE(settings::UpdateSettingsTemplate());
  EXPECT_FALSE(testsupport::Exists(At("Config/settings.xml")));
  EXPECT_FALSE(testsupport::Exists(At("Config/settings_temp.xml")));
}

}  // namespace
