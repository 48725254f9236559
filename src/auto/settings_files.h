#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The user's test choices and the environment thresholds, kept in small XML files under
// "Config" (and the upload account under "conf"). Every call opens its file, walks it and
// closes it again; nothing is cached, so a change written by one screen is seen by the next test.
// A file that cannot be loaded is treated as empty: the documented defaults apply.
namespace settings {

// Module ids.
inline constexpr int kBandwidth = 1;
inline constexpr int kWebPage = 2;
inline constexpr int kVideo = 3;
inline constexpr int kFileDown = 4;

// File names relative to the program folder.
inline constexpr const char* kTemplateFile = "Config\\settings.xml";
inline constexpr const char* kTemplateTempFile = ".\\Config\\settings_temp.xml";
inline constexpr const char* kThresholdFile = "Config\\threshold_config.xml";
inline constexpr const char* kAreaFile = "Config\\area_config.xml";
inline constexpr const char* kUploadAccountFile = "conf\\config.xml";

// "Config\settings" + userid + ".xml" and "Config\tasks" + userid + ".xml"; without an argument
// for the logged-in user. An id that could leave the folder ("/", "\", "..") gives an empty name,
// which every operation treats as a missing file.
std::string UserSettingsFile();
std::string UserSettingsFile(const std::string& userId);
std::string UserTasksFile();
std::string UserTasksFile(const std::string& userId);
// The hint switch spells the same file "Config//settings" + userid + ".xml".
std::string HintSettingsFile();

struct ModuleItem {
  int id = 0;
  bool selected = false;
  std::string name;
  std::string address;
};

struct Thresholds {
  int cpuPercent = 100;
  int memoryPercent = 100;
  int flowDown = 0;                    // KB/s
  int flowUp = 0;                      // KB/s
  std::vector<std::string> antivirus;  // process names, lower-cased
};

struct UploadAccount {
  std::string dataDir;  // remote folder the packages go into
  std::string host;
  std::string port;
  std::string userName;
  std::string password;
};

// True when the user's settings hold a `module` with that id whose `selected` is "true".
bool IsModuleSelected(int moduleId);
bool IsModuleSelected(int moduleId, const std::string& file);

// Items of a module of the user's settings or task file, in file order.
std::vector<ModuleItem> ReadModuleItems(const std::string& file, int moduleId);

// `history`/`bsave`: keep the test history when the program ends.
bool IsHistoryKept();
bool IsHistoryKept(const std::string& file);
// Writes into an existing `history`/`bsave` only.
void SetHistoryKept(bool keep);
void SetHistoryKept(bool keep, const std::string& file);

// `HintMessage`/`IsBool`: true when the hint window is not to be shown. A settings file without
// `HintMessage` gets it with `IsBool` "true" (and the answer is false).
bool IsHintSuppressed();
bool IsHintSuppressed(const std::string& file);
// The hint window's don't-show-again choice: `IsBool` becomes "false".
void SetHintSuppressed();
void SetHintSuppressed(const std::string& file);

// `selected` of the module (no item id) or of its item with that id; saves. False when the
// file or the element is missing.
bool SetSelected(const std::string& file, int moduleId, std::optional<int> itemId, bool selected);

// Highest item id of the module plus 1, as decimal text ("1" for an empty or missing module).
std::string NextItemId(const std::string& file, int moduleId);

// Removes the module's item with that id; saves. False when nothing was removed.
bool DeleteItem(const std::string& file, int moduleId, int itemId);

// Appends an item (text = address, id = NextItemId, selected, name) to the module, creating the
// task file when it is missing. Returns the new item's id, or empty on failure.
std::string AddItem(const std::string& file, int moduleId, const std::string& name,
                    const std::string& address, bool selected = true);

Thresholds ReadThresholds();
Thresholds ReadThresholds(const std::string& file);

// `municipal` texts of "Config\area_config.xml", in file order.
std::vector<std::string> ReadMunicipalities();
std::vector<std::string> ReadMunicipalities(const std::string& file);

// "conf\config.xml": the remote folder and the unscrambled host, port, account and password.
UploadAccount ReadUploadAccount();
UploadAccount ReadUploadAccount(const std::string& file);

// (`id`, text) pairs of `contband`/`bandmap` in the user's settings.
std::vector<std::pair<std::string, std::string>> ReadBandMap();
std::vector<std::pair<std::string, std::string>> ReadBandMap(const std::string& file);

// At main-window start: fetches the settings template from the update server
// (`update_server_path` + `app_name` + `settings_xml` of "conf\config.properties") and replaces
// "Config\settings.xml" with it. True when the template was replaced.
bool UpdateSettingsTemplate();

// Right after: creates the user's settings as a copy of the template, or brings an existing one
// in line with it (update, removal and addition passes, saving after each change).
void PrepareUserSettings(const std::string& userId);

// The three passes on their own, for explicit files.
void MergeTemplateInto(const std::string& templateFile, const std::string& userFile);

}  // namespace settings
