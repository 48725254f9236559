#pragma once

#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <string>

class QMessageBox;
class QPushButton;

// The upload file box: its list is read from "TestFile\" anew every time it drops down.
class CUploadFileCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;

  // Lists the entries of "TestFile\" (folders included), keeping the typed text.
  void Refill();

  void showPopup() override;
};

// The configuration editor: the bandwidth test's download file, upload file and upload method
// in "conf\config.properties". Controls carry their dialog ids as object names.
class CTarnellDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kIdDownload = 1000;
  static constexpr int kIdUpload = 1001;
  static constexpr int kIdSave = 1004;
  static constexpr int kIdMethod = 1008;
  static constexpr int kIdAbout = 16;

  explicit CTarnellDlg(QWidget* parent = nullptr);

  QComboBox* DownloadBox() const { return m_download; }
  CUploadFileCombo* UploadBox() const { return m_upload; }
  QComboBox* MethodBox() const { return m_method; }
  QPushButton* SaveButton() const { return m_save; }

  // The click on "保存": checks the three values, writes them, reads the file back.
  void OnSave();
  // The About box, modal.
  void ShowAbout();

  // Messages go to a modal box, or to this handler when one is set (tests, screenshots).
  using MessageHandler = std::function<void(const QString& text)>;
  static void SetMessageHandler(MessageHandler handler);
  // The box a message is shown in, not yet shown.
  static QMessageBox* NewMessageBox(QWidget* parent, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnInitDialog();
  void ShowMessage(const QString& text);

  QComboBox* m_download = nullptr;
  CUploadFileCombo* m_upload = nullptr;
  QComboBox* m_method = nullptr;
  QPushButton* m_save = nullptr;
};

namespace tarnell {

// The program icon, drawn.
QIcon ProgramIcon();

// The values as the dialog shows and stores them.
QString ShownUploadName(const QString& stored);
QString ShownMethod(const QString& stored);
QString StoredUploadPath(const QString& shown);
QString StoredMethod(const QString& shown);

// Why a value cannot be stored under `key` without damage to the file, or an empty text.
QString ValueProblem(const std::string& key, const QString& value);

}  // namespace tarnell
