// Mendrik on the offscreen platform: the opening lines, whole repair blocks,
// red lines for what cannot be repaired, and the repair of a broken
// registration that keeps the recorder from starting.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QPushButton>
#include <filesystem>
#include <functional>

#include "GuiTestSupport.h"
#include "MendrikDlg.h"
#include "TestSupport.h"
#include "components/ComponentRegistry.h"

using namespace tarvexa;
using namespace tarvexa::test;
using mendrik::MendrikDlg;
namespace fs = std::filesystem;

namespace {

const std::string kBuilt = std::string(TARVEXA_BIN_DIR) + "/components";
const std::string kStars(60, '*');
const QColor kBlue(0, 0, 255), kRed(255, 0, 0);

// An installation folder holding copies of the built component libraries,
// nothing registered.
std::string MakeInstall(const std::string& name) {
  const std::string dir = ScratchDir("mendrik-" + name);
  fs::create_directory(dir + "/components");
  for (const auto& entry : fs::directory_iterator(kBuilt))
    if (entry.path().extension() == ".so")
      fs::copy_file(entry.path(), dir + "/components/" + entry.path().filename().string());
  return dir;
}

MendrikDlg::Places PlacesFor(const std::string& install) {
  MendrikDlg::Places places = MendrikDlg::DefaultPlaces();
  places.programFolder = QString::fromStdString(install);
  places.helper = QString::fromStdString(std::string(TARVEXA_BIN_DIR) + "/tarvexa-register");
  return places;
}

// Presses "Repair" `times` times in a row and waits for as many blocks.
void Repair(MendrikDlg& dlg, int times) {
  int done = 0;
  auto connection = QObject::connect(&dlg, &MendrikDlg::repairDone, [&] { ++done; });
  for (int i = 0; i < times; ++i) QTest::mouseClick(dlg.RepairButton(), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return done == times; }, 60000));
  QObject::disconnect(connection);
}

std::vector<std::string> Texts(const QList<MendrikDlg::Line>& lines, int from = 0) {
  std::vector<std::string> texts;
  for (int i = from; i < lines.size(); ++i) texts.push_back(lines[i].text.toStdString());
  return texts;
}

std::vector<std::string> RedLines(const MendrikDlg& dlg) {
  std::vector<std::string> red;
  for (const auto& line : dlg.LogLines())
    if (line.colour == kRed)
      red.push_back(line.text.toStdString());
    else
      EXPECT_TRUE(line.text.isEmpty() || line.colour == kBlue) << line.text.toStdString();
  return red;
}

std::vector<std::string> Registered(const std::string& install) {
  ComponentEntries entries;
  std::string why;
  ReadRegistry(InstalledRegistry(install + "/components"), &entries, &why);
  std::vector<std::string> names;
  for (const auto& [name, path] : entries) {
    EXPECT_EQ(path, install + "/components/" + name + ".so");
    names.push_back(name);
  }
  return names;
}

const std::vector<std::string> kSix = {
    "SndAudioRecord2",          "SndAudioTransform2", "SndAudioVisualization2",
    "SndAudioVisualizationEx2", "SndWMAFile2",        "WMAFileInformation2"};

}  // namespace

TEST(Mendrik, OpensWithThreeLinesAndAppendsAWholeBlockPerRepair) {
  const std::string install = MakeInstall("twice");
  MendrikDlg dlg(PlacesFor(install));
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), "Mendrik");
  const std::vector<std::string> opening = {
      "If you fail to execute the program, run this tool to fix it.",
      "This situation usually occurs when the installation info has been corrupted.",
      "You MUST run the Mendrik in the software installation directory."};
  EXPECT_EQ(Texts(dlg.LogLines()), opening);

  Repair(dlg, 2);
  // The twelve libraries this installation lacks are passed over silently.
  std::vector<std::string> block = {"", kStars, "libstdc++.so.6 repaired.", "libc.so.6 repaired."};
  for (const auto& name : kSix) block.push_back(name + ".so repaired.");
  block.insert(block.end(), {kStars, "", "Done!",
                             "If you still can not run the program after the repairation, you "
                             "need to reinstall the software."});
  std::vector<std::string> expected = opening;
  expected.insert(expected.end(), block.begin(), block.end());
  expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(Texts(dlg.LogLines()), expected);
  EXPECT_TRUE(RedLines(dlg).empty());
  EXPECT_EQ(Registered(install), kSix);

  QTest::mouseClick(dlg.ExitButton(), Qt::LeftButton);
  EXPECT_FALSE(dlg.isVisible());
}

TEST(Mendrik, WhatCannotBeRepairedIsRedAndTheRunGoesOn) {
  struct Case {
    const char* name;
    std::function<void(MendrikDlg::Places&, const std::string& install)> breakIt;
    std::vector<std::string> systemLines;  // red
    std::vector<std::string> failing;      // components with a red line, not registered
  };
  const auto replace = [](const std::string& library, const std::string& component) {
    return [=](MendrikDlg::Places&, const std::string& install) {
      fs::copy_file(library, install + "/components/" + component + ".so",
                    fs::copy_options::overwrite_existing);
    };
  };
  const std::vector<Case> cases = {
      {"missing-system-library",
       [](MendrikDlg::Places& p, const std::string&) { p.systemLibraries[0].clear(); },
       {"libstdc++.so.6 not found! You need to reinstall the software."},
       {}},
      {"no-helper",
       [](MendrikDlg::Places& p, const std::string& install) {
         p.helper = QString::fromStdString(install + "/no-such-helper");
       },
       {"Fail to repair libstdc++.so.6.", "Fail to repair libc.so.6."},
       kSix},
      {"answers-to-another-name",
       replace(kBuilt + "/SndAudioTransform2.so", "SndWMAFile2"),
       {},
       {"SndWMAFile2"}},
      {"no-entry-point",
       replace("/lib/x86_64-linux-gnu/libm.so.6", "SndAudioRecord2"),
       {},
       {"SndAudioRecord2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string install = MakeInstall(c.name);
    MendrikDlg::Places places = PlacesFor(install);
    c.breakIt(places, install);
    MendrikDlg dlg(places);
    Repair(dlg, 1);

    std::vector<std::string> red = c.systemLines, registered;
    for (const auto& name : kSix) {
      if (std::find(c.failing.begin(), c.failing.end(), name) == c.failing.end())
        registered.push_back(name);
      else
        red.push_back("Fail to repair " + name + ".so.");
    }
    EXPECT_EQ(RedLines(dlg), red);
    EXPECT_EQ(dlg.LogLines().back().text.toStdString().rfind("If you still can not run", 0), 0u);
    EXPECT_EQ(Registered(install), registered);
  }
}

// The recorder does not start with a broken registration; Mendrik, run in
// the installation folder, mends it.
TEST(Mendrik, RepairsABrokenRegistrationSoThatTheRecorderStartsAgain) {
  struct Case {
    const char* name;
    std::function<void(const std::string& components, const std::string& home)> breakIt;
    std::vector<QString> boxes;  // before "Error !"
  };
  const std::vector<QString> allSix = {"Error on CreateInstance ActiveX AudioRecord2!",
                                       "Error on CreateInstance ActiveX WMAFile2!",
                                       "Error on CreateInstance ActiveX WMAFileInformation2!",
                                       "Error on CreateInstance ActiveX AudioTransform!",
                                       "Can't Create SndAudioVisualisation2 Control!",
                                       "Can't Create SndAudioVisualisationEx2 Control!"};
  const std::vector<Case> cases = {
      {"deleted",
       [](const std::string& dir, const std::string&) { fs::remove(dir + "/components.reg"); },
       allSix},
      {"corrupt",
       [](const std::string& dir, const std::string&) {
         std::string text = ReadFile(dir + "/components.reg");
         WriteFile(dir + "/components.reg",
                   text.substr(text.size() / 3) + std::string("\0\x7f\x01", 3));
       },
       allSix},
      {"missing-library",
       [](const std::string& dir, const std::string&) {
         std::string why;
         UpdateRegistry(
             dir + "/components.reg",
             [&](ComponentEntries& e) { e["SndWMAFile2"] = dir + "/gone/SndWMAFile2.so"; }, &why);
       },
       {"Error on CreateInstance ActiveX WMAFile2!"}},
      {"stale-user-entry",
       [](const std::string&, const std::string& home) {
         WriteFile(home + "/components.reg",
                   "[Components]\nSndAudioTransform2=/gone/SndAudioTransform2.so\n");
       },
       {"Error on CreateInstance ActiveX AudioTransform!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string install = MakeInstall("broken-" + std::string(c.name));
    const std::string components = install + "/components";
    // One data folder for the whole story, as one user would have; the
    // window fixture's own is replaced after it is made.
    const std::string home = ScratchDir("mendrik-home-" + std::string(c.name));
    ScopedEnv data("TARVEXA_HOME", home);
    ScopedEnv folder("TARVEXA_COMPONENT_DIR", components);
    const auto startRecorder = [&](const std::string& run, std::vector<QString>* boxes) {
      WindowFixture w(std::string("mendrik-") + c.name + "-" + run);
      setenv("TARVEXA_HOME", home.c_str(), 1);
      setenv("TARVEXA_COMPONENT_DIR", components.c_str(), 1);
      const bool started = w.Start(false);
      *boxes = w.Boxes().Texts();
      return started;
    };
    MendrikDlg dlg(PlacesFor(install));
    Repair(dlg, 1);
    c.breakIt(components, home);

    std::vector<QString> boxes;
    EXPECT_FALSE(startRecorder("broken", &boxes));
    std::vector<QString> expected = c.boxes;
    expected.push_back("Error !");
    EXPECT_EQ(boxes, expected);

    Repair(dlg, 1);
    EXPECT_TRUE(RedLines(dlg).empty());
    EXPECT_TRUE(startRecorder("repaired", &boxes));
    EXPECT_TRUE(std::find(boxes.begin(), boxes.end(), "Error !") == boxes.end());
  }
}
