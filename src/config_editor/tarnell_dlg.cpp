#include "config_editor/tarnell_dlg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>
#include <string>
#include <vector>

#include "config_editor/about_dlg.h"
#include "core/properties_file.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "ui/tools/program_icon.h"

namespace {

const char* const kDownloadChoices[] = {"1KB.txt",  "32KB.txt", "64KB.txt", "256KB.txt", "1MB.txt",
                                        "2MB.jpg",  "4MB.jpg",  "8MB.jpg",  "12MB.jpg",  "17MB.jpg",
                                        "23MB.jpg", "30MB.jpg", "56MB.exe", "133MB.rar"};
const char* const kMethodOne = "1 file 1 connect";
const char* const kMethodLong = "long connect";
const char* const kTestFolder = "TestFile";

const char* const kKeyDownload = "url_down_file";
const char* const kKeyUpload = "upload_local_file_path";
const char* const kKeyMethod = "upload_method";

CTarnellDlg::MessageHandler g_messageHandler;

// Lists whose rows are 20 pixels high.
class FixedRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(20);
    return size;
  }
};

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A fresh load of the file for every read, as every user of the file does.
QString Stored(const char* key) { return Utf8(conf::Read(conf::kConfig, key)); }

// Puts a value into an editable box's edit field, selecting the matching choice if there is
// one. Setting the text after the choices are added keeps Qt from showing the first choice.
void ShowValue(QComboBox* box, const QString& value) {
  int index = box->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
  box->setCurrentIndex(index);
  if (index < 0) box->setEditText(value);
}

QComboBox* NewBox(QWidget* parent, int id, QComboBox* box = nullptr) {
  if (!box) box = new QComboBox(parent);
  box->setObjectName(QString::number(id));
  box->setEditable(true);
  // Typed text is saved, never added to the list.
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setMinimumWidth(210);
  return box;
}

QLabel* NewLabel(QWidget* parent, int id, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::number(id));
  return label;
}

// A file or folder that the program must not write: without any write permission bit (which
// even root is held to here), or not writable by this process.
bool ReadOnly(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

struct Field {
  const char* name;
  const char* key;
  QString value;
};

}  // namespace

namespace tarnell {

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 64, 256}) icon.addPixmap(QPixmap::fromImage(skinart::ProgramIcon(size)));
  return icon;
}

QString ShownUploadName(const QString& stored) {
  // Readers accept both separators, so either one ends the folder part.
  int cut = -1;
  for (int i = 0; i < stored.size(); ++i) {
    if (stored[i] == '\\' || stored[i] == '/') {
      cut = i;
      break;
    }
  }
  return cut < 0 ? stored : stored.mid(cut + 1);
}

QString ShownMethod(const QString& stored) {
  if (stored == "m2") return kMethodLong;
  if (stored == "m1") return kMethodOne;
  return stored;
}

QString StoredUploadPath(const QString& shown) { return QString(kTestFolder) + "\\" + shown; }

QString StoredMethod(const QString& shown) {
  if (shown == kMethodLong) return "m2";
  if (shown == kMethodOne) return "m1";
  return shown;
}

QString ValueProblem(const std::string& key, const QString& value) {
  // A line break would split the line on disk; a character GBK cannot hold would become "?";
  // a line past 255 bytes would be cut by the loader, which then stops reading the file.
  if (value.contains('\n') || value.contains('\r')) return "含有换行";
  size_t lost = 0;
  std::string bytes = codepage::Utf8ToGbk(value.toStdString(), &lost);
  if (lost > 0) return "含有无法保存的字符";
  if (key.size() + 1 + bytes.size() > PropertiesFile::kMaxLineBytes)
    return QString("过长（每行最多 %1 字节）").arg(PropertiesFile::kMaxLineBytes);
  return {};
}

}  // namespace tarnell

void CUploadFileCombo::Refill() {
  const QString typed = currentText();
  QStringList names;
  QDir folder(kTestFolder);
  if (folder.exists()) {
    const QStringList entries = folder.entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QString& name : entries) {
      // A name that cannot be stored would not name the file on the next load.
      size_t lost = 0;
      codepage::Utf8ToGbk(name.toStdString(), &lost);
      if (lost == 0) names << name;
    }
  }
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
  });
  const QSignalBlocker block(this);
  clear();
  addItems(names);
  ShowValue(this, typed);
}

void CUploadFileCombo::showPopup() {
  Refill();
  QComboBox::showPopup();
}

CTarnellDlg::CTarnellDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("102");
  setWindowTitle("设置");
  setWindowIcon(tarnell::ProgramIcon());

  m_download = NewBox(this, kIdDownload);
  m_upload = static_cast<CUploadFileCombo*>(NewBox(this, kIdUpload, new CUploadFileCombo(this)));
  m_method = NewBox(this, kIdMethod);
  m_download->setItemDelegate(new FixedRowDelegate(m_download));
  m_method->setItemDelegate(new FixedRowDelegate(m_method));
  for (QComboBox* box : {m_download, static_cast<QComboBox*>(m_upload), m_method})
    box->installEventFilter(this);

  m_save = new QPushButton("保存", this);
  m_save->setObjectName(QString::number(kIdSave));
  m_save->setDefault(true);
  connect(m_save, &QPushButton::clicked, this, &CTarnellDlg::OnSave);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(12);
  grid->addWidget(NewLabel(this, 1005, "下载文件列表 :"), 0, 0);
  grid->addWidget(m_download, 0, 1);
  grid->addWidget(NewLabel(this, 1006, "上传文件列表 :"), 1, 0);
  grid->addWidget(m_upload, 1, 1);
  grid->addWidget(NewLabel(this, 1007, "上传方法 ："), 2, 0);
  grid->addWidget(m_method, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_save);
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(18, 18, 18, 14);
  top->setSpacing(16);
  top->addLayout(grid);
  top->addLayout(buttons);
  top->setSizeConstraint(QLayout::SetFixedSize);

  // Linux desktops give dialogs no system menu; the About command lives in the context menu.
  auto* about = new QAction("关于 Tarnell(&A)...", this);
  about->setObjectName(QString::number(kIdAbout));
  connect(about, &QAction::triggered, this, &CTarnellDlg::ShowAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  OnInitDialog();
}

void CTarnellDlg::OnInitDialog() {
  // Each box reads the file anew.
  QString download = Stored(kKeyDownload);
  for (const char* choice : kDownloadChoices) m_download->addItem(choice);
  ShowValue(m_download, download);

  ShowValue(m_upload, tarnell::ShownUploadName(Stored(kKeyUpload)));

  QString method = tarnell::ShownMethod(Stored(kKeyMethod));
  m_method->addItem(kMethodOne);
  m_method->addItem(kMethodLong);
  ShowValue(m_method, method);
}

bool CTarnellDlg::eventFilter(QObject* watched, QEvent* event) {
  // Enter in a box presses the default button and Esc closes the dialog, as in any dialog,
  // instead of being taken by the box's edit field.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto* box = qobject_cast<QComboBox*>(watched);
    if (box && !box->view()->isVisible() && key->modifiers() == Qt::NoModifier) {
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        m_save->click();
        return true;
      }
      if (key->key() == Qt::Key_Escape) {
        reject();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CTarnellDlg::OnSave() {
  const std::vector<Field> fields = {
      {"下载文件列表", kKeyDownload, m_download->currentText()},
      {"上传文件列表", kKeyUpload, tarnell::StoredUploadPath(m_upload->currentText())},
      {"上传方法", kKeyMethod, tarnell::StoredMethod(m_method->currentText())},
  };

  QStringList refused;
  for (const Field& f : fields) {
    QString problem = tarnell::ValueProblem(f.key, f.value);
    if (!problem.isEmpty()) refused << QString("%1：%2").arg(QString::fromUtf8(f.name), problem);
  }
  if (!refused.isEmpty()) {
    ShowMessage("以下设置无法保存，文件未作改动：\n\n" + refused.join('\n'));
    return;
  }

  const std::string path = paths::Native(conf::kConfig);
  const std::string folder = QFileInfo(QString::fromStdString(path)).path().toStdString();
  const bool writable =
      QFileInfo::exists(QString::fromStdString(path)) && !ReadOnly(path) && !ReadOnly(folder);
  if (writable) {
    PropertiesFile file(conf::kConfig);
    file.Load();
    // The file names are never added: when one is missing, nothing is written, so the user
    // is not left with half of the choice saved.
    QStringList absent;
    for (const Field& f : fields) {
      if (f.key == std::string(kKeyMethod)) continue;
      bool present = false;
      for (const auto& entry : file.Entries()) present = present || entry.first == f.key;
      if (!present) absent << QString::fromUtf8(f.name);
    }
    if (!absent.isEmpty()) {
      ShowMessage("conf\\config.properties 中没有以下设置项，文件未作改动：\n\n" +
                  absent.join('\n'));
      return;
    }
    for (const Field& f : fields) file.Set(f.key, f.value.toStdString());
    // The upload method's home is this file: add it where it is missing.
    file.Add(kKeyMethod, fields[2].value.toStdString());
    file.Save(false);
  }

  // Read the file back: a missing or read-only file, or a write that did not take, loses the
  // values, and the user must hear of it.
  PropertiesFile back(conf::kConfig);
  back.Load();
  QStringList lost;
  for (const Field& f : fields) {
    const std::string want = f.value.toStdString();
    bool took = false;
    for (const auto& [key, value] : back.Entries())
      if (key == f.key) took = value == want;
    if (!took || !writable) lost << QString::fromUtf8(f.name);
  }
  if (!lost.isEmpty())
    ShowMessage("以下设置未能保存：\n\n" + lost.join('\n') +
                "\n\n请确认 conf\\config.properties 存在、可以写入，并含有这些设置项。");
}

void CTarnellDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CTarnellDlg::SetMessageHandler(MessageHandler handler) {
  g_messageHandler = std::move(handler);
}

QMessageBox* CTarnellDlg::NewMessageBox(QWidget* parent, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, "设置", text, QMessageBox::Ok, parent);
  box->button(QMessageBox::Ok)->setText("确定");
  box->setWindowIcon(tarnell::ProgramIcon());
  return box;
}

void CTarnellDlg::ShowMessage(const QString& text) {
  if (g_messageHandler) {
    g_messageHandler(text);
    return;
  }
  QMessageBox* box = NewMessageBox(this, text);
  box->exec();
  delete box;
}
