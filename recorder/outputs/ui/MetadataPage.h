#pragma once
// The "Metadata" page, the tag editor: the stream properties and the tag
// (title, artist, album, genre, track, year, comment) of one audio file,
// with "Open", "Reload", "Save" and "Close". Reading and writing run on a
// worker thread, so the window (and a recording's hand-off to it) never
// waits for a tag program; the page is disabled meanwhile.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "outputs/TagAccess.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarvexa {

class ApeTagLibrary;
class WmaInfoRole;

class MetadataPage : public QWidget {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const std::string& text, int level)> log;
    // True for the file a running recording is writing: it is not tagged.
    std::function<bool(const std::string& path)> inUse;
    std::string programFolder;  // the tag programs and MACDll.so
    std::string dataFolder;     // temp.tag
  };
  explicit MetadataPage(Hooks hooks, QWidget* parent = nullptr);
  ~MetadataPage() override;  // waits for a tag program still running

  // The WMA information component, once it exists (not owned).
  void SetWmaInfo(WmaInfoRole* wma);

  // Shows the file's properties and tag ("File NOT Found!" when it is not
  // there). Finishes with loaded().
  void Load(const QString& path);
  void Reload();
  // Writes the fields into the file; finishes with saved().
  void Save();
  // Empties every field and forgets the file.
  void CloseFile();
  // The file dialog, then Load.
  void OpenFile();

  QString Path() const { return path_; }
  bool Modified() const { return modified_; }
  bool Busy() const { return worker_.joinable() && busy_; }
  TagFields Fields() const;
  void SetFields(const TagFields& fields);  // as if typed

  QLineEdit* TitleEdit() const { return title_; }
  QLineEdit* ArtistEdit() const { return artist_; }
  QLineEdit* AlbumEdit() const { return album_; }
  QLineEdit* GenreEdit() const { return genre_; }
  QLineEdit* TrackEdit() const { return track_; }
  QLineEdit* YearEdit() const { return year_; }
  QPlainTextEdit* CommentEdit() const { return comment_; }
  QLabel* NameLabel() const { return name_; }
  QLabel* DurationLabel() const { return duration_; }
  QLabel* BitrateLabel() const { return bitrate_; }
  QLabel* SamplerateLabel() const { return samplerate_; }
  QLabel* ChannelLabel() const { return channel_; }
  QPushButton* OpenButton() const { return open_; }
  QPushButton* ReloadButton() const { return reload_; }
  QPushButton* SaveButton() const { return save_; }
  QPushButton* CloseButton() const { return close_; }

 signals:
  void loaded(bool ok);
  void saved(bool ok);

 private:
  void Show(const TagSheet& sheet);
  void Stabilize();
  void Run(std::function<TagAccess::Outcome()> work,
           std::function<void(const TagAccess::Outcome&)> done);
  void Log(const std::string& text, int level) {
    if (hooks_.log) hooks_.log(text, level);
  }

  Hooks hooks_;
  std::unique_ptr<ApeTagLibrary> ape_;
  WmaInfoRole* wma_ = nullptr;
  std::unique_ptr<TagAccess> access_;
  std::thread worker_;
  bool busy_ = false;
  QString path_;
  bool modified_ = false;
  bool filling_ = false;

  QLineEdit* title_;
  QLineEdit* artist_;
  QLineEdit* album_;
  QLineEdit* genre_;
  QLineEdit* track_;
  QLineEdit* year_;
  QPlainTextEdit* comment_;
  QLabel* name_;
  QLabel* duration_;
  QLabel* bitrate_;
  QLabel* samplerate_;
  QLabel* channel_;
  QPushButton* open_;
  QPushButton* reload_;
  QPushButton* save_;
  QPushButton* close_;
};

}  // namespace tarvexa
