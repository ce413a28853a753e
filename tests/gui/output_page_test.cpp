// The Output page on a private desktop (its own XDG folders, trash, file
// associations and opener): open and open the folder, the one-item rule,
// missing files, rename in place (never over another file), remove, delete
// to the trash (and, where there is none, after asking), the sort toggle,
// the hand-over to the tag editor, and a split, resampled recording from the
// window arriving in the list.
#include <gtest/gtest.h>

#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "outputs/ui/MetadataPage.h"
#include "outputs/ui/OutputPage.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

std::string Touch(const std::string& path) {
  WriteFile(path, "audio");
  return path;
}

// Folders, associations, trash and opener of a desktop of our own. The
// opener writes each target it gets on a line of Opened().
class Desktop {
 public:
  explicit Desktop(const std::string& name, bool mp3Player = false) : root_(ScratchDir(name)) {
    for (const char* d : {"home", "data/applications", "config", "etc", "share"})
      fs::create_directories(root_ + "/" + d);
    fs::create_directory_symlink("/usr/share/mime", root_ + "/share/mime");
    if (mp3Player)
      WriteFile(root_ + "/data/applications/player.desktop",
                "[Desktop Entry]\nType=Application\nName=Player\nExec=/bin/true "
                "%f\nMimeType=audio/mpeg;\n");
    const std::string opener = root_ + "/opener";
    WriteFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " + Quote(root_ + "/opened") + "\n");
    fs::permissions(opener, fs::perms::owner_all);
    const std::pair<const char*, const char*> vars[] = {
        {"HOME", "/home"},           {"XDG_DATA_HOME", "/data"},  {"XDG_CONFIG_HOME", "/config"},
        {"XDG_CONFIG_DIRS", "/etc"}, {"XDG_DATA_DIRS", "/share"}, {"TARVEXA_OPENER", "/opener"}};
    for (const auto& [k, v] : vars) env_.push_back(std::make_unique<ScopedEnv>(k, root_ + v));
    env_.push_back(std::make_unique<ScopedEnv>("XDG_CURRENT_DESKTOP", nullptr));
  }
  const std::string& Root() const { return root_; }
  std::string Trash() const { return root_ + "/data/Trash"; }
  // The targets opened so far, once there are n of them.
  std::vector<std::string> Opened(size_t n) const {
    std::vector<std::string> lines;
    (void)QTest::qWaitFor(
        [&] {
          lines.clear();
          std::string text = ReadFile(root_ + "/opened");
          for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(text.substr(at, nl - at));
          return lines.size() >= n;
        },
        5000);
    return lines;
  }

 private:
  std::string root_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

struct Page {
  std::string dir;
  std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
  OutputPage page;

  explicit Page(const std::string& name)
      : dir(ScratchDir(name)),
        page({[l = log](const std::string& t, int) { l->push_back(t); }, nullptr}) {
    page.SetStorePath(dir + "/Output.ini");
  }
  std::string Add(const std::string& name, qint64 seconds = 1) {
    const std::string path = Touch(dir + "/" + name);
    page.AddRecording(QString::fromStdString(path), seconds, false);
    return path;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (const auto& e : page.Items().Entries()) n.push_back(e.name);
    return n;
  }
  // What Output.ini holds once the event loop has written it.
  std::vector<std::string> Stored() const {
    QTest::qWait(10);
    std::vector<OutputEntry> e;
    DecodeOutputList(ReadFile(dir + "/Output.ini"), &e);
    std::vector<std::string> n;
    for (const auto& x : e) n.push_back(x.name);
    return n;
  }
  bool Logged(const std::string& text) const {
    return std::find(log->begin(), log->end(), text) != log->end();
  }
};

}  // namespace

TEST(OutputPage, OpenOpenDirAndTheOneItemRule) {
  Desktop desk("output-open", true);
  BoxAnswers boxes;
  Page p("output-open-files");
  const std::string mp3 = p.Add("take.mp3");
  p.Add("take.wav");

  // Commands for one item refuse none and two.
  const std::vector<std::function<void()>> single = {
      [&] { p.page.Open(); }, [&] { p.page.OpenDir(); }, [&] { p.page.Rename(); },
      [&] { p.page.Move(MoveTo::Up); }, [&] { p.page.EditMetadata(); }};
  for (const std::vector<int>& selection : {std::vector<int>{}, std::vector<int>{0, 1}}) {
    p.page.SelectRows(selection);
    for (const auto& command : single) command();
  }
  EXPECT_EQ(boxes.Texts(), std::vector<QString>(10, "Please select ONE file First!"));
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"take.mp3", "take.wav"}));

  boxes.Clear();
  p.page.SelectRows({0});
  p.page.Open();  // the desktop has a player for MP3
  p.page.SelectRows({1});
  p.page.Open();  // but nothing for WAV: the folder instead
  p.page.OpenDir();
  // The openers run side by side: their lines come in any order.
  std::vector<std::string> opened = desk.Opened(3);
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, (std::vector<std::string>{p.dir + "/", p.dir + "/", mp3}));
  EXPECT_EQ(boxes.Texts(),
            std::vector<QString>{
                "There is no application associated with the given file name extension."});

  // A file gone behind our back: kept and marked, or removed.
  boxes.Clear();
  fs::remove(mp3);
  p.page.SelectRows({0});
  boxes.Queue(QMessageBox::No);
  p.page.Open();
  ASSERT_EQ(p.page.Items().Count(), 2);
  EXPECT_TRUE(p.page.Items().At(0).missing);
  boxes.Queue(QMessageBox::Yes);
  p.page.SelectRows({0});
  p.page.OpenDir();
  EXPECT_EQ(boxes.Texts(), std::vector<QString>(2, "File NOT Found!  Remove It from the List?"));
  EXPECT_EQ(p.Names(), std::vector<std::string>{"take.wav"});
  EXPECT_EQ(desk.Opened(3).size(), 3u) << "nothing more was opened";
}

TEST(OutputPage, RemoveAndDeleteToTheTrash) {
  Desktop desk("output-delete");
  BoxAnswers boxes;
  Page p("output-delete-files");
  const std::string a = p.Add("a.mp3"), b = p.Add("b.mp3"), c = p.Add("c.mp3"),
                    gone = p.Add("gone.mp3");
  fs::remove(gone);
  p.page.show();
  p.page.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&p.page));

  p.page.SelectRows({0});
  QTest::keyClick(p.page.List(), Qt::Key_Delete);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"b.mp3", "c.mp3", "gone.mp3"}));
  EXPECT_TRUE(fs::exists(a)) << "Remove leaves the file";

  p.page.SelectRows({0, 2});
  QTest::keyClick(p.page.List(), Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(p.Names(), std::vector<std::string>{"c.mp3"});
  EXPECT_FALSE(fs::exists(b));
  EXPECT_EQ(ReadFile(desk.Trash() + "/files/b.mp3"), "audio");
  EXPECT_TRUE(ReadFile(desk.Trash() + "/info/b.mp3.trashinfo").find("Path=" + b) !=
              std::string::npos);
  EXPECT_TRUE(p.Logged(" " + gone + " not found!"));
  EXPECT_TRUE(boxes.Seen().empty()) << "the trash needs no question";
  EXPECT_EQ(p.Stored(), std::vector<std::string>{"c.mp3"});

  // No trash to be had: ask, and No keeps everything.
  fs::remove_all(desk.Root() + "/data");
  WriteFile(desk.Root() + "/data", "not a folder");
  p.Add("d.mp3");
  QTest::keyClick(p.page.List(), Qt::Key_A, Qt::ControlModifier);
  boxes.Queue(QMessageBox::No);
  QTest::keyClick(p.page.List(), Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{"Permanently Delete the File(s), Are You Sure?"});
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"c.mp3", "d.mp3"}));
  EXPECT_TRUE(fs::exists(c));
  boxes.Queue(QMessageBox::Yes);
  QTest::keyClick(p.page.List(), Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_TRUE(p.Names().empty());
  EXPECT_FALSE(fs::exists(c));
}

TEST(OutputPage, HeaderClicksSortAndTheSecondClickReverses) {
  Page p("output-sort");
  p.Add("short.mp3", 59);
  p.Add("long.mp3", 100 * 3600);
  p.Add("mid.mp3", 9 * 3600);
  p.page.resize(900, 300);
  p.page.show();
  QHeaderView* header = p.page.List()->horizontalHeader();
  auto click = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  };
  click(kColDuration);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"short.mp3", "mid.mp3", "long.mp3"}));
  EXPECT_EQ(header->sortIndicatorSection(), kColDuration);
  click(kColDuration);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"long.mp3", "mid.mp3", "short.mp3"}));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  p.page.SortBy(kColName);
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"long.mp3", "mid.mp3", "short.mp3"}));
  EXPECT_EQ(p.Stored(), p.Names());
}

TEST(OutputPage, RenameInPlaceInTheWindowNeverOverwrites) {
  WindowFixture w("output-rename");
  ASSERT_TRUE(w.Start());
  w.Boxes().Clear();
  OutputPage& page = *w.Dlg().GetOutputPage();
  w.Dlg().SelectPage(CRecorderDlg::kOutputPage);
  const std::string take = Touch(w.Home() + "/take.mp3"), other = Touch(w.Home() + "/other.mp3");
  WriteFile(other, "other");
  page.AddRecording(QString::fromStdString(take), 1, false);

  auto rename = [&](const QString& text, Qt::Key key) {
    page.SelectRows({0});
    page.Rename();
    auto* editor = page.List()->findChild<QLineEdit*>("renameEditor");
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, key);  // through the window's key filter
    QTest::qWait(20);
  };
  rename("other.mp3", Qt::Key_Return);
  EXPECT_EQ(w.Boxes().Texts(),
            std::vector<QString>{
                "A File Named \"other.mp3\" Already Exists There. The File Was NOT Renamed."});
  EXPECT_EQ(ReadFile(other), "other");
  EXPECT_EQ(ReadFile(take), "audio");
  EXPECT_EQ(page.Items().At(0).name, "take.mp3");

  rename("never.mp3", Qt::Key_Escape);
  EXPECT_EQ(page.Items().At(0).name, "take.mp3");
  rename("Rock \"n\" Roll.mp3", Qt::Key_Return);
  EXPECT_EQ(page.Items().At(0).name, "Rock \"n\" Roll.mp3");
  EXPECT_EQ(ReadFile(w.Home() + "/Rock \"n\" Roll.mp3"), "audio");
  EXPECT_FALSE(fs::exists(take));
  EXPECT_EQ(w.Boxes().Seen().size(), 1u);
}

TEST(OutputPage, EditMetadataHandsTheFileToTheTagEditor) {
  WindowFixture w("output-edit-metadata");
  ASSERT_TRUE(w.Start());
  w.Boxes().Clear();
  OutputPage& page = *w.Dlg().GetOutputPage();
  const std::string mp3 = w.Home() + "/take.mp3";
  ASSERT_EQ(test::Run("ffmpeg -v error -y -f lavfi -i sine=duration=1 " + Quote(mp3)), 0);
  page.AddRecording(QString::fromStdString(mp3), 1, false);
  page.AddRecording(QString::fromStdString(Touch(w.Home() + "/take.wav")), 1, false);

  page.SelectRows({1});
  page.EditMetadata();
  EXPECT_EQ(w.Boxes().Texts(),
            std::vector<QString>{"Sorry, Tarvexa Sounder Recorder Can NOT Tag the File.\n"
                                 "Please Select an Item with Green Circle."});
  MetadataPage& editor = *w.Dlg().GetMetadataPage();
  QSignalSpy loaded(&editor, &MetadataPage::loaded);
  page.SelectRows({0});
  page.EditMetadata();
  EXPECT_EQ(w.Dlg().CurrentPage(), CRecorderDlg::kMetadataPage);
  ASSERT_TRUE(loaded.wait(20000));
  EXPECT_TRUE(loaded[0][0].toBool());
  EXPECT_EQ(editor.Path().toStdString(), mp3);
  EXPECT_EQ(editor.DurationLabel()->text(), "Duration: 00:00:01");
}

TEST(OutputPage, EveryClipOfASplitResampledRecordingIsListed) {
  WindowFixture w("output-recording");
  WriteFile(w.Home() + "/Config.ini",
            "[OUTPUT]\nOutputFormat=1\n[MISC]\nSplit=1\nSplitHour=0\nSplitMin=0\nSplitSec=5\n"
            "[DSP]\nRes=1\nResN=200\n");
  const std::string input = MakeTestWav(w.Home() + "/in.wav", 44100, 2, 11.0);
  w.UseInputFile(input, false);
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  const std::string out = w.Home() + "/rec.wav";
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(out)));
    ASSERT_TRUE(finished.wait(60000));
  }
  // The path chosen twice is one item; the second run's split clips do not
  // replace the first run's and are items of their own.
  const OutputItems& items = dlg.GetOutputPage()->Items();
  ASSERT_EQ(items.Count(), 5) << w.Log().Dump();
  for (const OutputEntry& e : items.Entries()) {
    SCOPED_TRACE(e.name);
    const Audio a = ReadAudio(e.FullPath());
    ASSERT_EQ(a.rate, 44100);
    EXPECT_EQ(e.duration, DurationText(SecondsOfFrames(a.frames, a.rate))) << "the written length";
    EXPECT_EQ(e.size, SizeText(fs::file_size(e.FullPath())));
    EXPECT_EQ(e.format, "WAV");
    EXPECT_EQ(e.taggable, 0u);
  }
  // Listed in the order they finished: the first run's two clips, then
  // the path chosen again (moved to the end) and the second run's clips.
  ASSERT_EQ(items.Find(out), 2);
  std::vector<std::string> durations;
  for (const OutputEntry& e : items.Entries()) durations.push_back(e.duration);
  EXPECT_EQ(durations,
            (std::vector<std::string>{"00:00:10", "00:00:02", "00:00:10", "00:00:10", "00:00:02"}))
      << "five seconds at 200%, the last second at 200%";
  std::vector<OutputEntry> stored;
  EXPECT_TRUE(DecodeOutputList(ReadFile(w.Home() + "/Output.ini"), &stored));
  EXPECT_EQ(stored, items.Entries()) << "written after every change";
}
