#include "windows/about_from.h"

#include <QCoreApplication>

#include "core/properties_file.h"
#include "platform/process.h"
#include "ui/controls.h"
#include "windows/secondary_window.h"

CAboutFrom::CAboutFrom(QWidget* parent) : ui::CWindowWnd(parent) {
  m_open = [](const std::string& url) { return platform::OpenPage(url); };
}

bool CAboutFrom::Create() { return ui::CWindowWnd::Create("About.xml", "About"); }

std::string CAboutFrom::VendorSite() {
  std::string url = conf::Read(conf::kConfig, "vendor_site_url");
  return url == "null" ? std::string() : url;
}

void CAboutFrom::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty()) ui::SetText(FindControl("About_Version_Lab"), "版本 " + version);
    ui::SetVisible(FindControl("About_Url_btn"), !VendorSite().empty());
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "About_close_btn") {
      Close(1);
    } else if (msg.senderName == "About_Url_btn") {
      std::string site = VendorSite();
      if (!site.empty()) m_open(site);
    }
  }
}

int CAboutFrom::Show(QWidget* opener) {
  auto* w = new CAboutFrom(opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, QPoint(70, 180));
}
