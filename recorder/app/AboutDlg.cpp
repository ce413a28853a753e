#include "app/AboutDlg.h"

#include <portaudio.h>
#include <sndfile.h>

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QVBoxLayout>

#include "widgets/Icons.h"

namespace tarvexa {

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About Tarvexa Sound Recorder"));

  auto* icon = new QLabel(this);
  icon->setPixmap(icons::Program().pixmap(64, 64));
  icon->setAlignment(Qt::AlignTop);

  auto* name = new QLabel(QStringLiteral("%1 %2").arg(QString::fromUtf8(kProgramName),
                                                      QString::fromUtf8(kProgramVersion)),
                          this);
  QFont f = name->font();
  f.setPointSizeF(f.pointSizeF() * 1.4);
  f.setBold(true);
  name->setFont(f);

  auto* about = new QLabel(
      tr("Records what reaches a sound-card input into WAV, MP3, Ogg Vorbis, FLAC and many "
         "more formats, with silence detection, automatic stop and split, and a scheduler."),
      this);
  about->setWordWrap(true);

  char sndfileVersion[64] = {};
  sf_command(nullptr, SFC_GET_LIB_VERSION, sndfileVersion, sizeof sndfileVersion);
  auto* libs =
      new QLabel(tr("Built with Qt %1, %2 and %3.")
                     .arg(QString::fromLatin1(qVersion()), QString::fromUtf8(Pa_GetVersionText()),
                          QString::fromUtf8(sndfileVersion)),
                 this);
  libs->setWordWrap(true);

  auto* links =
      new QLabel(tr("Home page: <a href=\"%1\">%1</a><br>Support: <a href=\"mailto:%2\">%2</a>")
                     .arg(QString::fromUtf8(kHomePage), QString::fromUtf8(kSupportMail)),
                 this);
  links->setOpenExternalLinks(true);
  links->setTextInteractionFlags(Qt::TextBrowserInteraction);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(about);
  text->addWidget(links);
  text->addWidget(libs);
  text->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(8);
  top->addLayout(text, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &AboutDlg::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  setMinimumWidth(440);
}

}  // namespace tarvexa
