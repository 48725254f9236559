#include "updater/install.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "core/log_file.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "update_client/update_process.h"

namespace updater {
namespace {

struct JournalEntry {
  bool existed = false;
  std::string path;
};

struct Journal {
  bool committed = false;
  bool restart = false;
  std::vector<JournalEntry> entries;
};

std::string Encode(const Journal& j) {
  std::string out = j.committed ? "state=done\n" : "state=install\n";
  out += j.restart ? "restart=1\n" : "restart=0\n";
  for (const auto& e : j.entries)
    out += std::string("file=") + (e.existed ? "1" : "0") + ":" + e.path + "\n";
  return out;
}

bool Decode(const std::string& text, Journal* j) {
  std::istringstream in(text);
  std::string line;
  bool state = false;
  while (std::getline(in, line)) {
    if (line == "state=done" || line == "state=install") {
      j->committed = line == "state=done";
      state = true;
    } else if (line == "restart=1" || line == "restart=0") {
      j->restart = line == "restart=1";
    } else if (line.compare(0, 5, "file=") == 0 && line.size() > 8 && line[6] == ':') {
      j->entries.push_back({line[5] == '1', line.substr(7)});
    } else if (!line.empty()) {
      return false;
    }
  }
  return state;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

void SyncFolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Copies `from` to `to` (created anew) with `mode`, flushed to the disk.
bool CopyFile(const std::string& from, const std::string& to, unsigned mode) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  ::unlink(to.c_str());
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool ok = out >= 0;
  char buf[65536];
  while (ok) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
  }
  if (ok) ok = ::fchmod(out, mode) == 0 && ::fsync(out) == 0;
  if (out >= 0 && ::close(out) != 0) ok = false;
  ::close(in);
  if (!ok) ::unlink(to.c_str());
  return ok;
}

std::string FirstBytes(const std::string& path) {
  char buf[4] = {};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  ssize_t n = ::read(fd, buf, sizeof buf);
  ::close(fd);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool WriteJournal(const Journal& j) {
  bool ok = platform::WriteFileAtomically(kJournal, Encode(j));
  SyncFolderOf(kJournal);
  return ok;
}

// Puts the old set back (or, for a committed journal, drops the kept old files), then removes
// the journal. Safe to repeat after a stop at any point.
bool Undo(const Journal& j) {
  bool ok = true;
  for (const auto& e : j.entries) {
    const std::string target = paths::Native(e.path);
    const std::string old = target + kOldSuffix;
    if (!j.committed) {
      if (e.existed) {
        // The old file is kept under a second name from before its target was replaced; when
        // that name is absent the target was never touched.
        if (Exists(old) && ::rename(old.c_str(), target.c_str()) != 0) ok = false;
      } else if (Exists(target) && ::unlink(target.c_str()) != 0) {
        ok = false;
      }
    }
    ::unlink(old.c_str());  // left behind when it named the same file as the target
    ::unlink((target + kNewSuffix).c_str());
    SyncFolderOf(target);
  }
  if (ok) ok = ::unlink(kJournal) == 0 || errno == ENOENT;
  SyncFolderOf(kJournal);
  return ok;
}

bool HasSegment(const std::string& path, const std::string& segment) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, segment) == 0 && end - start == segment.size())
      return true;
    start = end + 1;
  }
  return false;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

unsigned ModeForNewFile(const std::string& firstBytes) {
  if (firstBytes.compare(0, 4,
                         "\x7f"
                         "ELF") == 0 ||
      firstBytes.compare(0, 2, "#!") == 0)
    return 0755;
  return 0644;
}

std::string StagedPath(const std::string& localPath) {
  return std::string(kStagingFolder) + "/" + paths::Native(localPath);
}

bool IsSafeLocalPath(const std::string& localPath) {
  const std::string p = paths::Native(localPath);
  if (p.empty() || p[0] == '/' || p.back() == '/' || (p.size() >= 2 && p[1] == ':')) return false;
  if (p.find('\0') != std::string::npos) return false;
  if (HasSegment(p, "..") || HasSegment(p, ".") || HasSegment(p, "")) return false;
  // The updater's own work files and folders are not application files.
  const std::string first = p.substr(0, p.find('/'));
  if (first == kStagingFolder || first == "tmp" || p == kJournal || EndsWith(p, kNewSuffix) ||
      EndsWith(p, kOldSuffix) || EndsWith(p, ".lock"))
    return false;
  // Every existing part of the path must stay inside the folder once links are followed.
  char base[PATH_MAX];
  if (!realpath(".", base)) return false;
  const std::string root = base;
  for (size_t pos = 0; pos != std::string::npos;) {
    pos = p.find('/', pos + 1);
    const std::string prefix = p.substr(0, pos);
    struct stat st {};
    if (lstat(prefix.c_str(), &st) != 0) break;  // the rest does not exist yet
    if (!S_ISLNK(st.st_mode)) continue;
    char real[PATH_MAX];
    if (!realpath(prefix.c_str(), real)) return false;  // a dangling link
    const std::string r = real;
    if (r != root && r.compare(0, root.size() + 1, root + "/") != 0) return false;
  }
  return true;
}

bool PlaceFiles(const std::vector<std::string>& localPaths, bool restartKestrane,
                const InstallHooks& hooks) {
  Journal j;
  j.restart = restartKestrane;
  std::vector<std::string> written;
  auto dropWritten = [&] {
    for (const auto& w : written) ::unlink(w.c_str());
  };
  // Every new file beside its target first: a full disk or a bad folder shows here, before
  // anything of the old set changes.
  for (const auto& lp : localPaths) {
    const std::string target = paths::Native(lp);
    const std::string source = StagedPath(lp);
    if (lp.empty() || !IsSafeLocalPath(lp) || !MakeDirsForPath(target)) {
      logs::Write(logs::kDebug, "Update: cannot place %s", lp.c_str());
      dropWritten();
      return false;
    }
    struct stat st {};
    const bool existed = lstat(target.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
      logs::Write(logs::kDebug, "Update: %s is not a file", lp.c_str());
      dropWritten();
      return false;
    }
    struct stat cur {};
    const unsigned mode = existed && stat(target.c_str(), &cur) == 0
                              ? (cur.st_mode & 07777)
                              : ModeForNewFile(FirstBytes(source));
    const std::string beside = target + kNewSuffix;
    if (!CopyFile(source, beside, mode)) {
      logs::Write(logs::kDebug, "Update: cannot write %s", beside.c_str());
      dropWritten();
      return false;
    }
    written.push_back(beside);
    j.entries.push_back({existed, target});
  }
  if (!WriteJournal(j)) {
    dropWritten();
    ::unlink(kJournal);
    return false;
  }
  int renamed = 0;
  for (const auto& e : j.entries) {
    const std::string old = e.path + kOldSuffix;
    bool ok = true;
    if (e.existed) {
      ::unlink(old.c_str());
      ok = ::link(e.path.c_str(), old.c_str()) == 0;
    }
    if (ok) ok = ::rename((e.path + kNewSuffix).c_str(), e.path.c_str()) == 0;
    if (!ok) {
      logs::Write(logs::kDebug, "Update: cannot replace %s; restoring the old files",
                  e.path.c_str());
      Undo(j);
      return false;
    }
    SyncFolderOf(e.path);
    if (hooks.afterRename) hooks.afterRename(++renamed);
  }
  // The new set is whole: from here on a restart keeps it.
  j.committed = true;
  if (!WriteJournal(j)) {
    j.committed = false;
    Undo(j);
    return false;
  }
  Undo(j);
  return true;
}

Recovery RecoverInterruptedInstall(bool* restartKestrane) {
  *restartKestrane = false;
  auto text = platform::ReadWholeFile(kJournal);
  if (!text) return Recovery::None;
  Journal j;
  if (!Decode(*text, &j)) {
    // Written atomically, so a journal we cannot read was not written by us: leave it.
    logs::Write(logs::kDebug, "Update: unreadable %s left as it is", kJournal);
    return Recovery::Failed;
  }
  for (const auto& e : j.entries)
    if (!IsSafeLocalPath(e.path)) return Recovery::Failed;
  // A committed install still had to restart the Kestrane it stopped.
  *restartKestrane = j.restart;
  bool ok = Undo(j);
  logs::Write(logs::kDebug, "Update: interrupted install %s", j.committed ? "finished" : "undone");
  if (!ok) return Recovery::Failed;
  return j.committed ? Recovery::Finished : Recovery::Restored;
}

}  // namespace updater
