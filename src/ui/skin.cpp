#include "ui/skin.h"

#include <signal.h>
#include <unistd.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <cerrno>
#include <memory>
#include <mutex>

namespace ui {

namespace {

std::mutex g_lock;
std::unique_ptr<QTemporaryDir> g_folder;

QString Normalized(const QString& name) {
  QString n = name;
  n.replace('\\', '/');
  while (n.startsWith('/')) n.remove(0, 1);
  return n;
}

// An entry name that would land outside the unpack folder is refused.
bool SafeEntryName(const QString& name) {
  if (name.isEmpty() || name.startsWith('/')) return false;
  for (const QString& part : name.split('/'))
    if (part == "..") return false;
  return true;
}

bool Unpack(const QString& zipPath, const QString& target) {
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(zipPath).constData(), ZIP_RDONLY, &error);
  if (!archive) return false;
  bool ok = true;
  zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count && ok; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, i, 0, &st) != 0) continue;
    QString name = Normalized(QString::fromUtf8(st.name));
    if (!SafeEntryName(name)) continue;
    QString path = target + "/" + name;
    if (name.endsWith('/')) {
      QDir().mkpath(path);
      continue;
    }
    QDir().mkpath(QFileInfo(path).path());
    zip_file_t* in = zip_fopen_index(archive, i, 0);
    if (!in) continue;
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) {
      char buffer[16384];
      zip_int64_t n;
      while ((n = zip_fread(in, buffer, sizeof buffer)) > 0) out.write(buffer, n);
      if (n < 0) ok = false;
    } else {
      ok = false;
    }
    zip_fclose(in);
  }
  zip_close(archive);
  return ok;
}

// Unpack folders are named after the process; a process that ended without cleaning up (the
// login window's close button ends it at once) leaves one behind, removed at the next start.
void RemoveStaleFolders() {
  QDir temp(QDir::tempPath());
  const QStringList names = temp.entryList({"kestrane-skin-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& name : names) {
    bool ok = false;
    qint64 pid = name.section('-', 2, 2).toLongLong(&ok);
    if (!ok || pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    QDir(temp.filePath(name)).removeRecursively();
  }
}

QString Folder() {
  std::lock_guard lock(g_lock);
  return g_folder ? g_folder->path() : QString();
}

}  // namespace

bool SetResourceZip(const QString& zipPath) {
  RemoveStaleFolders();
  auto folder = std::make_unique<QTemporaryDir>(
      QString("%1/kestrane-skin-%2-XXXXXX").arg(QDir::tempPath()).arg(::getpid()));
  if (!folder->isValid()) return false;
  if (!Unpack(zipPath, folder->path())) return false;
  std::lock_guard lock(g_lock);
  QDir::setSearchPaths("skin", {folder->path()});
  g_folder = std::move(folder);
  return true;
}

bool HasSkin() { return !Folder().isEmpty(); }

QString SkinFilePath(const QString& name) {
  QString folder = Folder();
  QString n = Normalized(name);
  if (folder.isEmpty() || !SafeEntryName(n)) return {};
  QString path = folder + "/" + n;
  return QFileInfo(path).isFile() ? path : QString();
}

bool SkinFileExists(const QString& name) { return !SkinFilePath(name).isEmpty(); }

QByteArray ReadSkinFile(const QString& name) {
  QFile file(SkinFilePath(name));
  if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* name : {"icon16.png", "icon32.png", "icon64.png", "icon256.png"}) {
    QString path = SkinFilePath(name);
    if (!path.isEmpty()) icon.addFile(path);
  }
  return icon;
}

void SetupFonts() {
  const QStringList families = QFontDatabase::families();
  for (const char* face : {"Noto Sans CJK SC", "Noto Sans SC", "WenQuanYi Micro Hei"}) {
    if (families.contains(face)) {
      QFont::insertSubstitution("微软雅黑", face);
      QFont::insertSubstitution("Microsoft YaHei", face);
      QFont::insertSubstitution("宋体", face);
      break;
    }
  }
}

}  // namespace ui
