#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>
#include <string>

#include "history/sqlite_db.h"
#include "ui/screen_page.h"

// The rows of the last read as the list shows them: five columns, one row per history row.
class CHistoryTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetRows(HistoryRecordList rows);
  const HistoryRecordList& Rows() const { return m_rows; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The list callback: the text of column c (0 SpeedTime, 1 sType, 2 SpeedType, 3 sName,
  // 4 sQuota) of row r, at most kMaxCellChars characters; empty for any other cell.
  QString GetItemText(int row, int column) const;

  static constexpr int kColumns = 5;
  static constexpr int kMaxCellChars = 259;

 private:
  HistoryRecordList m_rows;
  int m_count = 0;
};

// The history page ("History_Record.xml"): the user's stored results newest first, their
// number, a search over every column, and the switch that keeps the history past the end of
// the program.
class CHistoryForm : public ui::CScreenPage {
  Q_OBJECT

 public:
  static constexpr const char* kPageClass = "History_Record";
  static constexpr const char* kLayout = "History_Record.xml";
  static constexpr int kRowHeight = 30;
  static constexpr int kSearchBarHeight = 30;

  // Builds the page from its layout; nullptr when the skin lacks it.
  static CHistoryForm* Build(QWidget* parent = nullptr);
  ~CHistoryForm() override;

  // The one page of the program, while it exists.
  static CHistoryForm* Instance();

  // Fills the list: every row newest first for an empty text, else the rows holding the text
  // in any column, in the database's own order.
  void RefreshHistory(const std::string& text = std::string());

  void OnLogin() override;
  // Shown again: the search text is cleared and every row read anew.
  void OnShown() override;

  CHistoryTableModel* Model() const { return m_model; }

 protected:
  explicit CHistoryForm(QWidget* parent);
  void Notify(ui::TNotifyUI& msg) override;

 private:
  void FindControls();
  void ToggleSearchBar();

  CHistoryTableModel* m_model = nullptr;
  QPointer<QWidget> m_list, m_total, m_top, m_search, m_edit, m_keep;
};
