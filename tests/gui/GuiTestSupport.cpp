#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QApplication>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "TestSupport.h"

namespace tarvexa::test {

BoxAnswers::BoxAnswers() {
  SetMessageBoxHook([this](const MessageBoxRequest& r) {
    seen_.push_back(r);
    if (!answers_.empty()) {
      auto a = answers_.front();
      answers_.pop_front();
      return a;
    }
    if (r.defaultButton != QMessageBox::NoButton) return r.defaultButton;
    if (r.buttons & QMessageBox::Ok) return QMessageBox::Ok;
    for (int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1)
      if (r.buttons & b) return static_cast<QMessageBox::StandardButton>(b);
    return QMessageBox::NoButton;
  });
}

BoxAnswers::~BoxAnswers() { SetMessageBoxHook(nullptr); }

std::vector<QString> BoxAnswers::Texts() const {
  std::vector<QString> t;
  for (const auto& r : seen_) t.push_back(r.text);
  return t;
}

bool BoxAnswers::Saw(const QString& text) const {
  for (const auto& r : seen_)
    if (r.text == text) return true;
  return false;
}

void LogLines::Attach(EventLog& log) {
  auto lines = lines_;
  log.AddListener([lines](const std::string&, const std::string& message, int level) {
    lines->push_back({message, level});
  });
}

int LogLines::Find(const std::string& text, int from) const {
  for (size_t i = static_cast<size_t>(std::max(0, from)); i < lines_->size(); ++i)
    if ((*lines_)[i].text.find(text) != std::string::npos) return static_cast<int>(i);
  return -1;
}

int LogLines::LevelOf(const std::string& text) const {
  const int i = Find(text);
  return i < 0 ? -99 : (*lines_)[static_cast<size_t>(i)].level;
}

std::string LogLines::Dump() const {
  std::ostringstream out;
  for (const auto& l : *lines_) out << "  [" << l.level << "] " << l.text << "\n";
  return out.str();
}

std::string NoSystemBus() {
  return "unix:path=" + std::string(TARVEXA_TEST_WORK) + "/no-such-bus/socket";
}

bool HandlePostedEvents() {
  // Posted events of one priority are handled in the order they were
  // posted: when this one arrives, those before it have been handled.
  auto reached = std::make_shared<bool>(false);
  QMetaObject::invokeMethod(
      qApp, [reached] { *reached = true; }, Qt::QueuedConnection);
  return QTest::qWaitFor([reached] { return *reached; }, 5000);
}

WindowFixture::WindowFixture(const std::string& name, bool tipAtStartup) {
  home_ = ScratchDir("gui-" + name);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", NoSystemBus().c_str(), 1);
  setenv("TARVEXA_HOME", home_.c_str(), 1);
  unsetenv("TARVEXA_COMPONENT_DIR");
  dlg_ = std::make_unique<CRecorderDlg>();
  dlg_->SetTipAtStartup(tipAtStartup);
  dlg_->SetSystemPower(&power_);
  log_.Attach(dlg_->Log());
}

WindowFixture::~WindowFixture() {
  // Leave no recording behind for the next test.
  if (dlg_ && dlg_->IsSessionActive()) {
    dlg_->StopRecording();
    if (!QTest::qWaitFor([this] { return !dlg_->IsSessionActive(); }, 10000))
      ADD_FAILURE() << "the recording did not end";
  }
  dlg_.reset();
}

void WindowFixture::UseInputFile(const std::string& path, bool realTime) {
  dlg_->SetInputFactory(FileInsteadOfDevice(path, !realTime));
}

bool WindowFixture::Start(bool show) {
  if (!dlg_->Initialize()) return false;
  if (show) {
    dlg_->show();
    QApplication::setActiveWindow(dlg_.get());
    if (!QTest::qWaitForWindowActive(dlg_.get()))
      ADD_FAILURE() << "the window did not become active";
  }
  return true;
}

}  // namespace tarvexa::test

// The widget tests run on the offscreen platform (set by CTest) in one
// QApplication.
int main(int argc, char** argv) {
  // No test may reach the machine's own logind or screen saver.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", tarvexa::test::NoSystemBus().c_str(), 1);
  setenv("DBUS_SESSION_BUS_ADDRESS", tarvexa::test::NoSystemBus().c_str(), 1);
  // Nor the machine's sound server: its sources would join the device lists.
  // A test with a private virtual device points PULSE_SERVER at that one.
  const std::string noSoundServer = "unix:" + std::string(TARVEXA_TEST_WORK) + "/no-sound-server";
  setenv("PULSE_SERVER", noSoundServer.c_str(), 1);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return tarvexa::test::ExitStatus(RUN_ALL_TESTS());
}
