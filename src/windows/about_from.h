#pragma once

#include <functional>
#include <string>

#include "ui/window.h"

// The About window ("About.xml", window name "About"): the program's name and version, and a
// link to the vendor's site ("vendor_site_url" of "conf\config.properties").
class CAboutFrom : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CAboutFrom(QWidget* parent = nullptr);
  bool Create();
  // Builds the window and shows it modally at (70, 180) of the opener.
  static int Show(QWidget* opener);

  // Opens an address in the browser; xdg-open unless replaced.
  void SetPageOpener(std::function<bool(const std::string&)> open) { m_open = std::move(open); }

  // The configured site; empty when none ("null" or empty).
  static std::string VendorSite();

 protected:
  void Notify(ui::TNotifyUI& msg) override;

 private:
  std::function<bool(const std::string&)> m_open;
};
