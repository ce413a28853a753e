#include "formats/ui/pages/PageKit.h"

#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QBoxLayout>
#include <QtWidgets/QGridLayout>

#include "formats/FormatCatalogue.h"

namespace tarvexa::pagekit {

QComboBox* List(const QStringList& items, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems(items);
  list->setMaxVisibleItems(18);
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return list;
}

QStringList BitrateTexts() {
  QStringList texts;
  for (int kbps : BitrateTable) texts << QString::asprintf("%4d kbits per second", kbps);
  return texts;
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

QSlider* Slider(int min, int max, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(min, max);
  slider->setMinimumWidth(220);
  return slider;
}

QBoxLayout* SliderWithEnds(QSlider* slider, const QString& left, const QString& right,
                           QWidget* parent) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(left, parent));
  row->addWidget(slider, 1);
  row->addWidget(new QLabel(right, parent));
  return row;
}

void Select(QComboBox* list, int index) {
  QSignalBlocker block(list);
  list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

void SetValue(QSlider* slider, int value) {
  QSignalBlocker block(slider);
  slider->setValue(value);
}

void SetChecked(QAbstractButton* box, bool on) {
  QSignalBlocker block(box);
  box->setChecked(on);
}

void AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* control, QWidget* parent) {
  grid->addWidget(Caption(caption, control, parent), row, 0);
  grid->addWidget(control, row, 1, Qt::AlignLeft);
}

}  // namespace tarvexa::pagekit
