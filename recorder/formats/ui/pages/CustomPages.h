#pragma once
// The user-customised encoder's page "Encoder::Customized": the program, its
// parameters, the output extension, how the audio reaches it and whether
// its console output is kept in External.log; "Load" and "Save" read and
// write the four settings as a ".ces" file.
// Thread affinity: the user-interface thread.

#include <functional>

#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/OptionPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarvexa {

class CCustomOption : public OptionPage {
  Q_OBJECT

 public:
  explicit CCustomOption(Settings& settings, QWidget* parent = nullptr);
  void Store() override;

  // Which file the page asks for: the encoder program, a ".ces" file to
  // load, or one to save into. The answer is a path, or empty for Cancel.
  enum class FileKind { Program, LoadSettings, SaveSettings };
  using FileAsker = std::function<QString(FileKind)>;
  // Replaces the file dialogs (tests, scripted use).
  void SetFileAsker(FileAsker asker) { askFile_ = std::move(asker); }

  // "Load" and "Save" with the file already chosen.
  void LoadSettingsFile(const QString& path);
  void SaveSettingsFile(const QString& path);

  QLineEdit* EncoderEdit() const { return encoder_; }
  QLineEdit* ParameterEdit() const { return parameter_; }
  QLineEdit* ExtensionEdit() const { return ext_; }
  QComboBox* InputList() const { return input_; }
  QCheckBox* DetailBox() const { return detail_; }
  QPushButton* BrowseButton() const { return browse_; }
  QPushButton* LoadButton() const { return load_; }
  QPushButton* SaveButton() const { return save_; }

 protected:
  void Load() override;

 private:
  QString AskFile(FileKind kind);

  FileAsker askFile_;
  QLineEdit* encoder_;
  QPushButton* browse_;
  QLineEdit* parameter_;
  QLineEdit* ext_;
  QComboBox* input_;
  QCheckBox* detail_;
  QPushButton* load_;
  QPushButton* save_;
};

// The user-customised encoder: its command (checked before it is chosen) and
// its page.
FormatFamilyUi UserCustomizedFamilyUi();

}  // namespace tarvexa
