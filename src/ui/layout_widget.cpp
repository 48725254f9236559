#include "ui/layout_widget.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/dialog_builder.h"
#include "ui/skin.h"

namespace ui {

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const char kBoundProperty[] = "_kestrane_bound";

class MessageEvent : public QEvent {
 public:
  MessageEvent(int message, qintptr w, qintptr l)
      : QEvent(kMessageEvent), message(message), wParam(w), lParam(l) {}
  int message;
  qintptr wParam;
  qintptr lParam;
};

QString LayoutBaseName(const QString& layout) {
  QString base = layout;
  base.replace('\\', '/');
  int dot = base.lastIndexOf('.');
  return dot > 0 ? base.left(dot) : base;
}

}  // namespace

CLayoutWidget::CLayoutWidget(QWidget* parent) : QWidget(parent) {}

CLayoutWidget::~CLayoutWidget() = default;

bool CLayoutWidget::CreateFromLayout(const QString& layout) {
  CDialogBuilder builder;
  QWidget* root = builder.Create(
      layout, [this](const QString& cls, QWidget* parent) { return CreateControl(cls, parent); },
      this);
  if (!root) return false;
  m_root = root;

  QString sheet = QString::fromUtf8(ReadSkinFile("style.qss"));
  sheet += QString::fromUtf8(ReadSkinFile(LayoutBaseName(layout) + ".qss"));
  if (!sheet.isEmpty()) setStyleSheet(sheet);

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->addWidget(root);
  if (root->minimumSize() == root->maximumSize()) {
    setFixedSize(root->minimumSize());
  } else {
    resize(root->size());
  }
  if (!root->windowTitle().isEmpty()) setWindowTitle(root->windowTitle());

  BindControls(root);
  if (!InitOnFirstShow()) QueueWindowInit();
  return true;
}

QWidget* CLayoutWidget::FindControl(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  if (m_root && m_root->objectName() == name) return m_root;
  return findChild<QWidget*>(name);
}

void CLayoutWidget::BindControls(QWidget* root) {
  QList<QWidget*> pending{root};
  while (!pending.isEmpty()) {
    QWidget* w = pending.takeFirst();
    if (w != root && w != this && qobject_cast<CLayoutWidget*>(w)) continue;
    for (QObject* child : w->children())
      if (auto* cw = qobject_cast<QWidget*>(child)) pending.append(cw);
    // Unnamed and Qt's own inner widgets (combo box editors, scroll viewports) stay silent.
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith("qt_") || w->property(kBoundProperty).toBool()) continue;
    w->setProperty(kBoundProperty, true);
    w->installEventFilter(this);
    QPointer<QWidget> sender(w);
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      connect(button, &QAbstractButton::clicked, this,
              [this, sender] { SendNotify(kClick, sender); });
      if (button->isCheckable())
        connect(button, &QAbstractButton::toggled, this,
                [this, sender](bool on) { SendNotify(kSelectChanged, sender, on ? 1 : 0); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      connect(combo, &QComboBox::currentIndexChanged, this,
              [this, sender](int index) { SendNotify(kItemSelect, sender, index); });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      connect(list, &QListWidget::currentRowChanged, this,
              [this, sender](int row) { SendNotify(kItemSelect, sender, row); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      connect(edit, &QLineEdit::textEdited, this,
              [this, sender] { SendNotify(kTextChanged, sender); });
      connect(edit, &QLineEdit::returnPressed, this,
              [this, sender] { SendNotify(kReturn, sender); });
    } else if (auto* text = qobject_cast<QTextEdit*>(w)) {
      connect(text, &QTextEdit::textChanged, this,
              [this, sender] { SendNotify(kTextChanged, sender); });
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
      connect(plain, &QPlainTextEdit::textChanged, this,
              [this, sender] { SendNotify(kTextChanged, sender); });
    }
  }
}

void CLayoutWidget::SetTimer(int id, int ms) {
  QTimer*& timer = m_timers[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
  }
  timer->start(ms);
}

void CLayoutWidget::KillTimer(int id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  it.value()->stop();
  it.value()->deleteLater();
  m_timers.erase(it);
}

bool CLayoutWidget::HasTimer(int id) const { return m_timers.contains(id); }

void CLayoutWidget::PostMessage(int message, qintptr wParam, qintptr lParam) {
  QCoreApplication::postEvent(this, new MessageEvent(message, wParam, lParam));
}

void CLayoutWidget::SendNotify(const QString& type, QWidget* sender, int wParam, int eventType) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.senderName = sender ? sender->objectName() : QString();
  msg.wParam = wParam;
  msg.eventType = eventType;
  Notify(msg);
}

QWidget* CLayoutWidget::CreateControl(const QString&, QWidget*) { return nullptr; }
void CLayoutWidget::Notify(TNotifyUI&) {}
void CLayoutWidget::OnTimer(int) {}
bool CLayoutWidget::HandleMessage(int, qintptr, qintptr) { return false; }

bool CLayoutWidget::event(QEvent* event) {
  if (event->type() == kMessageEvent) {
    auto* m = static_cast<MessageEvent*>(event);
    HandleMessage(m->message, m->wParam, m->lParam);
    return true;
  }
  return QWidget::event(event);
}

bool CLayoutWidget::eventFilter(QObject* watched, QEvent* event) {
  auto* w = qobject_cast<QWidget*>(watched);
  if (w) {
    switch (event->type()) {
      case QEvent::FocusIn:
        SendNotify(kSetFocus, w);
        break;
      case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
          SendNotify(kButtonDown, w, 0, kEventButtonDown);
        break;
      case QEvent::MouseButtonDblClick:
        SendNotify(kDoubleClick, w, 0, kEventDoubleClick);
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CLayoutWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (InitOnFirstShow()) QueueWindowInit();
}

void CLayoutWidget::QueueWindowInit() {
  if (m_initQueued) return;
  m_initQueued = true;
  QPointer<CLayoutWidget> self(this);
  QMetaObject::invokeMethod(
      this,
      [self] {
        if (!self) return;
        self->SendNotify(kWindowInit, self->m_root ? self->m_root : self.data());
        if (self) self->m_initDone = true;
      },
      Qt::QueuedConnection);
}

}  // namespace ui
