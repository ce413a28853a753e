#include "formats/ui/OptionPage.h"

namespace tarvexa {

OptionPage::OptionPage(QString title, Settings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings), title_(std::move(title)) {
  setObjectName(title_);
}

void OptionPage::LoadPage() {
  loading_ = true;
  Load();
  Stabilize();
  loading_ = false;
  loaded_ = true;
  modified_ = false;
}

void OptionPage::Changed() {
  if (loading_) return;
  modified_ = true;
  Stabilize();
  emit modified();
}

void OptionPage::Log(const std::string& text, int level) const {
  if (log_) log_(text, level);
}

}  // namespace tarvexa
