#include "windows/wnd_shadow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

#ifdef KESTRANE_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

bool g_initialized = false;
bool g_available = false;

// The window that shows the shadow bitmap as it stands.
class ShadowSurface : public QWidget {
 public:
  explicit ShadowSurface(const QImage* bitmap)
      : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                             Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
        m_bitmap(bitmap) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setObjectName("KestraneShadowWnd");
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, *m_bitmap);
  }

 private:
  const QImage* m_bitmap;
};

#ifdef KESTRANE_HAVE_XCB
// A compositing manager owns the selection "_NET_WM_CM_S<screen>".
bool X11CompositorRunning() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return false;
  const char name[] = "_NET_WM_CM_S0";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
  if (!atom) return false;
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
  bool running = owner && owner->owner != XCB_NONE;
  free(owner);
  free(atom);
  return running;
}
#endif

}  // namespace

bool CWndShadow::Initialize() {
  if (!g_initialized) {
    g_initialized = true;
    g_available = qGuiApp != nullptr;
  }
  return g_available;
}

bool CWndShadow::CompositionDisablesShadow() {
  const QString platform = QGuiApplication::platformName();
  if (platform.startsWith("wayland")) return true;
  if (platform == "xcb") {
#ifdef KESTRANE_HAVE_XCB
    return !X11CompositorRunning();
#else
    return true;
#endif
  }
  return false;
}

CWndShadow::~CWndShadow() {
  if (m_host) m_host->removeEventFilter(this);
  delete m_window.data();
}

bool CWndShadow::Create(QWidget* host) {
  if (!host || m_host || !Initialize()) return false;
  m_host = host;
  m_window = new ShadowSurface(&m_bitmap);
  m_status = kEnabled;
  if (CompositionDisablesShadow()) m_status |= kDisabledByComposition;
  if (HostShowable()) ShowShadow();
  host->installEventFilter(this);
  connect(host, &QObject::destroyed, this, [this] {
    delete m_window.data();
    m_host = nullptr;
    m_status &= ~(kVisible | kHostVisible);
  });
  return true;
}

void CWndShadow::SetSize(int size) {
  m_size = std::clamp(size, -20, 20);
  if (m_status & kVisible) ShowShadow();
}

void CWndShadow::SetSharpness(int sharpness) {
  m_sharpness = std::clamp(sharpness, 0, 20);
  if (m_status & kVisible) ShowShadow();
}

void CWndShadow::SetDarkness(int darkness) {
  m_darkness = std::clamp(darkness, 0, 255);
  if (m_status & kVisible) ShowShadow();
}

void CWndShadow::SetPosition(int x, int y) {
  m_x = std::clamp(x, -20, 20);
  m_y = std::clamp(y, -20, 20);
  if (m_status & kVisible) Place();
}

void CWndShadow::SetColor(const QColor& color) {
  m_color = color;
  if (m_status & kVisible) ShowShadow();
}

void CWndShadow::OnCompositionChanged() {
  if (CompositionDisablesShadow()) {
    m_status |= kDisabledByComposition;
  } else {
    m_status &= ~kDisabledByComposition;
  }
  if (HostShowable()) {
    ShowShadow();
  } else {
    HideShadow();
  }
}

bool CWndShadow::Allowed() const {
  return (m_status & kEnabled) && !(m_status & kDisabledByComposition);
}

bool CWndShadow::HostShowable() const {
  return m_host && Allowed() && m_host->isVisible() && !m_host->isMaximized() &&
         !m_host->isMinimized();
}

QImage CWndShadow::Draw(QSize hostSize, const QRegion& shape, int size, int sharpness, int darkness,
                        const QColor& color) {
  const int grow = std::max(size, 0);
  const int w = hostSize.width() + 2 * grow;
  const int h = hostSize.height() + 2 * grow;
  QImage image(std::max(w, 1), std::max(h, 1), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  if (w <= 0 || h <= 0) return image;

  QRegion region = shape.isEmpty() ? QRegion(QRect(QPoint(0, 0), hostSize)) : shape;
  region = region.translated(grow, grow) & QRect(0, 0, w, h);
  std::vector<uint8_t> inside(static_cast<size_t>(w) * h, 0);
  for (const QRect& r : region)
    for (int y = r.top(); y <= r.bottom(); ++y)
      std::fill_n(inside.begin() + static_cast<size_t>(y) * w + r.left(), r.width(), 1);

  const int radius = std::max(size, sharpness);
  const int inner = size > sharpness ? size - sharpness : 0;
  auto alphaAt = [&](double distance) -> int {
    if (distance <= inner) return darkness;
    if (distance > radius) return 0;
    double a = (1.0 - (distance - inner) / (sharpness + 1.0)) * darkness;
    return std::clamp(static_cast<int>(std::lround(a)), 0, 255);
  };

  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      int alpha;
      if (inside[static_cast<size_t>(y) * w + x]) {
        alpha = darkness;
      } else {
        // Nearest point of the shape within the kernel's radius.
        int best = (radius + 1) * (radius + 1);
        for (int dy = -radius; dy <= radius; ++dy) {
          int yy = y + dy;
          if (yy < 0 || yy >= h || dy * dy >= best) continue;
          const uint8_t* row = inside.data() + static_cast<size_t>(yy) * w;
          for (int dx = -radius; dx <= radius; ++dx) {
            int xx = x + dx;
            int d2 = dx * dx + dy * dy;
            if (xx < 0 || xx >= w || d2 >= best) continue;
            if (row[xx]) best = d2;
          }
        }
        alpha = best > radius * radius ? 0 : alphaAt(std::sqrt(static_cast<double>(best)));
      }
      line[x] = qRgba(color.red() * alpha / 255, color.green() * alpha / 255,
                      color.blue() * alpha / 255, alpha);
    }
  }
  return image;
}

void CWndShadow::Redraw() {
  if (!m_host) return;
  QRect frame = m_host->frameGeometry();
  QPoint inset = m_host->geometry().topLeft() - frame.topLeft();
  QRegion shape = m_host->mask();
  if (!shape.isEmpty()) shape.translate(inset);
  m_bitmap = Draw(frame.size(), shape, m_size, m_sharpness, m_darkness, m_color);
  if (m_window) {
    m_window->resize(m_bitmap.size());
    m_window->update();
  }
}

void CWndShadow::Place() {
  if (!m_host || !m_window) return;
  int grow = std::max(m_size, 0);
  m_window->move(m_host->frameGeometry().topLeft() + QPoint(m_x - grow, m_y - grow));
}

void CWndShadow::ShowShadow() {
  if (!m_window || !HostShowable()) return;
  Redraw();
  Place();
  m_lastSize = m_host->frameGeometry().size();
  bool wasShown = m_window->isVisible();
  m_window->show();
  // A newly shown window lands on top; the host goes back above its shadow.
  if (!wasShown) m_host->raise();
  m_status |= kVisible | kHostVisible;
}

void CWndShadow::HideShadow() {
  if (m_window) m_window->hide();
  m_status &= ~kVisible;
}

bool CWndShadow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_host) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Move:
      if (m_status & kVisible) Place();
      break;
    case QEvent::Resize:
      if (!Allowed()) break;
      if (m_host->isMaximized() || m_host->isMinimized()) {
        HideShadow();
      } else if (m_host->isVisible()) {
        QSize now = m_host->frameGeometry().size();
        if (m_status & kVisible) {
          if (now.width() > m_lastSize.width() || now.height() > m_lastSize.height()) {
            m_needsUpdate = true;
          } else {
            Redraw();
            Place();
          }
        } else {
          ShowShadow();
        }
        m_lastSize = now;
      }
      break;
    case QEvent::Paint:
      if (m_needsUpdate) {
        m_needsUpdate = false;
        Redraw();
        Place();
      }
      break;
    case QEvent::Show:
      m_status |= kHostVisible;
      ShowShadow();
      break;
    case QEvent::Hide:
      m_status &= ~kHostVisible;
      HideShadow();
      break;
    case QEvent::WindowStateChange:
      if (HostShowable()) {
        ShowShadow();
      } else {
        HideShadow();
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}
