#pragma once
// What a format family brings to the main window: its commands in the menu
// of the "Format" button and its pages in the "Encoder Options" sheet. Each
// family describes them in one FormatFamilyUi beside its pages, and the
// table (formats/ui/FamilyUiTable.cpp) lists them; the menu and the sheet
// are built from the table.
// Thread affinity: the user-interface thread.

#include <QtCore/QString>

#include <functional>
#include <vector>

#include "config/Settings.h"

class QWidget;

namespace tarvexa {

class OptionPage;

struct FormatMenuEntry {
  // The menu's parts, with a separator between them.
  enum Section { kMain, kFurtherFormats, kUserCustomized };

  int format = 0;    // the OutputFormat the command chooses
  int variant = -1;  // a format with several commands: FLAC 1 native, 0 Ogg
                     // FLAC; AAC the container; else -1
  QString text;      // "Set Format: WAV"
  QString submenu;   // the submenu the command is in; empty: the menu itself
  Section section = kMain;
  // Asked before the command chooses the format; false abandons it (the
  // hook has said why). Empty: always allowed.
  std::function<bool(QWidget* owner, const Settings& s)> mayChoose;
  // What the command sets besides OutputFormat. Empty: nothing.
  std::function<void(Settings& s)> choose;
  // Whether the command stands for the settings when its format is current.
  // Empty: yes.
  std::function<bool(const Settings& s)> isCurrent;
};

struct OptionPageEntry {
  int format = 0;  // the sheet lists the pages in the order of the formats
  std::function<OptionPage*(Settings& s)> make;
};

struct FormatFamilyUi {
  std::vector<FormatMenuEntry> menu;
  std::vector<OptionPageEntry> pages;
};

// Every family's window part.
const std::vector<FormatFamilyUi>& FormatFamiliesUi();

// Every menu command in menu order: by part, then by format, then in the
// order its family gives them.
std::vector<const FormatMenuEntry*> FormatMenuEntries();
// Every page in sheet order: by format, then in the order its family gives.
std::vector<const OptionPageEntry*> OptionPageEntries();

// "Set Format: " + what.
QString SetFormatText(const char* what);
// The one command of a format: "Set Format: " and its tag.
FormatMenuEntry PlainCommand(int format, FormatMenuEntry::Section section = FormatMenuEntry::kMain);
// For mayChoose hooks: a Yes/No question (No by default); true for Yes.
bool AskYesNo(QWidget* owner, const char* question);
// For mayChoose hooks: a warning box.
void Warn(QWidget* owner, const char* text);

}  // namespace tarvexa
