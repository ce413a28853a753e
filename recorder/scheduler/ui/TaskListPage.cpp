#include "scheduler/ui/TaskListPage.h"

#include <QtGui/QPainter>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTreeWidget>
#include <QtWidgets/QVBoxLayout>

#include <limits>

#include "config/Settings.h"
#include "formats/FormatCatalogue.h"
#include "platform/Text.h"
#include "scheduler/TaskStore.h"
#include "scheduler/ui/TaskEditorSheet.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {

constexpr int kTaskRole = Qt::UserRole;      // the row's CTask
constexpr int kSortRole = Qt::UserRole + 1;  // a number to sort by, when the cell has one
constexpr int kWidths[TaskListPage::kColumnCount] = {218, 123, 165, 70, 80, 70, 71};
constexpr const char* kHeaders[TaskListPage::kColumnCount] = {
    "Title", "Mode", "Next Starting Time", "Status", "Override", "Format", "Length"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A clock face; greyed and struck through for a task that never starts.
QIcon TaskIcon(bool never) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor face = never ? QColor(160, 160, 160) : QColor(30, 110, 200);
  p.setPen(QPen(face, 1.5));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.drawLine(QPointF(8, 8), QPointF(8, 4));
  p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
  if (never) {
    p.setPen(QPen(QColor(200, 40, 40), 1.8));
    p.drawLine(QPointF(3, 13), QPointF(13, 3));
  }
  return QIcon(pm);
}

// Numbers sort as numbers, before any text; text sorts by itself.
class TaskRow : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    const QVariant a = data(column, kSortRole), b = other.data(column, kSortRole);
    if (a.isValid() && b.isValid()) return a.toLongLong() < b.toLongLong();
    if (a.isValid() != b.isValid()) return a.isValid();
    return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
  }
};

CTask TaskOf(const QTreeWidgetItem* row) {
  return row->data(TaskListPage::kTitle, kTaskRole).value<CTask>();
}

}  // namespace

TaskListPage::TaskListPage(Settings& settings, Hooks hooks, QWidget* parent)
    : QWidget(parent), settings_(settings), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("SchedulerPage"));
  list_ = new QTreeWidget(this);
  list_->setColumnCount(kColumnCount);
  QStringList headers;
  for (const char* h : kHeaders) headers << tr(h);
  list_->setHeaderLabels(headers);
  for (int c = 0; c < kColumnCount; ++c) list_->setColumnWidth(c, kWidths[c]);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  list_->setIconSize(QSize(16, 16));
  list_->setSortingEnabled(true);
  list_->sortByColumn(kNextStart, Qt::AscendingOrder);

  auto button = [this](const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setAutoDefault(false);
    return b;
  };
  add_ = button(tr("Add"));
  edit_ = button(tr("Edit"));
  delete_ = button(tr("Delete"));
  refresh_ = button(tr("Refresh"));
  refresh_->setToolTip(QStringLiteral("Refresh the next starting time of the tasks"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {add_, edit_, delete_, refresh_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(add_, &QPushButton::clicked, this, &TaskListPage::Add);
  connect(edit_, &QPushButton::clicked, this, &TaskListPage::Edit);
  connect(delete_, &QPushButton::clicked, this, &TaskListPage::Delete);
  connect(refresh_, &QPushButton::clicked, this, &TaskListPage::Refresh);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Edit(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &TaskListPage::Stabilize);
  Stabilize();
}

std::time_t TaskListPage::Now() const { return hooks_.now ? hooks_.now() : std::time(nullptr); }

void TaskListPage::Fill(QTreeWidgetItem* row, const CTask& t, std::time_t now) {
  row->setData(kTitle, kTaskRole, QVariant::fromValue(t));
  row->setText(kTitle, Q(t.title));
  if (t.mode < kModeCount) row->setText(kMode, Q(ModeListLabel(t.mode)));
  row->setText(kStatus, t.active ? tr("Active") : tr("Dormant"));
  row->setText(kOverride, t.override ? tr("Yes") : tr("No"));
  std::string ext = t.override ? FileExtensionFor(t.format, settings_) : std::string();
  if (!ext.empty()) ext.erase(0, 1);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  row->setText(kFormat, t.override ? Q(ext) : tr("Default"));
  if (t.override && t.stopAfter) {
    row->setText(kLength, Q(Printf("%02d:%02d:%02d", t.stopHour, t.stopMinute, t.stopSecond)));
    row->setData(kLength, kSortRole, t.stopHour * 3600 + t.stopMinute * 60 + t.stopSecond);
  } else {
    row->setText(kLength, tr("Default"));
    row->setData(kLength, kSortRole, QVariant());
  }
  // Last, since the list re-sorts on this column.
  const std::optional<std::time_t> next = UpcomingStartTime(t, now);
  const bool never = !t.active || !next || *next - now <= 0;
  row->setIcon(kTitle, TaskIcon(never));
  row->setData(
      kNextStart, kSortRole,
      never ? QVariant(std::numeric_limits<qlonglong>::max()) : QVariant(qlonglong(*next)));
  row->setText(kNextStart, never ? tr("Never") : Q(FormatLocal(*next, "%b %d, %Y  %H:%M:%S")));
}

void TaskListPage::Load(const std::string& path) {
  path_ = path;
  const TaskFileRead read = LoadTaskFile(path, hooks_.log);
  const std::time_t now = Now();
  list_->setSortingEnabled(false);
  for (const CTask& t : read.tasks) {
    auto* row = new TaskRow(list_);
    Fill(row, t, now);
  }
  list_->setSortingEnabled(true);
  list_->sortByColumn(kNextStart, Qt::AscendingOrder);
  if (!read.ok)
    ShowMessageBox(this, QString::fromUtf8(kTaskLoadErrorBox), QString(), QMessageBox::Critical);
  Stabilize();
}

bool TaskListPage::Save() {
  if (path_.empty()) return true;
  if (SaveTaskFile(path_, Tasks(), hooks_.log)) return true;
  ShowMessageBox(this, QString::fromUtf8(kTaskSaveErrorBox), QString(), QMessageBox::Critical);
  return false;
}

std::vector<CTask> TaskListPage::Tasks() const {
  std::vector<CTask> tasks;
  for (int i = 0; i < list_->topLevelItemCount(); ++i)
    tasks.push_back(TaskOf(list_->topLevelItem(i)));
  return tasks;
}

int TaskListPage::Count() const { return list_->topLevelItemCount(); }

void TaskListPage::RefreshNextStart() {
  const std::time_t now = Now();
  // The rows are collected first: refilling re-sorts the list.
  std::vector<QTreeWidgetItem*> rows;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) rows.push_back(list_->topLevelItem(i));
  for (QTreeWidgetItem* row : rows) Fill(row, TaskOf(row), now);
}

void TaskListPage::Stabilize() {
  const bool free = !Locked();
  const int selected = static_cast<int>(list_->selectedItems().size());
  add_->setEnabled(free);
  edit_->setEnabled(free && selected == 1);
  delete_->setEnabled(free && selected >= 1);
  refresh_->setEnabled(free && Count() > 0);
}

int TaskListPage::RunEditor(TaskEditorSheet& editor) {
  return runEditor_ ? runEditor_(editor) : editor.exec();
}

void TaskListPage::Add() {
  if (Locked()) return;
  std::vector<std::string> titles;
  for (const CTask& t : Tasks()) titles.push_back(t.title);
  TaskEditorSheet editor(NewTask(settings_, ToLocal(Now())), true, titles, settings_, hooks_.busy,
                         this);
  if (RunEditor(editor) != QDialog::Accepted) return;
  auto* row = new TaskRow(list_);
  Fill(row, editor.Task(), Now());
  list_->clearSelection();
  row->setSelected(true);
  Log("Added new task: " + editor.Task().title, -1);
  Save();
  if (hooks_.refreshSchedule) hooks_.refreshSchedule();
  Stabilize();
}

void TaskListPage::Edit() {
  if (Locked()) return;
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.size() != 1) return;
  QTreeWidgetItem* row = selected.first();
  TaskEditorSheet editor(TaskOf(row), false, {}, settings_, hooks_.busy, this);
  if (RunEditor(editor) != QDialog::Accepted) return;
  Fill(row, editor.Task(), Now());
  Save();
  if (hooks_.refreshSchedule) hooks_.refreshSchedule();
  Stabilize();
}

void TaskListPage::Delete() {
  if (Locked() || list_->selectedItems().isEmpty()) return;
  if (ShowMessageBox(this, tr("Delete the Task(s), Are You Sure?"), QString(), QMessageBox::Warning,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  // In row order, one line per task.
  for (int i = 0; i < list_->topLevelItemCount();) {
    QTreeWidgetItem* row = list_->topLevelItem(i);
    if (!row->isSelected()) {
      ++i;
      continue;
    }
    Log("Deleted task: " + TaskOf(row).title + ".", 0);
    delete row;
  }
  Save();
  if (hooks_.refreshSchedule) hooks_.refreshSchedule();
  Stabilize();
}

}  // namespace tarvexa
