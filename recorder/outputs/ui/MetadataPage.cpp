#include "outputs/ui/MetadataPage.h"

#include <QtCore/QFileInfo>
#include <QtCore/QStringList>
#include <QtWidgets/QCompleter>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QFormLayout>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include <filesystem>

#include "outputs/ApeTags.h"
#include "outputs/Genres.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {

constexpr const char* kFilter =
    "All Supported Files (*.mp3 *.wma *.ogg *.mpc *.flac *.wv *.tta *.ape *.3g2 *.3gp *.m4a *.m4b "
    "*.mp4);;"
    "Mp3 File (*.mp3);;Wma File (*.wma);;Ogg File (*.ogg);;Ape File (*.ape);;Flac File (*.flac);;"
    "MPEG4 File (*.3g2 *.3gp *.m4a *.m4b *.mp4);;Musepack File (*.mpc);;Wavpack File (*.wv);;"
    "TTA File (*.tta)";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

bool FileExists(const QString& path) {
  std::error_code ec;
  return !path.isEmpty() && std::filesystem::exists(S(path), ec);
}

}  // namespace

MetadataPage::MetadataPage(Hooks hooks, QWidget* parent)
    : QWidget(parent), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("MetadataPage"));
  ape_ = MakeMacLibraryTags(hooks_.programFolder);
  access_ = std::make_unique<TagAccess>(wma_, ape_.get(), hooks_.programFolder, hooks_.dataFolder);

  title_ = new QLineEdit(this);
  artist_ = new QLineEdit(this);
  album_ = new QLineEdit(this);
  genre_ = new QLineEdit(this);
  track_ = new QLineEdit(this);
  year_ = new QLineEdit(this);
  track_->setMaxLength(3);
  year_->setMaxLength(4);
  for (QLineEdit* e : {track_, year_})
    e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
  comment_ = new QPlainTextEdit(this);
  comment_->setProperty("takesEnterAndEscape", true);  // a comment has several lines
  comment_->setTabChangesFocus(true);
  QStringList genres;
  for (int i = 0; i < kGenreCount; ++i) genres << Q(GenreName(i));
  auto* completer = new QCompleter(genres, genre_);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  genre_->setCompleter(completer);

  auto* tag = new QGroupBox(tr("Tag"), this);
  auto* form = new QGridLayout(tag);
  auto row = [&](int r, const char* label, QWidget* w, int span = 3) {
    form->addWidget(new QLabel(tr(label), tag), r, 0);
    form->addWidget(w, r, 1, 1, span);
  };
  row(0, "Title:", title_);
  row(1, "Artist:", artist_);
  row(2, "Album:", album_);
  row(3, "Genre:", genre_);
  form->addWidget(new QLabel(tr("Track:"), tag), 4, 0);
  form->addWidget(track_, 4, 1);
  auto* yearLine = new QHBoxLayout;
  yearLine->addWidget(new QLabel(tr("Year:"), tag));
  yearLine->addWidget(year_);
  yearLine->addStretch(1);
  form->addLayout(yearLine, 4, 2, 1, 2);
  form->addWidget(new QLabel(tr("Comment:"), tag), 5, 0, Qt::AlignTop);
  form->addWidget(comment_, 5, 1, 1, 3);
  form->setRowStretch(5, 1);

  auto* info = new QGroupBox(tr("Properties"), this);
  auto* infoLayout = new QVBoxLayout(info);
  name_ = new QLabel(info);
  duration_ = new QLabel(info);
  bitrate_ = new QLabel(info);
  samplerate_ = new QLabel(info);
  channel_ = new QLabel(info);
  for (QLabel* l : {name_, duration_, bitrate_, samplerate_, channel_}) {
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    infoLayout->addWidget(l);
  }
  name_->setWordWrap(true);
  infoLayout->addStretch(1);

  open_ = new QPushButton(tr("Open"), this);
  reload_ = new QPushButton(tr("Reload"), this);
  save_ = new QPushButton(tr("Save"), this);
  close_ = new QPushButton(tr("Close"), this);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {open_, reload_, save_, close_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);

  auto* right = new QVBoxLayout;
  right->addWidget(info, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(tag, 3);
  layout->addLayout(right, 2);
  layout->addLayout(buttons);

  connect(open_, &QPushButton::clicked, this, &MetadataPage::OpenFile);
  connect(reload_, &QPushButton::clicked, this, &MetadataPage::Reload);
  connect(save_, &QPushButton::clicked, this, &MetadataPage::Save);
  connect(close_, &QPushButton::clicked, this, &MetadataPage::CloseFile);
  for (QLineEdit* e : {title_, artist_, album_, genre_, track_, year_})
    connect(e, &QLineEdit::textChanged, this, [this] {
      if (!filling_) modified_ = true;
      Stabilize();
    });
  connect(comment_, &QPlainTextEdit::textChanged, this, [this] {
    if (!filling_) modified_ = true;
    Stabilize();
  });
  Show(TagSheet());
  Stabilize();
}

MetadataPage::~MetadataPage() {
  if (worker_.joinable()) worker_.join();
}

void MetadataPage::SetWmaInfo(WmaInfoRole* wma) {
  if (worker_.joinable()) worker_.join();
  wma_ = wma;
  access_ = std::make_unique<TagAccess>(wma_, ape_.get(), hooks_.programFolder, hooks_.dataFolder);
}

TagFields MetadataPage::Fields() const {
  TagFields f;
  f.title = S(title_->text());
  f.artist = S(artist_->text());
  f.album = S(album_->text());
  f.genre = S(genre_->text());
  f.track = S(track_->text());
  f.year = S(year_->text());
  f.comment = S(comment_->toPlainText());
  return f;
}

void MetadataPage::SetFields(const TagFields& f) {
  title_->setText(Q(f.title));
  artist_->setText(Q(f.artist));
  album_->setText(Q(f.album));
  genre_->setText(Q(f.genre));
  track_->setText(Q(f.track));
  year_->setText(Q(f.year));
  comment_->setPlainText(Q(f.comment));
}

void MetadataPage::Show(const TagSheet& sheet) {
  filling_ = true;
  SetFields(sheet.fields);
  filling_ = false;
  name_->setText(tr("Name:") +
                 (path_.isEmpty() ? QString() : QStringLiteral(" ") + QFileInfo(path_).fileName()));
  duration_->setText(Q(sheet.duration));
  bitrate_->setText(Q(sheet.bitrate));
  samplerate_->setText(Q(sheet.samplerate));
  channel_->setText(Q(sheet.channel));
}

void MetadataPage::Stabilize() {
  const bool idle = !busy_;
  const bool file = !path_.isEmpty();
  open_->setEnabled(idle);
  reload_->setEnabled(idle && file);
  close_->setEnabled(idle && file);
  save_->setEnabled(idle && file && modified_);
  for (QLineEdit* e : {title_, artist_, album_, genre_, track_, year_}) e->setEnabled(idle && file);
  comment_->setEnabled(idle && file);
}

void MetadataPage::Run(std::function<TagAccess::Outcome()> work,
                       std::function<void(const TagAccess::Outcome&)> done) {
  if (worker_.joinable()) worker_.join();
  busy_ = true;
  Stabilize();
  worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
    TagAccess::Outcome out;
    try {
      out = work();
    } catch (const std::exception& e) {
      out.error = e.what();
    }
    QMetaObject::invokeMethod(
        this,
        [this, out = std::move(out), done] {
          if (worker_.joinable()) worker_.join();
          busy_ = false;
          for (const auto& [text, level] : out.log) Log(text, level);
          done(out);
          Stabilize();
        },
        Qt::QueuedConnection);
  });
}

void MetadataPage::Load(const QString& path) {
  if (busy_) return;
  if (!FileExists(path)) {
    ShowMessageBox(this, tr("File NOT Found!"), QString(), QMessageBox::Warning);
    emit loaded(false);
    return;
  }
  path_ = path;
  modified_ = false;
  Show(TagSheet());
  const std::string file = S(path);
  Run([this, file] { return access_->Load(file); },
      [this](const TagAccess::Outcome& out) {
        Show(out.sheet);
        modified_ = false;
        emit loaded(out.ok);
      });
}

void MetadataPage::Reload() {
  if (!path_.isEmpty()) Load(path_);
}

void MetadataPage::Save() {
  if (busy_ || path_.isEmpty()) return;
  if (!FileExists(path_)) {
    ShowMessageBox(this, tr("File NOT Found!"), QString(), QMessageBox::Warning);
    emit saved(false);
    return;
  }
  const std::string file = S(path_);
  if (hooks_.inUse && hooks_.inUse(file)) {
    ShowMessageBox(this, tr("The File Is Being Recorded. Please Stop Recording First."), QString(),
                   QMessageBox::Warning);
    emit saved(false);
    return;
  }
  const TagFields fields = Fields();
  Run([this, file, fields] { return access_->Save(file, fields); },
      [this](const TagAccess::Outcome& out) {
        if (out.ok) {
          modified_ = false;
        } else {
          Log("An error occurred while writing metadata", 1);
          if (!out.error.empty()) Log(out.error, 1);
          ShowMessageBox(this, tr("An Error Occurred While Writing Metadata."), QString(),
                         QMessageBox::Critical);
        }
        emit saved(out.ok);
      });
}

void MetadataPage::CloseFile() {
  if (busy_) return;
  path_.clear();
  modified_ = false;
  Show(TagSheet());
  Stabilize();
}

void MetadataPage::OpenFile() {
  if (busy_) return;
  QFileDialog dlg(this, tr("Open"), path_.isEmpty() ? QString() : QFileInfo(path_).absolutePath());
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter(QString::fromUtf8(kFilter));
  dlg.setDefaultSuffix(QStringLiteral("mp3"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  Load(dlg.selectedFiles().first());
}

}  // namespace tarvexa
