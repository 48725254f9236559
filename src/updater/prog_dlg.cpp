#include "updater/prog_dlg.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <cstdlib>

#include "updater/skin_btn.h"
#include "updater/static_ex.h"

CProgDlg::CProgDlg(std::vector<updater::UpdateFileEntry> files, updater::FileFetcher& fetcher,
                   QWidget* parent)
    : CSkinDialog(parent), m_files(std::move(files)), m_fetcher(fetcher) {
  setObjectName("129");
  setFixedSize(kWidth, kHeight);
  SetBackground(CommonImage("update_prog.png"), false);
  onAbandon = [] { std::_Exit(1); };

  const int l = 0, t = 0, r = kWidth, b = kHeight;
  QFont title("微软雅黑");
  title.setPixelSize(12);
  title.setBold(true);
  QFont kai("楷体");
  kai.setPixelSize(12);
  m_title =
      MakeLabel(this, 1007, "Orvessa正在升级", QRect(l + 33, t + 8, 157, 20), title, Qt::black);
  m_totalLabel =
      MakeLabel(this, 1011, "总进度:", QRect(l + 33, t + 60, 57, 15), kai, QColor(10, 10, 10));
  m_percent = MakeLabel(this, 1012, "0%", QRect(l + 75, t + 60, 45, 15), kai, QColor(10, 10, 10));

  auto button = [this](int id, const QRect& geometry, const char* first, const char* other) {
    auto* b = new CSkinBtn(this);
    b->setObjectName(QString::number(id));
    b->setGeometry(geometry);
    b->SetImages(CommonImage(first), CommonImage(other), CommonImage(other), CommonImage(other));
    return b;
  };
  m_close = button(1009, QRect(r - 39, t, 38, 23), "close1(1).png", "close2(1).png");
  m_min = button(1008, QRect(r - 67, t, 29, 20), "min1(1).png", "min2(1).png");
  m_cancel = button(1010, QRect(r - 80, b - 27, 70, 22), "cancel1.png", "cancel2.png");
  m_close->setToolTip("关闭");
  m_min->setToolTip("最小化");
  m_cancel->setToolTip("取消");

  m_progress = new QProgressBar(this);
  m_progress->setObjectName("1006");
  m_progress->setGeometry(l + 33, t + 80, r - l - 66, 10);
  m_progress->setTextVisible(false);
  m_progress->setRange(0, static_cast<int>(m_files.size()));
  m_progress->setValue(0);
  m_progress->setStyleSheet(
      "QProgressBar { border: 1px solid #8fb4e3; background: #ffffff; border-radius: 2px; }"
      "QProgressBar::chunk { background: #2f80d9; }");

  connect(m_min, &QAbstractButton::clicked, this, [this] { showMinimized(); });
  connect(m_close, &QAbstractButton::clicked, this, [this] { Abandon(); });
  connect(m_cancel, &QAbstractButton::clicked, this, [this] { Abandon(); });
}

CProgDlg::~CProgDlg() {
  if (m_worker.joinable()) m_worker.join();
}

void CProgDlg::showEvent(QShowEvent* event) {
  CSkinDialog::showEvent(event);
  if (!m_worker.joinable()) m_worker = std::thread([this] { Work(); });
}

void CProgDlg::Abandon() {
  done(1);
  if (onAbandon) onAbandon();
}

// The download worker: it never touches a widget, it posts each change to the window.
void CProgDlg::Work() {
  int result = 0;
  if (!m_fetcher.Prepare()) {
    result = 1;
  } else {
    int done = 0;
    for (const auto& entry : m_files) {
      if (!m_fetcher.Fetch(entry)) {
        result = 1;
        break;
      }
      ++done;
      QMetaObject::invokeMethod(
          this, [this, done] { ShowDone(done); }, Qt::QueuedConnection);
    }
  }
  QMetaObject::invokeMethod(
      this, [this, result] { done(result); }, Qt::QueuedConnection);
}

void CProgDlg::ShowDone(int done) {
  m_progress->setValue(done);
  const int total = static_cast<int>(m_files.size());
  const int percent = total > 0 ? static_cast<int>(static_cast<double>(done) / total * 100) : 0;
  m_percent->setText(QString::asprintf("%d%%", percent));
  m_percent->repaint();
}
