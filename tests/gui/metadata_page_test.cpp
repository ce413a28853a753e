// The tag editor on files made by FFmpeg and mpcenc: every field written
// through the page comes back through the page and through ffprobe, the
// stream properties are shown, lossless audio decodes bit-exact after
// tagging, a failed write leaves the file as it was, and the field limits
// and enabled states hold.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QRegularExpression>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>

#include <filesystem>
#include <map>

#include "EngineRecording.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "components/ComponentLoader.h"
#include "outputs/ui/MetadataPage.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

// A two-second stereo file of the extension's format, made by tools
// nobody here wrote.
std::string MakeAudio(const std::string& dir, const std::string& ext) {
  const std::string wav = dir + "/source.wav";
  if (!fs::exists(wav)) MakeTestWav(wav, 44100, 2, 2.0);
  const std::string out = dir + "/take." + ext;
  const std::string cmd = ext == "mpc" ? "mpcenc --silent " + Quote(wav) + " " + Quote(out)
                          : ext == "wma"
                              ? "ffmpeg -v error -y -i " + Quote(wav) + " -c:a wmav2 " + Quote(out)
                              : "ffmpeg -v error -y -i " + Quote(wav) + " " + Quote(out);
  EXPECT_EQ(Run(cmd + " 2>&1"), 0) << cmd;
  return out;
}

// ffprobe's tags of the file and its streams, keys in lower case.
std::map<QString, QString> Probe(const std::string& path) {
  std::string out;
  EXPECT_EQ(
      Run("ffprobe -v error -show_entries format_tags:stream_tags -of json " + Quote(path), &out),
      0);
  const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
  std::map<QString, QString> tags;
  auto add = [&](const QJsonObject& o) {
    for (auto it = o.begin(); it != o.end(); ++it) tags[it.key().toLower()] = it.value().toString();
  };
  add(root["format"].toObject()["tags"].toObject());
  for (const auto& s : root["streams"].toArray()) add(s.toObject()["tags"].toObject());
  return tags;
}

QString AnyOf(const std::map<QString, QString>& tags, std::initializer_list<const char*> keys) {
  for (const char* k : keys)
    if (auto it = tags.find(QString::fromUtf8(k)); it != tags.end()) return it->second;
  return {};
}

struct Editor {
  std::string home;
  LogLines log;
  std::shared_ptr<std::vector<std::pair<std::string, int>>> lines =
      std::make_shared<std::vector<std::pair<std::string, int>>>();
  ComponentHandle wma;
  std::unique_ptr<MetadataPage> page;

  explicit Editor(const std::string& name, const std::string& programs = TARVEXA_BIN_DIR)
      : home(ScratchDir(name)) {
    auto sink = lines;
    page = std::make_unique<MetadataPage>(
        MetadataPage::Hooks{[sink](const std::string& t, int l) { sink->emplace_back(t, l); },
                            nullptr, programs, home});
    std::string error;
    EXPECT_TRUE(
        wma.Create("WMAFileInformation2", std::string(TARVEXA_BIN_DIR) + "/components", &error))
        << error;
    page->SetWmaInfo(wma.As<WmaInfoRole>(kRoleWmaInfo));
  }
  bool Load(const std::string& path) {
    QSignalSpy done(page.get(), &MetadataPage::loaded);
    page->Load(QString::fromStdString(path));
    if (done.isEmpty() && !done.wait(30000)) return false;
    return done[0][0].toBool();
  }
  bool Save() {
    QSignalSpy done(page.get(), &MetadataPage::saved);
    page->Save();
    if (done.isEmpty() && !done.wait(30000)) return false;
    return done[0][0].toBool();
  }
  bool Logged(const std::string& part) const {
    for (const auto& [t, l] : *lines)
      if (t.find(part) != std::string::npos) return true;
    return false;
  }
};

}  // namespace

TEST(MetadataPage, EveryFieldRoundTripsThroughThePageAndFfprobe) {
  BoxAnswers boxes;
  Editor ed("metadata-roundtrip");
  const TagFields typed{"Rock \"n\" Roll; rm -rf ~",
                        "Ärtist $HOME `id`",
                        "Album 'quoted' & more",
                        "Jazz",
                        "7",
                        "1999",
                        "first line\nsecond line"};
  for (const std::string ext : {"mp3", "ogg", "flac", "mpc", "wv", "m4a", "wma"}) {
    SCOPED_TRACE(ext);
    const std::string path = MakeAudio(ed.home, ext);
    const bool lossless = ext == "flac" || ext == "wv";
    const Audio before = lossless ? DecodeWithFfmpeg(path) : Audio();

    ASSERT_TRUE(ed.Load(path));
    MetadataPage& p = *ed.page;
    EXPECT_FALSE(p.SaveButton()->isEnabled()) << "nothing edited yet";
    EXPECT_TRUE(p.ReloadButton()->isEnabled());
    EXPECT_EQ(p.NameLabel()->text(), QString::fromStdString("Name: take." + ext));
    EXPECT_EQ(p.SamplerateLabel()->text(), "Samplerate: 44100 Hz");
    EXPECT_EQ(p.ChannelLabel()->text(), ext == "m4a" ? "Channel:" : "Channel: 2");
    if (ext == "wv") {
      EXPECT_EQ(p.DurationLabel()->text(), "Duration:");
      EXPECT_EQ(p.BitrateLabel()->text(), "Bitrate:");
    } else {
      EXPECT_EQ(p.DurationLabel()->text(), "Duration: 00:00:02");
      EXPECT_TRUE(
          p.BitrateLabel()->text().contains(QRegularExpression("^Bitrate: [1-9][0-9]* kbps$")))
          << p.BitrateLabel()->text().toStdString();
    }

    p.SetFields(typed);
    EXPECT_TRUE(p.SaveButton()->isEnabled());
    ASSERT_TRUE(ed.Save());
    EXPECT_FALSE(p.SaveButton()->isEnabled());
    p.CloseFile();
    EXPECT_TRUE(p.TitleEdit()->text().isEmpty());
    EXPECT_FALSE(p.ReloadButton()->isEnabled());
    ASSERT_TRUE(ed.Load(path));
    EXPECT_EQ(p.Fields(), typed);
    EXPECT_FALSE(fs::exists(ed.home + "/temp.tag"));

    const auto tags = Probe(path);
    EXPECT_EQ(AnyOf(tags, {"title"}).toStdString(), typed.title);
    EXPECT_EQ(AnyOf(tags, {"artist"}).toStdString(), typed.artist);
    EXPECT_EQ(AnyOf(tags, {"album"}).toStdString(), typed.album);
    EXPECT_EQ(AnyOf(tags, {"genre"}).toStdString(), typed.genre);
    EXPECT_EQ(AnyOf(tags, {"comment", "description"}).toStdString(), typed.comment);
    EXPECT_EQ(AnyOf(tags, {"date", "year", "wm/year"}).toStdString(), typed.year);
    EXPECT_EQ(AnyOf(tags, {"track"}).toStdString(), typed.track);
    if (lossless) {
      EXPECT_EQ(DecodeWithFfmpeg(path).samples, before.samples) << "audio changed by tagging";
    }

    // All fields emptied: the file keeps no tag values.
    p.SetFields(TagFields{});
    ASSERT_TRUE(ed.Save());
    const auto cleared = Probe(path);
    for (const char* k : {"title", "artist", "album", "genre", "comment", "track"})
      EXPECT_EQ(cleared.count(QString::fromUtf8(k)), 0u) << k;
  }
  EXPECT_TRUE(boxes.Seen().empty()) << boxes.Texts().front().toStdString();
  // Nothing ran the title as a command.
  EXPECT_FALSE(fs::exists(ed.home + "/~"));
}

TEST(MetadataPage, AFailedWriteLeavesTheFileAndIsReported) {
  BoxAnswers boxes;
  Editor ed("metadata-failed-write");
  const std::string path = MakeAudio(ed.home, "flac");
  const std::string original = ReadFile(path);
  ASSERT_TRUE(ed.Load(path));
  TagFields f;
  f.title = "never written";
  ed.page->SetFields(f);

  // The copy cannot be completed: no room for a second file of this size.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = original.size() / 2;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool saved = ed.Save();
  setrlimit(RLIMIT_FSIZE, &old);

  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_TRUE(ed.Logged("An error occurred while writing metadata"));
  EXPECT_TRUE(boxes.Saw("An Error Occurred While Writing Metadata."));
  EXPECT_TRUE(ed.page->SaveButton()->isEnabled()) << "the edit is still unsaved";
}

TEST(MetadataPage, MissingProgramsAndFilesAreReported) {
  BoxAnswers boxes;
  Editor ed("metadata-no-programs", ScratchDir("metadata-empty-bin"));
  const std::string path = MakeAudio(ed.home, "mp3");
  EXPECT_FALSE(ed.Load(path));
  EXPECT_TRUE(ed.Logged("Cannot read the tag of " + path));
  EXPECT_TRUE(ed.page->TitleEdit()->text().isEmpty());
  EXPECT_EQ(ed.page->DurationLabel()->text(), "Duration:");
  ed.page->TitleEdit()->setText("x");
  EXPECT_FALSE(ed.Save());
  EXPECT_TRUE(boxes.Saw("An Error Occurred While Writing Metadata."));

  // Monkey's Audio goes through its library, which is not there either.
  const std::string ape = ed.home + "/take.ape";
  WriteFile(ape, "MAC ");
  EXPECT_FALSE(ed.Load(ape));
  EXPECT_TRUE(ed.Logged("Fail to load MACDll.so!"));

  boxes.Clear();
  EXPECT_FALSE(ed.Load(ed.home + "/gone.mp3"));
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{"File NOT Found!"});
  EXPECT_EQ(ed.page->Path().toStdString(), ape) << "the file on the page stays";
}

TEST(MetadataPage, TrackAndYearLimitsAndTheEnabledStates) {
  Editor ed("metadata-limits");
  MetadataPage& p = *ed.page;
  for (QWidget* w : std::initializer_list<QWidget*>{p.TitleEdit(), p.ReloadButton(), p.SaveButton(),
                                                    p.CloseButton()})
    EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
  EXPECT_TRUE(p.OpenButton()->isEnabled());

  ASSERT_TRUE(ed.Load(MakeAudio(ed.home, "ogg")));
  QTest::keyClicks(p.TrackEdit(), "1234");
  QTest::keyClicks(p.YearEdit(), "20245");
  EXPECT_EQ(p.TrackEdit()->text(), "123");
  EXPECT_EQ(p.YearEdit()->text(), "2024");
  EXPECT_TRUE(p.SaveButton()->isEnabled());
  ASSERT_TRUE(ed.Save());
  ASSERT_TRUE(ed.Load(p.Path().toStdString()));
  EXPECT_EQ(p.TrackEdit()->text(), "123");
  EXPECT_FALSE(p.SaveButton()->isEnabled());
}
