#pragma once
// Shared by the window tests: a QApplication on the offscreen platform, a
// message-box hook that answers and remembers every box, the event log as
// a list, and a window started in a fresh data folder.

#include <QtWidgets/QMessageBox>

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/RecorderDlg.h"
#include "widgets/MessageBox.h"

namespace tarvexa::test {

// Answers every box: the next queued answer if there is one, else the box's
// default button (or OK, or the first button it has).
class BoxAnswers {
 public:
  BoxAnswers();
  ~BoxAnswers();
  void Queue(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
  const std::vector<MessageBoxRequest>& Seen() const { return seen_; }
  std::vector<QString> Texts() const;
  bool Saw(const QString& text) const;
  void Clear() { seen_.clear(); }

 private:
  std::deque<QMessageBox::StandardButton> answers_;
  std::vector<MessageBoxRequest> seen_;
};

struct LogLine {
  std::string text;
  int level;
};

// Every line of an event log, from the moment of Attach.
class LogLines {
 public:
  void Attach(EventLog& log);
  const std::vector<LogLine>& Lines() const { return *lines_; }
  // Index of the first line holding text (from `from` on), -1 when none.
  int Find(const std::string& text, int from = 0) const;
  bool Has(const std::string& text) const { return Find(text) >= 0; }
  int LevelOf(const std::string& text) const;
  std::string Dump() const;

 private:
  std::shared_ptr<std::vector<LogLine>> lines_ = std::make_shared<std::vector<LogLine>>();
};

// Stands in for logind: remembers the actions asked for, does nothing.
class FakePower : public SystemPower {
 public:
  bool Run(PowerAction action, std::string* error, const PowerNote&) override {
    calls.push_back(action);
    if (!fail.empty()) *error = fail;
    return fail.empty();
  }
  std::vector<PowerAction> calls;
  std::string fail;  // non-empty: refuse with this reason
};

// A fresh data folder ($TARVEXA_HOME) for one test; the tip of the day off
// unless asked for. Power actions go to a FakePower, and the system bus is
// pointed at nothing, so that no test can reach the real logind.
class WindowFixture {
 public:
  explicit WindowFixture(const std::string& name, bool tipAtStartup = false);
  ~WindowFixture();
  CRecorderDlg& Dlg() { return *dlg_; }
  const std::string& Home() const { return home_; }
  BoxAnswers& Boxes() { return boxes_; }
  LogLines& Log() { return log_; }
  FakePower& Power() { return power_; }
  // Runs the start-up sequence; shows the window and waits until it is
  // active when show is true.
  bool Start(bool show = true);
  // Recordings read this sound file in place of the sound card (in real
  // time, or as fast as the encoder takes it), with its rate and channels.
  void UseInputFile(const std::string& path, bool realTime);

 private:
  std::string home_;
  BoxAnswers boxes_;
  LogLines log_;
  FakePower power_;
  std::unique_ptr<CRecorderDlg> dlg_;
};

// The system bus address used by every window test: a socket that does not exist.
std::string NoSystemBus();

// Returns once every event and queued call already posted to the main
// thread (zero-time timers included) has been handled: what a widget
// scheduled in reaction to something has then happened, so a check that
// it did not happen is not merely early. False after five seconds.
bool HandlePostedEvents();

}  // namespace tarvexa::test
