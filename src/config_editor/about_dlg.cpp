#include "config_editor/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config_editor/tarnell_dlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("100");
  setWindowTitle("关于 Tarnell");
  setWindowIcon(tarnell::ProgramIcon());

  auto* icon = new QLabel(this);
  icon->setPixmap(tarnell::ProgramIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);
  auto* name = new QLabel("Tarnell，1.0 版", this);
  name->setObjectName("Version");
  auto* ok = new QPushButton("确定", this);
  ok->setObjectName("1");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->setSpacing(16);
  row->addWidget(icon);
  row->addWidget(name, 1);
  row->addWidget(ok, 0, Qt::AlignTop);
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(14, 14, 14, 14);
  top->addLayout(row);
  top->setSizeConstraint(QLayout::SetFixedSize);
}
