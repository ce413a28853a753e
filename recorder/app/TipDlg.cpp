#include "app/TipDlg.h"

#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QFrame>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include "config/ConfigStore.h"
#include "widgets/Icons.h"

namespace tarvexa {

namespace {
bool IsTip(const QByteArray& line) {
  if (line.isEmpty()) return false;
  const char c = line.at(0);
  return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != ';';
}
}  // namespace

QString TipDlg::NextTip(QFile& file, QString* problem) {
  for (int pass = 0; pass < 2; ++pass) {
    while (!file.atEnd()) {
      const QByteArray line = file.readLine(1000);
      if (IsTip(line)) return QString::fromUtf8(line).trimmed();
    }
    if (!file.seek(0)) break;
  }
  *problem = tr("Trouble reading the tips file");
  return QString();
}

TipDlg::TipDlg(const QString& tipsFile, const ConfigStore& store, int skip, QWidget* parent)
    : QDialog(parent), store_(store), file_(tipsFile) {
  setWindowTitle(tr("Tip of the Day"));

  auto* icon = new QLabel(this);
  icon->setPixmap(icons::Program().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  auto* title = new QLabel(tr("Did you know..."), this);
  QFont f = title->font();
  f.setPointSizeF(f.pointSizeF() * 1.3);
  f.setBold(true);
  title->setFont(f);
  tip_ = new QLabel(this);
  tip_->setWordWrap(true);
  tip_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  tip_->setMinimumSize(380, 110);
  tip_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  panel->setAutoFillBackground(true);
  panel->setBackgroundRole(QPalette::Base);
  auto* text = new QVBoxLayout;
  text->addWidget(title);
  text->addWidget(tip_, 1);
  auto* inner = new QHBoxLayout(panel);
  inner->addWidget(icon);
  inner->addLayout(text, 1);

  showAtStart_ = new QCheckBox(tr("&Show tips on startup"), this);
  showAtStart_->setChecked(store_.ReadTip() != 0);
  next_ = new QPushButton(tr("&Next Tip"), this);
  next_->setAutoDefault(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TipDlg::accept);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(showAtStart_);
  bottom->addStretch(1);
  bottom->addWidget(next_);
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel, 1);
  layout->addLayout(bottom);

  if (!file_.open(QIODevice::ReadOnly)) {
    tip_->setText(tr("Tips file does not exist in the prescribed directory"));
    next_->setEnabled(false);
  } else {
    for (int i = 0; i < skip; ++i) {
      QString problem;
      NextTip(file_, &problem);
    }
    ShowNext();
  }
  connect(next_, &QPushButton::clicked, this, &TipDlg::ShowNext);
}

QString TipDlg::TipText() const { return tip_->text(); }

void TipDlg::ShowNext() {
  if (!file_.isOpen()) {
    QApplication::beep();
    return;
  }
  QString problem;
  const QString tip = NextTip(file_, &problem);
  tip_->setText(tip.isEmpty() ? problem : tip);
}

void TipDlg::accept() {
  store_.WriteTip(showAtStart_->isChecked() ? 1 : 0);
  QDialog::accept();
}

}  // namespace tarvexa
