#pragma once

#include <QString>
#include <functional>

#include "ui/layout_widget.h"

// One row of the video page's address list ("Void_List.xml"): the media address in "Void_Url"
// and the option "Void_Select_URL". A press selects the row; a double click plays its address.
class CListVoidElementUI : public ui::CLayoutWidget {
  Q_OBJECT

 public:
  using PlayCallback = std::function<void(const QString& url)>;

  static constexpr const char* kLayout = "Void_List.xml";
  static constexpr const char* kClassName = "ListVoidElementUI";

  // Builds the row; nullptr when the skin lacks its layout.
  static CListVoidElementUI* Build(const QString& url, PlayCallback play,
                                   QWidget* parent = nullptr);

  QString GetClass() const { return kClassName; }
  // This row for "ListItem", "ListContainerElement" and "ListVoidElement", else nullptr.
  void* GetInterface(const QString& name);

  QString Url() const;
  bool IsSelected() const;
  void Select();
  // Called when the row is selected (the list keeps one selected row).
  void SetSelectHandler(std::function<void(CListVoidElementUI*)> handler) {
    m_onSelect = std::move(handler);
  }

 protected:
  explicit CListVoidElementUI(QWidget* parent);
  void Notify(ui::TNotifyUI& msg) override;

 private:
  PlayCallback m_play;
  std::function<void(CListVoidElementUI*)> m_onSelect;
};
