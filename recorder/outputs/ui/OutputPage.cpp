#include "outputs/ui/OutputPage.h"

#include <QtCore/QDateTime>
#include <QtCore/QFileSystemWatcher>
#include <QtCore/QLocale>
#include <QtCore/QMimeDatabase>
#include <QtGui/QAction>
#include <QtGui/QPainter>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <QtWidgets/QStyledItemDelegate>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "outputs/DesktopTrash.h"
#include "outputs/ProgramRun.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"
#include "recording/RecordingController.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeaders[kOutputColumnCount] = {"Name",     "Location",  "Format",
                                                      "Duration", "Timestamp", "Size(MB)"};
constexpr int kWidths[kOutputColumnCount] = {220, 218, 90, 100, 150, 98};
constexpr const char* kSortItems[kOutputColumnCount] = {"By Name",     "By Location",  "By Format",
                                                        "By Duration", "By Timestamp", "By Size"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::optional<int64_t> TimeOfText(const std::string& text) {
  const QDateTime t = QLocale::system().toDateTime(Q(text), QLocale::ShortFormat);
  if (!t.isValid()) return std::nullopt;
  return t.toSecsSinceEpoch();
}

QIcon Circle(const QColor& fill, bool cross) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(fill.darker(150), 1));
  p.setBrush(fill);
  p.drawEllipse(QRectF(2, 2, 12, 12));
  if (cross) {
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
  }
  return QIcon(pm);
}

// Whether the desktop has an application for the file's type. Unknown (no
// xdg-mime) counts as yes: the opener then decides.
bool HasApplicationFor(const QString& path) {
  const std::string xdgMime = FindProgram("xdg-mime");
  if (xdgMime.empty()) return true;
  const QString type = QMimeDatabase().mimeTypeForFile(path).name();
  const ProgramRun run = RunProgram({xdgMime, "query", "default", type.toStdString()});
  if (!run.started) return true;
  return QString::fromStdString(run.output).trimmed().endsWith(QLatin1String(".desktop"));
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// The in-place editor of the Name cell keeps Enter and Escape for itself.
class NameDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    editor->setProperty("takesEnterAndEscape", true);
    editor->setObjectName(QStringLiteral("renameEditor"));
    return editor;
  }
};

}  // namespace

// ------------------------------------------------------------------ model

class OutputTableModel : public QAbstractTableModel {
 public:
  OutputTableModel(const OutputItems& items, std::function<bool(int, const QString&)> rename,
                   QObject* parent)
      : QAbstractTableModel(parent), items_(items), rename_(std::move(rename)) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : items_.Count();
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : kOutputColumnCount;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= items_.Count()) return {};
    const OutputEntry& e = items_.At(index.row());
    switch (role) {
      case Qt::DisplayRole:
      case Qt::EditRole: {
        const std::string* texts[] = {&e.name,     &e.location,  &e.format,
                                      &e.duration, &e.timestamp, &e.size};
        return QString::fromStdString(*texts[index.column()]);
      }
      case Qt::DecorationRole:
        return index.column() == kColName ? QVariant(OutputPage::StateIcon(e)) : QVariant();
      case Qt::ToolTipRole:
        return index.column() == kColName ? QString::fromStdString(e.FullPath()) : QVariant();
      default: return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kOutputColumnCount)
      return QString::fromUtf8(kHeaders[section]);
    return QAbstractTableModel::headerData(section, o, role);
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == kColName) f |= Qt::ItemIsEditable;
    return f;
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::EditRole || index.column() != kColName) return false;
    return rename_(index.row(), value.toString());
  }

  void Reset() {
    beginResetModel();
    endResetModel();
  }
  void RowChanged(int row) { emit dataChanged(index(row, 0), index(row, kOutputColumnCount - 1)); }

 private:
  const OutputItems& items_;
  std::function<bool(int, const QString&)> rename_;
};

// ------------------------------------------------------------------- list

OutputList::OutputList(QWidget* parent) : QTableView(parent) {
  setObjectName(QStringLiteral("OutputList"));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);  // the Rename command edits
  setShowGrid(true);
  setWordWrap(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setItemDelegateForColumn(kColName, new NameDelegate(this));
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(true);
}

// ------------------------------------------------------------------- page

OutputPage::OutputPage(Hooks hooks, QWidget* parent)
    : QWidget(parent), hooks_(std::move(hooks)), storePath_(DataFile("Output.ini")) {
  setObjectName(QStringLiteral("OutputPage"));
  list_ = new OutputList(this);
  model_ = new OutputTableModel(
      items_, [this](int row, const QString& name) { return FinishRename(row, name); }, this);
  list_->setModel(model_);
  for (int c = 0; c < kOutputColumnCount; ++c) list_->setColumnWidth(c, kWidths[c]);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(list_);

  menu_ = new QMenu(this);
  auto command = [this](QMenu* m, const char* text, std::function<void()> run,
                        const QKeySequence& key = QKeySequence()) {
    QAction* a = m->addAction(tr(text));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, std::move(run));
    return a;
  };
  command(menu_, "Open", [this] { Open(); });
  command(menu_, "Open Dir", [this] { OpenDir(); });
  menu_->addSeparator();
  command(menu_, "Move Up", [this] { Move(MoveTo::Up); });
  command(menu_, "Move Down", [this] { Move(MoveTo::Down); });
  command(menu_, "Move To Top", [this] { Move(MoveTo::Top); });
  command(menu_, "Move To Bottom", [this] { Move(MoveTo::Bottom); });
  QMenu* sort = menu_->addMenu(tr("Sort"));
  for (int c = 0; c < kOutputColumnCount; ++c)
    command(sort, kSortItems[c], [this, c] { SortBy(c); });
  menu_->addSeparator();
  command(menu_, "Rename", [this] { Rename(); });
  command(
      menu_, "Remove", [this] { Remove(); }, QKeySequence(Qt::Key_Delete));
  command(
      menu_, "Delete", [this] { Delete(); }, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
  menu_->addSeparator();
  command(menu_, "Edit Metadata", [this] { EditMetadata(); });

  // The page's keys, live while the page is shown.
  auto key = [this](const QKeySequence& seq, std::function<void()> run) {
    auto* a = new QAction(this);
    a->setShortcut(seq);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, std::move(run));
    addAction(a);
  };
  key(QKeySequence(Qt::CTRL | Qt::Key_A), [this] { list_->selectAll(); });
  key(QKeySequence(Qt::Key_Delete), [this] { Remove(); });
  key(QKeySequence(Qt::SHIFT | Qt::Key_Delete), [this] { Delete(); });

  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (list_->indexAt(pos).isValid()) menu_->popup(list_->viewport()->mapToGlobal(pos));
  });
  connect(list_, &QAbstractItemView::doubleClicked, this, [this] { Open(); });
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int c) { SortBy(c); });

  // Saving after a change waits for the event loop, so a burst of changes
  // (or the end of a clip, which the recording waits for) costs one write.
  saveTimer_.setSingleShot(true);
  saveTimer_.setInterval(0);
  connect(&saveTimer_, &QTimer::timeout, this, [this] {
    std::string error;
    if (Save(&error)) {
      saveFailing_ = false;
    } else if (!saveFailing_) {
      saveFailing_ = true;
      Log("An error occurred while saving the output files.", 1);
      Log(error, 1);
    }
  });
}

QIcon OutputPage::StateIcon(const OutputEntry& e) {
  static const QIcon taggable = Circle(QColor(40, 170, 60), false);
  static const QIcon plain = Circle(QColor(150, 150, 160), false);
  static const QIcon missing = Circle(QColor(200, 40, 40), true);
  return e.missing ? missing : e.taggable ? taggable : plain;
}

void OutputPage::Load() {
  const OutputItems::LoadReport report = items_.Load(storePath_, TimeOfText);
  Refresh({});
  // A save replaces the file (rename): its folder is what changes.
  if (!watcher_) {
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { MergeAdded(); });
  }
  watcher_->removePaths(watcher_->directories());
  watcher_->addPath(Q(FolderOf(storePath_).empty() ? std::string(".") : FolderOf(storePath_)));
  if (report.damaged) {
    Log("An error occurred while loading the output files.", 1);
    Log(report.error +
            (report.keptAs.empty() ? std::string() : "; the file is kept as " + report.keptAs),
        1);
    ShowMessageBox(this, tr("An Error Occurred While Loading the Output Files."), QString(),
                   QMessageBox::Critical);
  }
}

bool OutputPage::Save(std::string* error) {
  saveTimer_.stop();
  // What another program added since is kept, not overwritten.
  MergeAdded();
  return items_.Save(storePath_, error);
}

void OutputPage::MergeAdded() {
  std::vector<std::string> selected;
  for (int row : SelectedRows()) selected.push_back(items_.At(row).FullPath());
  if (items_.MergeAdded(storePath_) == 0) return;
  std::vector<int> keep;
  for (const std::string& p : selected)
    if (int row = items_.Find(p); row >= 0) keep.push_back(row);
  Refresh(keep);
}

void OutputPage::KeepSelection(const std::function<void()>& change) {
  std::vector<std::string> selected;
  for (int row : SelectedRows()) selected.push_back(items_.At(row).FullPath());
  change();
  std::vector<int> keep;
  for (const std::string& p : selected)
    if (int row = items_.Find(p); row >= 0) keep.push_back(row);
  Changed(keep);
}

void OutputPage::AddRecording(const QString& path, qint64 seconds, bool oggFlac) {
  const QString when =
      QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
  KeepSelection(
      [&] { items_.AddRecording(path.toStdString(), seconds, when.toStdString(), oggFlac); });
}

void OutputPage::AddClip(const ClipResult& clip, const Settings& recording) {
  const QString when =
      QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
  KeepSelection([&] { items_.AddClip(clip, recording, when.toStdString()); });
}

std::vector<int> OutputPage::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& i : list_->selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void OutputPage::SelectRows(const std::vector<int>& rows) {
  list_->clearSelection();
  for (int row : rows) {
    if (row < 0 || row >= items_.Count()) continue;
    list_->selectionModel()->select(model_->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  if (!rows.empty() && rows.front() >= 0 && rows.front() < items_.Count())
    list_->selectionModel()->setCurrentIndex(model_->index(rows.front(), 0),
                                             QItemSelectionModel::NoUpdate);
}

void OutputPage::Refresh(const std::vector<int>& select) {
  model_->Reset();
  SelectRows(select);
  QHeaderView* header = list_->horizontalHeader();
  header->setSortIndicatorShown(items_.SortColumn() >= 0);
  if (items_.SortColumn() >= 0)
    header->setSortIndicator(items_.SortColumn(),
                             items_.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void OutputPage::Changed(const std::vector<int>& select) {
  Refresh(select);
  saveTimer_.start();
}

int OutputPage::SingleSelection() {
  const std::vector<int> rows = SelectedRows();
  if (rows.size() == 1) return rows.front();
  ShowMessageBox(this, tr("Please select ONE file First!"), QString::fromUtf8(kAppCaption),
                 QMessageBox::Warning);
  return -1;
}

// False when the item's file is missing; the user chooses whether the item
// goes or stays marked.
bool OutputPage::CheckExists(int row) {
  if (Exists(items_.At(row).FullPath())) return true;
  const auto answer =
      ShowMessageBox(this, tr("File NOT Found!  Remove It from the List?"), QString(),
                     QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No);
  if (answer == QMessageBox::Yes) {
    items_.Remove({row});
    Changed({});
  } else {
    items_.SetMissing(row, true);
    Refresh({row});
  }
  return false;
}

bool OutputPage::Busy(const std::string& path) {
  if (!hooks_.inUse || !hooks_.inUse(path)) return false;
  ShowMessageBox(this, tr("The File Is Being Recorded. Please Stop Recording First."), QString(),
                 QMessageBox::Warning);
  return true;
}

void OutputPage::Open() {
  const int row = SingleSelection();
  if (row < 0 || !CheckExists(row)) return;
  const std::string path = items_.At(row).FullPath();
  std::string target = path;
  if (!HasApplicationFor(Q(path))) {
    ShowMessageBox(this,
                   tr("There is no application associated with the given file name extension."),
                   QString(), QMessageBox::Warning);
    target = items_.At(row).location;
  }
  std::string error;
  if (!ShellOpen(target, &error)) Log("Cannot open " + target + ": " + error, 1);
}

void OutputPage::OpenDir() {
  const int row = SingleSelection();
  if (row < 0 || !CheckExists(row)) return;
  const std::string folder = items_.At(row).location;
  std::string error;
  if (!ShellOpen(folder, &error)) Log("Cannot open " + folder + ": " + error, 1);
}

void OutputPage::Move(MoveTo where) {
  const int row = SingleSelection();
  if (row < 0) return;
  Changed({items_.Move(row, where)});
}

void OutputPage::SortBy(int column) {
  items_.Sort(column, TimeOfText);
  Changed({});
}

void OutputPage::Rename() {
  const int row = SingleSelection();
  if (row < 0 || !CheckExists(row) || Busy(items_.At(row).FullPath())) return;
  const QModelIndex index = model_->index(row, kColName);
  list_->setCurrentIndex(index);
  list_->edit(index);
}

bool OutputPage::FinishRename(int row, const QString& name) {
  if (row < 0 || row >= items_.Count()) return false;
  const OutputEntry before = items_.At(row);
  std::string error;
  switch (items_.Rename(row, name.toStdString(), &error)) {
    case RenameResult::Renamed:
      Log("Renamed " + before.FullPath() + " to " + name.toStdString(), 0);
      // The editor is still committing: update the row, not the whole model.
      model_->RowChanged(row);
      list_->horizontalHeader()->setSortIndicatorShown(items_.SortColumn() >= 0);
      saveTimer_.start();
      return true;
    case RenameResult::Unchanged: return false;
    case RenameResult::BadName:
      ShowMessageBox(this, tr("A File Name Can NOT Contain \"/\"."), QString(),
                     QMessageBox::Warning);
      return false;
    case RenameResult::Exists:
      ShowMessageBox(
          this, tr("A File Named \"%1\" Already Exists There. The File Was NOT Renamed.").arg(name),
          QString(), QMessageBox::Warning);
      return false;
    case RenameResult::Failed:
      Log("The file " + before.FullPath() + " could not be renamed: " + error, 1);
      ShowMessageBox(this, tr("The File Could NOT Be Renamed: %1").arg(Q(error)), QString(),
                     QMessageBox::Critical);
      return false;
  }
  return false;
}

void OutputPage::Remove() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  items_.Remove(rows);
  Changed({});
}

void OutputPage::Delete() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  for (int row : rows)
    if (Busy(items_.At(row).FullPath())) return;
  // Into the desktop's trash, from where the user can take them back.
  std::vector<int> gone, noTrash;
  for (int row : rows) {
    const std::string path = items_.At(row).FullPath();
    if (!Exists(path)) {
      Log(" " + path + " not found!", 1);
      gone.push_back(row);
      continue;
    }
    std::string error;
    switch (MoveToTrash(path, &error)) {
      case TrashResult::Trashed:
        Log("Moved to the trash: " + path, 0);
        gone.push_back(row);
        break;
      case TrashResult::NoTrash: noTrash.push_back(row); break;
      case TrashResult::Failed:
        Log("The file " + path + " could not be moved to the trash: " + error, 1);
        break;
    }
  }
  // Where there is no trash, deleting is for good: ask first.
  if (!noTrash.empty() && ShowMessageBox(this, tr("Permanently Delete the File(s), Are You Sure?"),
                                         QString(), QMessageBox::Question,
                                         QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
    for (int row : noTrash) {
      const std::string path = items_.At(row).FullPath();
      std::error_code ec;
      if (fs::remove(path, ec)) {
        Log("Deleted: " + path, 0);
        gone.push_back(row);
      } else {
        Log("The file " + path + " could not be deleted: " + ec.message(), 1);
      }
    }
  }
  if (gone.empty()) return;
  items_.Remove(gone);
  Changed({});
}

void OutputPage::EditMetadata() {
  const int row = SingleSelection();
  if (row < 0) return;
  if (!items_.At(row).taggable) {
    ShowMessageBox(
        this,
        tr("Sorry, Tarvexa Sounder Recorder Can NOT Tag the File.\nPlease Select an Item with "
           "Green Circle."),
        QString(), QMessageBox::Warning);
    return;
  }
  emit editMetadataRequested(Q(items_.At(row).FullPath()));
}

}  // namespace tarvexa
