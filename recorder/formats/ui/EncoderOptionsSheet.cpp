#include "formats/ui/EncoderOptionsSheet.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QFrame>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStackedWidget>
#include <QtWidgets/QTreeWidget>
#include <QtWidgets/QTreeWidgetItemIterator>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"
#include "formats/ui/pages/EncoderPages.h"

namespace tarvexa {

namespace {
constexpr int kTitleRole = Qt::UserRole;

QString LastPart(const QString& title) {
  const int cut = title.lastIndexOf(QStringLiteral("::"));
  return cut < 0 ? title : title.mid(cut + 2);
}
}  // namespace

EncoderOptionsSheet::EncoderOptionsSheet(Settings& settings, LogSink log,
                                         std::function<void()> resetAll, QWidget* parent)
    : QDialog(parent), settings_(settings), log_(std::move(log)), resetAll_(std::move(resetAll)) {
  setWindowTitle(tr("Encoder Options"));
  setObjectName(QStringLiteral("EncoderOptionsSheet"));

  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setUniformRowHeights(true);
  stack_ = new QStackedWidget(this);
  heading_ = new QLabel(this);
  QFont bold = heading_->font();
  bold.setBold(true);
  heading_->setFont(bold);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  cancel_ = buttons->button(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &EncoderOptionsSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &EncoderOptionsSheet::reject);

  auto* pageSide = new QVBoxLayout;
  pageSide->addWidget(heading_);
  pageSide->addWidget(line);
  pageSide->addWidget(stack_, 1);
  auto* body = new QHBoxLayout;
  body->addWidget(tree_);
  body->addLayout(pageSide, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addWidget(buttons);

  // The root page, then the pages of the format families in the order of
  // the formats.
  auto* root = new CEncoderOption(settings_);
  connect(root, &CEncoderOption::resetAllRequested, this, &EncoderOptionsSheet::ResetAll);
  AddPage(root);
  for (const OptionPageEntry* page : OptionPageEntries()) AddPage(page->make(settings_));

  tree_->expandAll();
  // Wide enough for the deepest title without a scroll bar.
  int widest = 0;
  for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
    int depth = 0;
    for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++depth;
    widest = std::max(widest, tree_->fontMetrics().horizontalAdvance((*it)->text(0)) +
                                  (depth + 1) * tree_->indentation());
  }
  tree_->setFixedWidth(widest + 40);
  connect(tree_, &QTreeWidget::currentItemChanged, this, &EncoderOptionsSheet::ItemChosen);
  ShowPage(QStringLiteral("Encoder"));
  resize(sizeHint().expandedTo(QSize(720, 460)));
}

void EncoderOptionsSheet::AddPage(OptionPage* page) {
  page->SetLogSink(log_);
  stack_->addWidget(page);
  pages_.push_back(page);
  ItemFor(page->Title());
}

QTreeWidgetItem* EncoderOptionsSheet::ItemFor(const QString& title) {
  for (QTreeWidgetItemIterator it(tree_); *it; ++it)
    if ((*it)->data(0, kTitleRole).toString() == title) return *it;
  const int cut = title.lastIndexOf(QStringLiteral("::"));
  QTreeWidgetItem* item =
      cut < 0 ? new QTreeWidgetItem(tree_) : new QTreeWidgetItem(ItemFor(title.left(cut)));
  item->setText(0, LastPart(title));
  item->setData(0, kTitleRole, title);
  return item;
}

OptionPage* EncoderOptionsSheet::Page(const QString& title) const {
  for (OptionPage* p : pages_)
    if (p->Title() == title) return p;
  return nullptr;
}

bool EncoderOptionsSheet::ShowPage(const QString& title) {
  OptionPage* page = Page(title);
  if (!page) return false;
  tree_->setCurrentItem(ItemFor(title));
  return current_ == page;
}

void EncoderOptionsSheet::ItemChosen(QTreeWidgetItem* item, QTreeWidgetItem* previous) {
  if (!item) return;
  OptionPage* page = Page(item->data(0, kTitleRole).toString());
  if (!page || page == current_) return;
  if (current_ && current_->IsLoaded() && !current_->Validate()) {
    // The page keeps the user until its values are right.
    QSignalBlocker block(tree_);
    tree_->setCurrentItem(previous);
    return;
  }
  Activate(page);
}

void EncoderOptionsSheet::Activate(OptionPage* page) {
  if (!page->IsLoaded()) page->LoadPage();
  stack_->setCurrentWidget(page);
  heading_->setText(page->Title());
  current_ = page;
  {
    QSignalBlocker block(tree_);
    tree_->setCurrentItem(ItemFor(page->Title()));
  }
  page->Activated();
}

void EncoderOptionsSheet::accept() {
  if (current_ && !current_->Validate()) return;
  for (OptionPage* p : pages_) {
    if (p == current_ || !p->IsLoaded()) continue;
    if (!p->Validate()) {
      Activate(p);
      return;
    }
  }
  for (OptionPage* p : pages_)
    if (p->IsLoaded()) p->Store();
  QDialog::accept();
}

void EncoderOptionsSheet::ResetAll() {
  if (resetAll_) resetAll_();
  for (OptionPage* p : pages_)
    if (p->IsLoaded()) p->LoadPage();
}

}  // namespace tarvexa
