#include "auto/settings_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>

#include "core/data_base.h"
#include "core/properties_file.h"
#include "markup/markup_document.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "update_client/download_binding.h"

namespace settings {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// A decimal number, or nothing for text that is not one.
std::optional<int> ParseInt(const std::string& text) {
  std::string t = Trim(text);
  int value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || end != t.data() + t.size() || t.empty()) return std::nullopt;
  return value;
}

bool SafeUserId(const std::string& id) {
  return !id.empty() && id.find('/') == std::string::npos && id.find('\\') == std::string::npos &&
         id.find("..") == std::string::npos && id.find('\0') == std::string::npos;
}

std::string CurrentUserId() { return CDataBase::Instance().GetUserInfo().userId; }

bool Load(MarkupDocument& doc, const std::string& file) {
  return !file.empty() && doc.LoadFile(file);
}

// From the root: finds `tasks` and steps into it.
bool EnterTasks(MarkupDocument& doc) {
  doc.Rewind();
  return doc.FindChild("tasks") && doc.EnterChild();
}

// Within `tasks`: finds the module with that id (compared as text) and steps into it.
bool EnterModuleText(MarkupDocument& doc, const std::string& id) {
  if (!EnterTasks(doc)) return false;
  while (doc.FindChild("module")) {
    if (doc.ChildAttribute("id") == id) return doc.EnterChild();
  }
  return false;
}

// Within `tasks`: finds the module whose id has that value and leaves it at the child position.
bool FindModule(MarkupDocument& doc, int moduleId) {
  if (!EnterTasks(doc)) return false;
  while (doc.FindChild("module")) {
    if (ParseInt(doc.ChildAttribute("id")) == moduleId) return true;
  }
  return false;
}

bool EnterModule(MarkupDocument& doc, int moduleId) {
  return FindModule(doc, moduleId) && doc.EnterChild();
}

// From the root: `outer`/`inner` at the child position.
bool FindPair(MarkupDocument& doc, const char* outer, const char* inner) {
  doc.Rewind();
  return doc.FindChild(outer) && doc.EnterChild() && doc.FindChild(inner);
}

int ReadNumber(MarkupDocument& doc, const char* outer, const char* inner, int fallback) {
  if (!FindPair(doc, outer, inner)) return fallback;
  return ParseInt(doc.ChildText()).value_or(fallback);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool RemoveFile(const std::string& path) { return ::unlink(paths::Native(path).c_str()) == 0; }

bool FileExists(const std::string& path) {
  return ::access(paths::Native(path).c_str(), F_OK) == 0;
}

// Copies without overwriting an existing target (the copy is written beside it, then linked
// into place, which fails when the target exists).
bool CopyNoOverwrite(const std::string& from, const std::string& to) {
  std::string src = paths::Native(from), dst = paths::Native(to);
  if (FileExists(dst)) return false;
  std::FILE* in = std::fopen(src.c_str(), "rb");
  if (!in) return false;
  std::string temp = dst + ".part" + std::to_string(getpid());
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  char buf[65536];
  bool ok = true;
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, in)) > 0) {
    if (std::fwrite(buf, 1, got, out) != got) {
      ok = false;
      break;
    }
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  if (ok) ok = ::link(temp.c_str(), dst.c_str()) == 0;
  ::unlink(temp.c_str());
  return ok;
}

// Renames over an existing file, its content on disk first, so that a crash leaves the old
// file or the new one whole.
bool RenameDurably(const std::string& from, const std::string& to) {
  const std::string src = paths::Native(from), dst = paths::Native(to);
  const int fd = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::rename(src.c_str(), dst.c_str()) != 0) return false;
  const size_t slash = dst.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : dst.substr(0, slash);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::vector<std::string> ChildIds(MarkupDocument& doc, const char* tag, bool idIsElement) {
  std::vector<std::string> ids;
  while (doc.FindChild(tag)) {
    if (idIsElement) {
      if (doc.EnterChild()) {
        ids.push_back(doc.FindChild("id") ? doc.ChildText() : std::string());
        doc.LeaveToParent();
      }
    } else {
      ids.push_back(doc.ChildAttribute("id"));
    }
  }
  doc.ResetChildPos();
  return ids;
}

// Module ids of the template's `tasks`, in file order.
std::vector<std::string> TemplateModuleIds(MarkupDocument& tmpl) {
  if (!EnterTasks(tmpl)) return {};
  return ChildIds(tmpl, "module", false);
}

struct TemplateItem {
  std::string id, selected, name, text;
};

std::vector<TemplateItem> TemplateItems(MarkupDocument& tmpl, const std::string& moduleId) {
  std::vector<TemplateItem> items;
  if (!EnterModuleText(tmpl, moduleId)) return items;
  while (tmpl.FindChild("item")) {
    items.push_back(TemplateItem{tmpl.ChildAttribute("id"), tmpl.ChildAttribute("selected"),
                                 tmpl.ChildAttribute("name"), tmpl.ChildText()});
  }
  return items;
}

void UpdatePass(const std::string& templateFile, const std::string& userFile) {
  MarkupDocument tmpl, user;
  if (!Load(tmpl, templateFile) || !Load(user, userFile)) return;

  for (const std::string& moduleId : TemplateModuleIds(tmpl)) {
    for (const TemplateItem& t : TemplateItems(tmpl, moduleId)) {
      if (!EnterModuleText(user, moduleId)) break;
      while (user.FindChild("item")) {
        if (user.ChildAttribute("id") != t.id) continue;
        if (user.ChildText() != t.text) {
          user.SetChildText(t.text);
          user.SaveFile(userFile);
        }
        if (user.ChildAttribute("name") != t.name) {
          user.SetChildAttribute("name", t.name);
          user.SaveFile(userFile);
        }
        break;
      }
    }
  }

  // autoFile: matched by position, the texts of name, value and id follow the template.
  tmpl.Rewind();
  user.Rewind();
  if (tmpl.FindChild("autoFile") && tmpl.EnterChild() && user.FindChild("autoFile") &&
      user.EnterChild()) {
    while (tmpl.FindChild("item") && user.FindChild("item")) {
      if (!tmpl.EnterChild() || !user.EnterChild()) break;
      for (const char* tag : {"name", "value", "id"}) {
        tmpl.ResetChildPos();
        user.ResetChildPos();
        if (!tmpl.FindChild(tag)) continue;
        std::string text = tmpl.ChildText();
        if (user.FindChild(tag)) {
          if (user.ChildText() == text) continue;
          user.SetChildText(text);
        } else {
          user.AddChildElement(tag, text);
        }
        user.SaveFile(userFile);
      }
      tmpl.LeaveToParent();
      user.LeaveToParent();
    }
  }

  // contband: the same id takes the template's text.
  tmpl.Rewind();
  if (tmpl.FindChild("contband") && tmpl.EnterChild()) {
    while (tmpl.FindChild("bandmap")) {
      std::string id = tmpl.ChildAttribute("id");
      std::string text = tmpl.ChildText();
      user.Rewind();
      if (!user.FindChild("contband") || !user.EnterChild()) break;
      while (user.FindChild("bandmap")) {
        if (user.ChildAttribute("id") != id) continue;
        if (user.ChildText() != text) {
          user.SetChildText(text);
          user.SaveFile(userFile);
        }
        break;
      }
    }
  }
}

void RemovalPass(const std::string& templateFile, const std::string& userFile) {
  MarkupDocument tmpl, user;
  if (!Load(tmpl, templateFile) || !Load(user, userFile)) return;

  for (const std::string& moduleId : TemplateModuleIds(tmpl)) {
    std::set<std::string> keep;
    for (const TemplateItem& t : TemplateItems(tmpl, moduleId)) keep.insert(t.id);
    if (!EnterModuleText(user, moduleId)) continue;
    while (user.FindChild("item")) {
      if (keep.count(user.ChildAttribute("id"))) continue;
      user.RemoveChild();
      user.SaveFile(userFile);
    }
  }

  tmpl.Rewind();
  std::set<std::string> keep;
  if (tmpl.FindChild("autoFile") && tmpl.EnterChild()) {
    for (const std::string& id : ChildIds(tmpl, "item", true)) keep.insert(id);
  }
  user.Rewind();
  if (user.FindChild("autoFile") && user.EnterChild()) {
    while (user.FindChild("item")) {
      std::string id;
      if (user.EnterChild()) {
        id = user.FindChild("id") ? user.ChildText() : std::string();
        user.LeaveToParent();
      }
      if (keep.count(id)) continue;
      user.RemoveChild();
      user.SaveFile(userFile);
    }
  }
}

void AdditionPass(const std::string& templateFile, const std::string& userFile) {
  MarkupDocument tmpl, user;
  if (!Load(tmpl, templateFile) || !Load(user, userFile)) return;

  for (const std::string& moduleId : TemplateModuleIds(tmpl)) {
    for (const TemplateItem& t : TemplateItems(tmpl, moduleId)) {
      if (!EnterModuleText(user, moduleId)) break;
      std::vector<std::string> ids = ChildIds(user, "item", false);
      if (std::find(ids.begin(), ids.end(), t.id) != ids.end()) continue;
      if (user.AddChildElement("item", t.text,
                               {{"id", t.id}, {"selected", t.selected}, {"name", t.name}}))
        user.SaveFile(userFile);
    }
  }
}

// The task file as first created: declaration, CR LF, `auto`/`tasks` with modules 2 and 4.
bool CreateTaskFile(MarkupDocument& doc, const std::string& file) {
  doc.ParseText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
  if (!doc.AddChildElement("auto") || !doc.AddChildElement("tasks") || !doc.EnterChild())
    return false;
  if (!doc.AddChildElement("module", {}, {{"id", "2"}}) ||
      !doc.AddChildElement("module", {}, {{"id", "4"}}))
    return false;
  return doc.SaveFile(file);
}

}  // namespace

std::string UserSettingsFile(const std::string& userId) {
  return SafeUserId(userId) ? "Config\\settings" + userId + ".xml" : std::string();
}
std::string UserSettingsFile() { return UserSettingsFile(CurrentUserId()); }

std::string UserTasksFile(const std::string& userId) {
  return SafeUserId(userId) ? "Config\\tasks" + userId + ".xml" : std::string();
}
std::string UserTasksFile() { return UserTasksFile(CurrentUserId()); }

std::string HintSettingsFile() {
  std::string id = CurrentUserId();
  return SafeUserId(id) ? "Config//settings" + id + ".xml" : std::string();
}

bool IsModuleSelected(int moduleId) { return IsModuleSelected(moduleId, UserSettingsFile()); }

bool IsModuleSelected(int moduleId, const std::string& file) {
  MarkupDocument doc;
  if (!Load(doc, file) || !FindModule(doc, moduleId)) return false;
  return doc.ChildAttribute("selected") == "true";
}

std::vector<ModuleItem> ReadModuleItems(const std::string& file, int moduleId) {
  std::vector<ModuleItem> items;
  MarkupDocument doc;
  if (!Load(doc, file) || !EnterModule(doc, moduleId)) return items;
  while (doc.FindChild("item")) {
    ModuleItem item;
    item.id = ParseInt(doc.ChildAttribute("id")).value_or(0);
    item.selected = doc.ChildAttribute("selected") == "true";
    item.name = doc.ChildAttribute("name");
    item.address = doc.ChildText();
    items.push_back(std::move(item));
  }
  return items;
}

bool IsHistoryKept() { return IsHistoryKept(UserSettingsFile()); }

bool IsHistoryKept(const std::string& file) {
  MarkupDocument doc;
  return Load(doc, file) && FindPair(doc, "history", "bsave") && Trim(doc.ChildText()) == "true";
}

void SetHistoryKept(bool keep) { SetHistoryKept(keep, UserSettingsFile()); }

void SetHistoryKept(bool keep, const std::string& file) {
  MarkupDocument doc;
  if (!Load(doc, file) || !FindPair(doc, "history", "bsave")) return;
  doc.SetChildText(keep ? "true" : "false");
  doc.SaveFile(file);
}

bool IsHintSuppressed() { return IsHintSuppressed(HintSettingsFile()); }

bool IsHintSuppressed(const std::string& file) {
  MarkupDocument doc;
  // A missing or empty file is not written: a bare HintMessage file would pass for the user's
  // settings at the next start.
  if (!Load(doc, file) || doc.ElementCount() == 0) return false;
  doc.Rewind();
  if (doc.FindChild("HintMessage")) {
    doc.EnterChild();
    if (doc.FindChild("IsBool")) return Trim(doc.ChildText()) != "true";
    doc.AddChildElement("IsBool", "true");
    doc.SaveFile(file);
    return false;
  }
  doc.Rewind();
  if (doc.AddChildElement("HintMessage") && doc.EnterChild() &&
      doc.AddChildElement("IsBool", "true"))
    doc.SaveFile(file);
  return false;
}

void SetHintSuppressed() { SetHintSuppressed(HintSettingsFile()); }

void SetHintSuppressed(const std::string& file) {
  MarkupDocument doc;
  if (!Load(doc, file) || doc.ElementCount() == 0) return;
  if (FindPair(doc, "HintMessage", "IsBool")) {
    doc.SetChildText("false");
  } else {
    doc.Rewind();
    if (!doc.FindChild("HintMessage")) {
      doc.Rewind();
      if (!doc.AddChildElement("HintMessage")) return;
    }
    if (!doc.EnterChild() || !doc.AddChildElement("IsBool", "false")) return;
  }
  doc.SaveFile(file);
}

bool SetSelected(const std::string& file, int moduleId, std::optional<int> itemId, bool selected) {
  MarkupDocument doc;
  if (!Load(doc, file) || !FindModule(doc, moduleId)) return false;
  const char* value = selected ? "true" : "false";
  if (!itemId) {
    doc.SetChildAttribute("selected", value);
    return doc.SaveFile(file);
  }
  doc.EnterChild();
  while (doc.FindChild("item")) {
    if (ParseInt(doc.ChildAttribute("id")) == *itemId) {
      doc.SetChildAttribute("selected", value);
      return doc.SaveFile(file);
    }
  }
  return false;
}

std::string NextItemId(const std::string& file, int moduleId) {
  int highest = 0;
  for (const ModuleItem& item : ReadModuleItems(file, moduleId))
    if (item.id > highest) highest = item.id;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", highest + 1);
  return buf;
}

bool DeleteItem(const std::string& file, int moduleId, int itemId) {
  MarkupDocument doc;
  if (!Load(doc, file) || !EnterModule(doc, moduleId)) return false;
  while (doc.FindChild("item")) {
    if (ParseInt(doc.ChildAttribute("id")) == itemId) {
      doc.RemoveChild();
      return doc.SaveFile(file);
    }
  }
  return false;
}

std::string AddItem(const std::string& file, int moduleId, const std::string& name,
                    const std::string& address, bool selected) {
  if (file.empty()) return {};
  MarkupDocument doc;
  // A file without any element (empty, cut) holds nothing to keep: it is made anew too.
  bool loaded = Load(doc, file);
  if (!loaded && FileExists(file)) return {};  // there but unreadable: leave it alone
  if (!loaded || doc.ElementCount() == 0) {
    if (!CreateTaskFile(doc, file)) return {};
  }
  std::string id = NextItemId(file, moduleId);
  if (!EnterModule(doc, moduleId)) {
    // A module the file lacks is added under `tasks`.
    if (!EnterTasks(doc) ||
        !doc.AddChildElement("module", {}, {{"id", std::to_string(moduleId)}}) || !doc.EnterChild())
      return {};
  }
  if (!doc.AddChildElement("item", address,
                           {{"id", id}, {"selected", selected ? "true" : "false"}, {"name", name}}))
    return {};
  return doc.SaveFile(file) ? id : std::string();
}

Thresholds ReadThresholds() { return ReadThresholds(kThresholdFile); }

Thresholds ReadThresholds(const std::string& file) {
  Thresholds t;
  MarkupDocument doc;
  if (!Load(doc, file)) return t;
  t.cpuPercent = ReadNumber(doc, "CPUThreshold", "value", 100);
  t.memoryPercent = ReadNumber(doc, "MemoryThreshold", "value", 100);
  t.flowDown = ReadNumber(doc, "FlowThreshold", "down_speed", 0);
  t.flowUp = ReadNumber(doc, "FlowThreshold", "up_speed", 0);
  doc.Rewind();
  if (doc.FindChild("Anti-Virus-Software") && doc.EnterChild()) {
    while (doc.FindChild("item")) {
      std::string name = Lower(Trim(doc.ChildAttribute("name")));
      if (!name.empty()) t.antivirus.push_back(std::move(name));
    }
  }
  return t;
}

std::vector<std::string> ReadMunicipalities() { return ReadMunicipalities(kAreaFile); }

std::vector<std::string> ReadMunicipalities(const std::string& file) {
  std::vector<std::string> words;
  MarkupDocument doc;
  if (!Load(doc, file)) return words;
  while (doc.FindChild("municipal")) words.push_back(doc.ChildText());
  return words;
}

UploadAccount ReadUploadAccount() { return ReadUploadAccount(kUploadAccountFile); }

UploadAccount ReadUploadAccount(const std::string& file) {
  UploadAccount account;
  MarkupDocument doc;
  if (!Load(doc, file)) return account;
  if (doc.FindChild("dataDir") && doc.EnterChild()) {
    account.dataDir = doc.AttributeValue("dir");
    doc.LeaveToParent();
  }
  doc.Rewind();
  if (doc.FindChild("task") && doc.EnterChild()) {
    auto read = [&](const char* tag) {
      doc.ResetChildPos();
      return doc.FindChild(tag) ? DecodeStoredValue(Trim(doc.ChildText()), kStoredValueKey)
                                : std::string();
    };
    account.host = read("host");
    account.port = read("port");
    account.userName = read("username");
    account.password = read("password");
  }
  return account;
}

std::vector<std::pair<std::string, std::string>> ReadBandMap() {
  return ReadBandMap(UserSettingsFile());
}

std::vector<std::pair<std::string, std::string>> ReadBandMap(const std::string& file) {
  std::vector<std::pair<std::string, std::string>> pairs;
  MarkupDocument doc;
  if (!Load(doc, file)) return pairs;
  if (doc.FindChild("contband") && doc.EnterChild()) {
    while (doc.FindChild("bandmap")) pairs.emplace_back(doc.ChildAttribute("id"), doc.ChildText());
  }
  return pairs;
}

bool UpdateSettingsTemplate() {
  std::string url = conf::Read(conf::kConfig, "update_server_path") +
                    conf::Read(conf::kConfig, "app_name") +
                    conf::Read(conf::kConfig, "settings_xml");
  RemoveFile(kTemplateTempFile);
  int result = CallHttpDownLoad(kTemplateTempFile, url, "");
  if (result != kDownloadOk) {
    RemoveFile(kTemplateTempFile);
    return false;
  }
  // A reply that is no settings document (an error page served with 200, a cut file) must
  // not replace the template every user's settings are merged with.
  MarkupDocument check;
  if (!check.LoadFile(kTemplateTempFile) || !EnterTasks(check)) {
    RemoveFile(kTemplateTempFile);
    return false;
  }
  // The checked file takes the template's place in one rename: the template is never missing,
  // neither half way nor on a file system without hard links. A missing template is not
  // created here.
  bool updated = false;
  if (FileExists(kTemplateFile)) updated = RenameDurably(kTemplateTempFile, kTemplateFile);
  if (!updated) RemoveFile(kTemplateTempFile);
  return updated;
}

void MergeTemplateInto(const std::string& templateFile, const std::string& userFile) {
  UpdatePass(templateFile, userFile);
  RemovalPass(templateFile, userFile);
  AdditionPass(templateFile, userFile);
}

void PrepareUserSettings(const std::string& userId) {
  std::string relative = UserSettingsFile(userId);
  if (relative.empty()) return;
  std::string full = platform::ProgramFolder() + "/Config/settings" + userId + ".xml";
  if (!FileExists(full)) {
    CopyNoOverwrite(kTemplateFile, relative);
    return;
  }
  MergeTemplateInto(kTemplateFile, relative);
}

}  // namespace settings
