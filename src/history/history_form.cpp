#include "history/history_form.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableView>
#include <algorithm>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "history/history_record.h"
#include "ui/controls.h"

namespace {

CHistoryForm* g_page = nullptr;

const char* const kHeaders[CHistoryTableModel::kColumns] = {"测速时间", "测速方式", "测速类型",
                                                            "测速对象", "测速结果"};
const int kColumnWidths[CHistoryTableModel::kColumns] = {170, 90, 110, 300, 0};

}  // namespace

void CHistoryTableModel::SetRows(HistoryRecordList rows) {
  beginResetModel();
  m_rows = std::move(rows);
  // A short column (a read that stopped half way) never makes a row point past its end.
  size_t n = std::min({m_rows.SpeedTime.size(), m_rows.sType.size(), m_rows.SpeedType.size(),
                       m_rows.sName.size(), m_rows.sQuota.size()});
  m_count = static_cast<int>(std::min<size_t>(n, static_cast<size_t>(std::max(m_rows.count, 0))));
  endResetModel();
}

int CHistoryTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_count;
}

int CHistoryTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QString CHistoryTableModel::GetItemText(int row, int column) const {
  if (row < 0 || row >= m_count) return {};
  const std::vector<std::string>* columns[kColumns] = {
      &m_rows.SpeedTime, &m_rows.sType, &m_rows.SpeedType, &m_rows.sName, &m_rows.sQuota};
  if (column < 0 || column >= kColumns) return {};
  return QString::fromStdString((*columns[column])[static_cast<size_t>(row)]).left(kMaxCellChars);
}

QVariant CHistoryTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return GetItemText(index.row(), index.column());
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QVariant CHistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= kColumns) return {};
  return QString::fromUtf8(kHeaders[section]);
}

CHistoryForm::CHistoryForm(QWidget* parent) : ui::CScreenPage(parent) {}

CHistoryForm* CHistoryForm::Build(QWidget* parent) {
  auto* page = new CHistoryForm(parent);
  if (!page->CreateFromLayout(kLayout)) {
    delete page;
    return nullptr;
  }
  page->FindControls();
  g_page = page;
  return page;
}

CHistoryForm::~CHistoryForm() {
  if (g_page == this) g_page = nullptr;
}

CHistoryForm* CHistoryForm::Instance() { return g_page; }

void CHistoryForm::FindControls() {
  m_list = FindControl("History_Record_list");
  m_total = FindControl("History_Total_lab");
  m_top = FindControl("History_top_ver");
  m_search = FindControl("History_Search_ver");
  m_edit = FindControl("Histroy_Sel_edit");
  m_keep = FindControl("Set_AutoSpeed_check");
  ui::SetVisible(m_search, false);

  m_model = new CHistoryTableModel(this);
  if (auto* view = qobject_cast<QTableView*>(m_list.data())) {
    view->setModel(m_model);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setMinimumSectionSize(kRowHeight);
    view->verticalHeader()->setDefaultSectionSize(kRowHeight);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = view->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    for (int c = 0; c < CHistoryTableModel::kColumns; ++c)
      if (kColumnWidths[c] > 0) view->setColumnWidth(c, kColumnWidths[c]);
  }
}

void CHistoryForm::RefreshHistory(const std::string& text) {
  if (m_keep) {
    const QSignalBlocker quiet(m_keep.data());
    ui::SetCheck(m_keep, settings::IsHistoryKept());
  }
  HistoryRecordList rows;
  int count = 0;
  // Before a login there is no user's history to open (opening would create a stray file).
  if (!CDataBase::Instance().GetUserInfo().userId.empty())
    count = text.empty() ? ReadHistoryRecords(rows) : SearchHistoryRecords(text, rows);
  if (count <= 0) rows.Clear();
  rows.count = std::max(count, 0);
  if (m_model) m_model->SetRows(std::move(rows));
  // A search that finds nothing shows 0, not the total of the rows it no longer lists.
  const int shown = m_model ? m_model->rowCount() : 0;
  ui::SetText(m_total, QString::fromUtf8("总数为： %1").arg(shown));
}

void CHistoryForm::OnLogin() { RefreshHistory(); }

void CHistoryForm::OnShown() {
  ui::SetText(m_edit, QString());
  RefreshHistory();
}

void CHistoryForm::ToggleSearchBar() {
  if (!m_search || !m_top) return;
  const bool shown = !m_search->isHidden();
  const int height = m_top->maximumHeight() + (shown ? -kSearchBarHeight : kSearchBarHeight);
  ui::SetVisible(m_search, !shown);
  m_top->setFixedHeight(height);
  if (!shown && m_edit) m_edit->setFocus();
}

void CHistoryForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kTextChanged && msg.senderName == "Histroy_Sel_edit") {
    RefreshHistory(ui::Text(msg.pSender).toStdString());
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "History_Search_btn") {
      ToggleSearchBar();
    } else if (msg.senderName == "Set_AutoSpeed_check") {
      // The box has already changed: its state is the new wish. It then shows what the file
      // holds, which stays as it was when the write could not be made.
      settings::SetHistoryKept(ui::GetCheck(msg.pSender));
      const QSignalBlocker quiet(msg.pSender.data());
      ui::SetCheck(msg.pSender, settings::IsHistoryKept());
    }
  }
}
