#include "apps/kestrane/screen_table.h"

#include <functional>
#include <map>

#include "apps/kestrane/handle_speed_form.h"
#include "bandwidth/network_form.h"
#include "filedown/file_down_ui.h"
#include "history/history_form.h"
#include "windows/seting_form.h"
#include "webpage/web_speed_form.h"
#include "video/void_speed_form.h"

namespace screens {
namespace {

using Factory = std::function<ui::CScreenPage*(QWidget* parent)>;

const std::map<QString, Factory>& Table() {
  static const std::map<QString, Factory> table = {
      {"Handle_Speed_Page",
       [](QWidget* parent) -> ui::CScreenPage* {
         auto* page = new CHandleSpeedForm(parent);
         page->Create();
         return page;
       }},
      {"NetWork", [](QWidget* parent) -> ui::CScreenPage* { return new CNetWorkForm(parent); }},
      {CFileDownUI::kPageClass,
       [](QWidget* parent) -> ui::CScreenPage* { return CFileDownUI::Build(parent); }},
      {CHistoryForm::kPageClass,
       [](QWidget* parent) -> ui::CScreenPage* { return CHistoryForm::Build(parent); }},
      {CSetingForm::kPageClass,
       [](QWidget* parent) -> ui::CScreenPage* { return CSetingForm::Build(parent); }},
      {CWebSpeedForm::kPageClass,
       [](QWidget* parent) -> ui::CScreenPage* { return CWebSpeedForm::Build(parent); }},
      {CVoidSpeedForm::kPageClass,
       [](QWidget* parent) -> ui::CScreenPage* { return CVoidSpeedForm::Build(parent); }},
  };
  return table;
}

}  // namespace

ui::CScreenPage* Create(const QString& className, QWidget* parent) {
  auto it = Table().find(className);
  return it == Table().end() ? nullptr : it->second(parent);
}

bool Known(const QString& className) { return Table().count(className) != 0; }

}  // namespace screens
