#include "MendrikDlg.h"

#include <dlfcn.h>
#include <link.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QProcess>
#include <QtCore/QTimer>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QTextBlock>
#include <QtGui/QTextCursor>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QScrollBar>
#include <QtWidgets/QTextEdit>
#include <QtWidgets/QVBoxLayout>

namespace mendrik {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

// The component libraries of the recorder, in the order they are registered;
// the ones an installation does not have are passed over.
constexpr const char* kComponentLibraries[] = {
    "SndAudioCompress2",
    "SndAudioDesign2",
    "SndAudioDisplay2",
    "SndAudioFile2",
    "SndAudioCDGrabber2",
    "SndAudioInformation2",
    "SndAudioLibrary2",
    "SndAudioPlayer2",
    "SndAudioRecord2",
    "SndAudioTransform2",
    "SndAudioVisualization2",
    "SndAudioVisualizationEx2",
    "SndDTMFRecognizer2",
    "SndDXTransform2",
    "SndTextToAudio2",
    "SndWavChunksEditor2",
    "SndWMAFile2",
    "WMAFileInformation2",
    "SndWMABroadcastService2",
};

// A registration that takes longer than this has hung.
constexpr int kHelperTimeoutMs = 30000;

// Where the dynamic linker finds a library; "" when it cannot.
QString LinkerPath(const char* soname) {
  void* handle = dlopen(soname, RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) handle = dlopen(soname, RTLD_LAZY);
  if (!handle) return QString();
  QString path;
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
    path = QString::fromLocal8Bit(map->l_name);
  dlclose(handle);
  return path;
}

// A blue disc with a white wrench.
QIcon MendrikIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    {
      QPainter p(&pixmap);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(size / 64.0, size / 64.0);
      QLinearGradient fill(0, 0, 0, 64);
      fill.setColorAt(0, QColor(60, 110, 230));
      fill.setColorAt(1, QColor(10, 40, 150));
      p.setPen(Qt::NoPen);
      p.setBrush(fill);
      p.drawEllipse(2, 2, 60, 60);
      p.translate(32, 32);
      p.rotate(45);
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(-4.5, -6, 9, 26), 3, 3);
      QPainterPath head;
      head.addEllipse(QPointF(0, -13), 11, 11);
      QPainterPath jaw;
      jaw.addRect(QRectF(-4, -26, 8, 13));
      p.drawPath(head.subtracted(jaw));
    }
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

MendrikDlg::Places MendrikDlg::DefaultPlaces() {
  Places places;
  places.programFolder = QCoreApplication::applicationDirPath();
  places.helper = places.programFolder + QStringLiteral("/tarvexa-register");
  for (size_t i = 0; i < kSystemLibraries.size(); ++i)
    places.systemLibraries[i] = LinkerPath(kSystemLibraries[i]);
  return places;
}

MendrikDlg::MendrikDlg(Places places, QWidget* parent)
    : QDialog(parent), places_(std::move(places)) {
  setWindowTitle(tr("Mendrik"));
  setWindowIcon(MendrikIcon());

  auto* box = new QGroupBox(tr("Repair Info"), this);
  log_ = new QTextEdit(box);
  log_->setReadOnly(true);
  log_->setAcceptRichText(false);
  auto* boxLayout = new QVBoxLayout(box);
  boxLayout->addWidget(log_);

  repair_ = new QPushButton(tr("Repair"), this);
  exit_ = new QPushButton(tr("Exit"), this);
  repair_->setDefault(true);
  connect(repair_, &QPushButton::clicked, this, &MendrikDlg::Repair);
  connect(exit_, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(repair_);
  buttons->addWidget(exit_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addLayout(buttons);
  resize(640, 380);

  LogLine(tr("If you fail to execute the program, run this tool to fix it."), kBlue);
  LogLine(tr("This situation usually occurs when the installation info has been corrupted."),
          kBlue);
  LogLine(tr("You MUST run the Mendrik in the software installation directory."), kBlue);
}

MendrikDlg::~MendrikDlg() {
  // A registration under way is let finish, so that it leaves no half-done
  // work behind.
  if (process_) {
    process_->disconnect(this);
    process_->waitForFinished(kHelperTimeoutMs);
  }
}

void MendrikDlg::LogLine(const QString& text, const QColor& colour) {
  QString lines = text + QStringLiteral("\r\n");
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QTextCursor cursor(log_->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(colour);
  cursor.insertText(lines, format);
  log_->setTextCursor(cursor);
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

QList<MendrikDlg::Line> MendrikDlg::LogLines() const {
  QList<Line> lines;
  const QTextDocument* doc = log_->document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    // The empty block after the last line end is where the next line goes.
    if (block == doc->lastBlock() && block.text().isEmpty()) break;
    QColor colour = block.charFormat().foreground().color();
    if (block.begin() != block.end())
      colour = block.begin().fragment().charFormat().foreground().color();
    lines.push_back({block.text(), colour});
  }
  return lines;
}

void MendrikDlg::Repair() {
  if (running_) {
    ++pending_;
    return;
  }
  StartRun();
}

void MendrikDlg::StartRun() {
  running_ = true;
  steps_.clear();
  for (size_t i = 0; i < kSystemLibraries.size(); ++i)
    steps_.push_back({places_.systemLibraries[i], QString::fromLatin1(kSystemLibraries[i]), true});
  for (const char* name : kComponentLibraries)
    steps_.push_back({places_.programFolder + QStringLiteral("/components/") + QLatin1String(name) +
                          QStringLiteral(".so"),
                      QLatin1String(name) + QStringLiteral(".so"), false});
  next_ = 0;
  LogLine(QStringLiteral("\r") + QString(60, QLatin1Char('*')), kBlue);
  NextStep();
}

void MendrikDlg::NextStep() {
  while (next_ < steps_.size()) {
    const Step& step = steps_[next_];
    if (!step.path.isEmpty() && QFileInfo::exists(step.path)) {
      StartHelper(step);
      return;
    }
    if (step.system)
      LogLine(tr("%1 not found! You need to reinstall the software.").arg(step.name), kRed);
    ++next_;
  }

  LogLine(QString(60, QLatin1Char('*')) + QStringLiteral("\r\n"), kBlue);
  LogLine(tr("Done!"), kBlue);
  LogLine(tr("If you still can not run the program after the repairation, you need to reinstall "
             "the software."),
          kBlue);
  running_ = false;
  emit repairDone();
  if (pending_ > 0) {
    --pending_;
    StartRun();
  }
}

void MendrikDlg::StartHelper(const Step& step) {
  auto* process = new QProcess(this);
  process_ = process;
  process->setProgram(places_.helper);
  QStringList args;
  if (step.system) args << QStringLiteral("--system");
  args << step.path << QStringLiteral("-s");
  process->setArguments(args);
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->setStandardInputFile(QProcess::nullDevice());
  connect(process, &QProcess::finished, this,
          [this, process](int code, QProcess::ExitStatus status) {
            StepDone(process, status == QProcess::NormalExit && code == 0);
          });
  connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) StepDone(process, false);
  });
  // A hung helper is killed; its finished() then reports the failure.
  QTimer::singleShot(kHelperTimeoutMs, process, [process] { process->kill(); });
  process->start();
}

void MendrikDlg::StepDone(QProcess* process, bool ok) {
  if (process != process_) return;
  process_ = nullptr;
  process->disconnect(this);
  process->deleteLater();
  const QString& name = steps_[next_].name;
  if (ok)
    LogLine(tr("%1 repaired.").arg(name), kBlue);
  else
    LogLine(tr("Fail to repair %1.").arg(name), kRed);
  ++next_;
  NextStep();
}

}  // namespace mendrik
