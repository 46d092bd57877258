// The settings dialog: run level as three radio buttons, the nine ranking
// sizes as a grid of editable combo boxes (organisations, domains, contents
// by index, month and day pages), and the two directories, shown read-only.
//
// The dialog holds its own copy of the values ("fields"), moved between the
// fields and the controls with length checks, as follows:
//   SetValues      fields from Settings, then into the controls;
//   list opening   the list is emptied, all controls go into the fields
//                  (a failed check shows its message and moves the focus,
//                  and the list is filled anyway), the choices are added;
//   save (accept)  all controls into the fields; the first failed check
//                  keeps the dialog open with the focus on that control;
//   Values         the Settings that the saved fields stand for.
// Cancel transfers nothing.

#ifndef TOVEX_APP_SETTINGS_DIALOG_H_
#define TOVEX_APP_SETTINGS_DIALOG_H_

#include <QDialog>
#include <QString>
#include <array>
#include <memory>
#include <string>

#include "app/prompts.h"
#include "settings/settings.h"

namespace Ui {
class SettingsDialogForm;
}  // namespace Ui

namespace tovex {

class RefillComboBox;

// The texts the size lists offer, in order; organisation lists take the
// first kOrganisationChoices of them.
inline constexpr std::array<const char*, 10> kCountChoices = {
    " 5", "10", "15", "20", "25", "30", "35", "40", "45", "50"};
inline constexpr size_t kOrganisationChoices = 4;

// The length message for a text longer than `max_chars`.
QString TooLongMessage(int max_chars);

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // `prompts` shows the length messages; not owned, must outlive the dialog.
  explicit SettingsDialog(Prompts* prompts, QWidget* parent = nullptr);
  ~SettingsDialog() override;

  // Takes the fields from `settings` and shows them; sizes show as plain
  // decimal numbers.
  void SetValues(const Settings& settings);

  // The settings the fields stand for after a save: the directories as given
  // to SetValues, the run level of the chosen button, and each size the
  // decimal value of its text (no digits: 0). Not clamped.
  Settings Values() const;

  // Save: transfers with the length checks and closes with Accepted only when
  // every text fits.
  void accept() override;

 private:
  static constexpr size_t kSizeCount = 9;

  // Moves every control into the fields in field order. Stops at the first
  // text that is too long, after the message and the focus change; returns
  // false then.
  bool TransferFromControls();
  void TransferToControls();
  bool FitsOrComplain(QWidget* control, const QString& text, size_t max_chars);
  void RefillList(RefillComboBox* box, size_t choices);
  RefillComboBox* SizeBox(size_t field) const;

  Prompts* prompts_;
  std::unique_ptr<Ui::SettingsDialogForm> ui_;

  // The fields. The directories keep their original bytes: their controls
  // are read-only, and a name in a foreign encoding must survive the save.
  std::string work_dir_;
  std::string html_dir_;
  QString work_dir_text_;
  QString html_dir_text_;
  int run_level_ = -1;
  std::array<QString, kSizeCount> size_texts_;
};

}  // namespace tovex

#endif  // TOVEX_APP_SETTINGS_DIALOG_H_
