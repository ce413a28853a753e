#include "formats/ui/FormatFamilyUi.h"

#include <algorithm>

#include "formats/FormatCatalogue.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

std::vector<const FormatMenuEntry*> FormatMenuEntries() {
  std::vector<const FormatMenuEntry*> entries;
  for (const FormatFamilyUi& family : FormatFamiliesUi())
    for (const FormatMenuEntry& e : family.menu) entries.push_back(&e);
  std::stable_sort(
      entries.begin(), entries.end(), [](const FormatMenuEntry* a, const FormatMenuEntry* b) {
        return a->section != b->section ? a->section < b->section : a->format < b->format;
      });
  return entries;
}

std::vector<const OptionPageEntry*> OptionPageEntries() {
  std::vector<const OptionPageEntry*> entries;
  for (const FormatFamilyUi& family : FormatFamiliesUi())
    for (const OptionPageEntry& e : family.pages) entries.push_back(&e);
  std::stable_sort(
      entries.begin(), entries.end(),
      [](const OptionPageEntry* a, const OptionPageEntry* b) { return a->format < b->format; });
  return entries;
}

QString SetFormatText(const char* what) {
  return QStringLiteral("Set Format: %1").arg(QString::fromUtf8(what));
}

FormatMenuEntry PlainCommand(int format, FormatMenuEntry::Section section) {
  FormatMenuEntry e;
  e.format = format;
  e.text = SetFormatText(FormatTag(format));
  e.section = section;
  return e;
}

bool AskYesNo(QWidget* owner, const char* question) {
  return ShowMessageBox(owner, QString::fromUtf8(question), QString(), QMessageBox::Question,
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void Warn(QWidget* owner, const char* text) {
  ShowMessageBox(owner, QString::fromUtf8(text), QString(), QMessageBox::Warning);
}

}  // namespace tarvexa
