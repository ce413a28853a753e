#pragma once
// Small builders shared by the encoder option pages: drop-down lists, the
// bitrate list texts, sliders with their end captions, and index setters
// that do not signal.
// Thread affinity: the user-interface thread.

#include <QtCore/QStringList>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSlider>

#include <cstdint>

class QAbstractButton;
class QBoxLayout;
class QGridLayout;

namespace tarvexa::pagekit {

// A drop-down list holding items.
QComboBox* List(const QStringList& items, QWidget* parent);
// The 17 entries of BitrateTable as "   8 kbits per second" … " 320 kbits per second".
QStringList BitrateTexts();

// A caption for a control; the control becomes its buddy.
QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent);

// A horizontal slider from min to max.
QSlider* Slider(int min, int max, QWidget* parent);
// The slider between the captions of its two ends.
QBoxLayout* SliderWithEnds(QSlider* slider, const QString& left, const QString& right,
                           QWidget* parent);

// Selects index without emitting signals; an index outside the list selects
// nothing.
void Select(QComboBox* list, int index);
void SetValue(QSlider* slider, int value);
void SetChecked(QAbstractButton* box, bool on);

// A list index as stored in a 16-bit setting.
inline int16_t I16(int v) { return static_cast<int16_t>(v); }

// "[caption] [list]" as one row of a grid.
void AddRow(QGridLayout* grid, int row, const QString& caption, QWidget* control, QWidget* parent);

}  // namespace tarvexa::pagekit
