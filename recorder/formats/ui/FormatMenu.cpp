#include "formats/ui/FormatMenu.h"

#include <QtGui/QActionGroup>

#include <algorithm>

namespace tarvexa {

FormatMenu::FormatMenu(Settings& settings, Hooks hooks, QWidget* parent)
    : QMenu(parent), settings_(settings), hooks_(std::move(hooks)) {
  // One radio mark over the menu and its submenus: the current format.
  group_ = new QActionGroup(this);
  group_->setExclusive(true);
  bool first = true;
  FormatMenuEntry::Section section = FormatMenuEntry::kMain;
  std::vector<std::pair<QString, QMenu*>> submenus;
  for (const FormatMenuEntry* command : FormatMenuEntries()) {
    if (!first && command->section != section) addSeparator();
    first = false;
    section = command->section;
    QMenu* menu = this;
    if (!command->submenu.isEmpty()) {
      auto it = std::find_if(submenus.begin(), submenus.end(),
                             [&](const auto& s) { return s.first == command->submenu; });
      if (it == submenus.end()) {
        submenus.emplace_back(command->submenu, addMenu(command->submenu));
        it = submenus.end() - 1;
      }
      menu = it->second;
    }
    Add(menu, *command);
  }
  connect(this, &QMenu::aboutToShow, this, &FormatMenu::MarkCurrent);
}

void FormatMenu::Add(QMenu* menu, const FormatMenuEntry& command) {
  QAction* action = menu->addAction(command.text);
  const int id = kFirstCommand + static_cast<int>(commands_.size());
  action->setData(id);
  action->setCheckable(true);
  group_->addAction(action);
  commands_.push_back({&command, action});
  connect(action, &QAction::triggered, this, [this, id] {
    Run(id);
    MarkCurrent();
  });
}

QAction* FormatMenu::Command(int id) const {
  const int i = id - kFirstCommand;
  return i >= 0 && i < CommandCount() ? commands_[static_cast<size_t>(i)].action : nullptr;
}

int FormatMenu::CommandFor(int format, int variant) const {
  for (size_t i = 0; i < commands_.size(); ++i) {
    const FormatMenuEntry& c = *commands_[i].command;
    if (c.format == format && (variant < 0 || c.variant == variant))
      return kFirstCommand + static_cast<int>(i);
  }
  return 0;
}

bool FormatMenu::Run(int id) {
  const int i = id - kFirstCommand;
  if (i < 0 || i >= CommandCount()) return false;
  const FormatMenuEntry& c = *commands_[static_cast<size_t>(i)].command;
  if (hooks_.confirmStop && !hooks_.confirmStop()) return false;
  if (c.mayChoose && !c.mayChoose(parentWidget(), settings_)) return false;
  if (c.choose) c.choose(settings_);
  settings_.OUTPUT.OutputFormat = static_cast<int16_t>(c.format);
  if (hooks_.apply) hooks_.apply();
  return true;
}

void FormatMenu::MarkCurrent() {
  const int format = settings_.OUTPUT.OutputFormat;
  for (const Entry& e : commands_) {
    const FormatMenuEntry& c = *e.command;
    e.action->setChecked(c.format == format && (!c.isCurrent || c.isCurrent(settings_)));
  }
}

}  // namespace tarvexa
