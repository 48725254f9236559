#include "video/list_void_element_ui.h"

#include <QAbstractButton>

#include "ui/controls.h"

CListVoidElementUI::CListVoidElementUI(QWidget* parent) : ui::CLayoutWidget(parent) {}

CListVoidElementUI* CListVoidElementUI::Build(const QString& url, PlayCallback play,
                                              QWidget* parent) {
  auto* row = new CListVoidElementUI(parent);
  if (!row->CreateFromLayout(kLayout)) {
    delete row;
    return nullptr;
  }
  row->setObjectName(kClassName);
  row->m_play = std::move(play);
  ui::SetText(row->FindControl("Void_Url"), url);
  if (QWidget* label = row->FindControl("Void_Url")) label->setToolTip(url);
  return row;
}

void* CListVoidElementUI::GetInterface(const QString& name) {
  if (name == "ListItem" || name == "ListContainerElement" || name == "ListVoidElement")
    return this;
  return nullptr;
}

QString CListVoidElementUI::Url() const { return ui::Text(FindControl("Void_Url")); }

bool CListVoidElementUI::IsSelected() const { return ui::GetCheck(FindControl("Void_Select_URL")); }

void CListVoidElementUI::Select() {
  ui::SetCheck(FindControl("Void_Select_URL"), true);
  if (m_onSelect) m_onSelect(this);
}

void CListVoidElementUI::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kButtonDown && msg.eventType == ui::kEventButtonDown) {
    Select();
  } else if (msg.sType == ui::kSelectChanged && msg.wParam == 1 &&
             msg.senderName == "Void_Select_URL") {
    if (m_onSelect) m_onSelect(this);
  } else if (msg.sType == ui::kDoubleClick && msg.eventType == ui::kEventDoubleClick &&
             msg.pSender == Root()) {
    // A double click on the address reaches the row itself too: it plays once, from here.
    if (m_play) m_play(Url());
    Select();
  }
}
