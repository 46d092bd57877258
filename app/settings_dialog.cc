#include "app/settings_dialog.h"

#include <QFile>
#include <QLineEdit>

#include "app/app_info.h"
#include "app/refill_combo_box.h"
#include "base/decimal.h"
#include "base/texts.h"
#include "ui_settings_dialog.h"

namespace tovex {
namespace {

// One size field: its combo box, the setting it carries and how many of the
// choices its list offers. In the dialog's field order.
struct SizeField {
  RefillComboBox* Ui::SettingsDialogForm::*box;
  RowGroup Settings::*group;
  int RowGroup::*rows;
  size_t choices;
};

constexpr size_t kAllChoices = kCountChoices.size();

constexpr std::array<SizeField, 9> kSizeFields = {{
    {&Ui::SettingsDialogForm::combo1015_days_domn, &Settings::day_rows,
     &RowGroup::domains, kAllChoices},
    {&Ui::SettingsDialogForm::combo1032_days_html, &Settings::day_rows,
     &RowGroup::contents, kAllChoices},
    {&Ui::SettingsDialogForm::combo1011_month_clas, &Settings::month_rows,
     &RowGroup::organisations, kOrganisationChoices},
    {&Ui::SettingsDialogForm::combo1030_month_domn, &Settings::month_rows,
     &RowGroup::domains, kAllChoices},
    {&Ui::SettingsDialogForm::combo1033_month_html, &Settings::month_rows,
     &RowGroup::contents, kAllChoices},
    {&Ui::SettingsDialogForm::combo1031_index_domn, &Settings::index_rows,
     &RowGroup::domains, kAllChoices},
    {&Ui::SettingsDialogForm::combo1035_index_html, &Settings::index_rows,
     &RowGroup::contents, kAllChoices},
    {&Ui::SettingsDialogForm::combo1010_index_clas, &Settings::index_rows,
     &RowGroup::organisations, kOrganisationChoices},
    {&Ui::SettingsDialogForm::combo1012_days_clas, &Settings::day_rows,
     &RowGroup::organisations, kOrganisationChoices},
}};

QString FromFileName(const std::string& name) {
  return QFile::decodeName(QByteArray::fromStdString(name));
}

}  // namespace

QString TooLongMessage(int max_chars) {
  return QString::fromStdString(FormatText(UserText::kTooLong, max_chars));
}

SettingsDialog::SettingsDialog(Prompts* prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      ui_(std::make_unique<Ui::SettingsDialogForm>()) {
  static_assert(kSizeFields.size() == kSizeCount);
  ui_->setupUi(this);
  setFont(DialogFont());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  for (size_t i = 0; i < kSizeCount; ++i) {
    RefillComboBox* box = SizeBox(i);
    // Typed sizes stay as typed: no completion from the list.
    box->setCompleter(nullptr);
    const size_t choices = kSizeFields[i].choices;
    connect(box, &RefillComboBox::listAboutToOpen, this,
            [this, box, choices] { RefillList(box, choices); });
  }
  connect(ui_->button1_save, &QPushButton::clicked, this,
          &SettingsDialog::accept);
  connect(ui_->button2_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

SettingsDialog::~SettingsDialog() = default;

RefillComboBox* SettingsDialog::SizeBox(size_t field) const {
  return ui_.get()->*kSizeFields[field].box;
}

void SettingsDialog::SetValues(const Settings& settings) {
  work_dir_ = settings.work_dir;
  html_dir_ = settings.html_dir;
  work_dir_text_ = FromFileName(settings.work_dir);
  html_dir_text_ = FromFileName(settings.html_dir);
  run_level_ = static_cast<int>(settings.run_level);
  for (size_t i = 0; i < kSizeCount; ++i) {
    const SizeField& f = kSizeFields[i];
    size_texts_[i] = QString::number((settings.*f.group).*f.rows);
  }
  TransferToControls();
}

Settings SettingsDialog::Values() const {
  Settings settings;
  settings.work_dir = work_dir_;
  settings.html_dir = html_dir_;
  settings.run_level = RunLevelOf(run_level_);
  for (size_t i = 0; i < kSizeCount; ++i) {
    const SizeField& f = kSizeFields[i];
    (settings.*f.group).*f.rows = DecimalValue(size_texts_[i].toStdString());
  }
  return settings;
}

void SettingsDialog::accept() {
  if (TransferFromControls()) QDialog::accept();
}

void SettingsDialog::TransferToControls() {
  ui_->edit1016_workdir->setText(work_dir_text_);
  ui_->edit1017_htmldir->setText(html_dir_text_);
  QRadioButton* buttons[] = {ui_->radio1004_year, ui_->radio1005_month,
                             ui_->radio1006_day};
  for (QRadioButton* button : buttons) {
    // An exclusive button cannot be unchecked, and a run level outside
    // 0..2 checks none of them.
    button->setAutoExclusive(false);
  }
  for (int level = 0; level < 3; ++level) {
    buttons[level]->setChecked(level == run_level_);
  }
  for (QRadioButton* button : buttons) button->setAutoExclusive(true);
  for (size_t i = 0; i < kSizeCount; ++i) {
    SizeBox(i)->setEditText(size_texts_[i]);
  }
}

bool SettingsDialog::TransferFromControls() {
  const QString work_dir = ui_->edit1016_workdir->text();
  if (!FitsOrComplain(ui_->edit1016_workdir, work_dir, kMaxDirectoryChars)) {
    return false;
  }
  work_dir_text_ = work_dir;
  const QString html_dir = ui_->edit1017_htmldir->text();
  if (!FitsOrComplain(ui_->edit1017_htmldir, html_dir, kMaxDirectoryChars)) {
    return false;
  }
  html_dir_text_ = html_dir;
  run_level_ = ui_->radio1004_year->isChecked()    ? 0
               : ui_->radio1005_month->isChecked() ? 1
               : ui_->radio1006_day->isChecked()   ? 2
                                                   : -1;
  for (size_t i = 0; i < kSizeCount; ++i) {
    RefillComboBox* box = SizeBox(i);
    const QString text = box->currentText();
    if (!FitsOrComplain(box, text, kMaxSizeChars)) return false;
    size_texts_[i] = text;
  }
  return true;
}

bool SettingsDialog::FitsOrComplain(QWidget* control, const QString& text,
                                    size_t max_chars) {
  if (static_cast<size_t>(text.size()) <= max_chars) return true;
  prompts_->Warn(this, TooLongMessage(static_cast<int>(max_chars)));
  control->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
  if (auto* box = qobject_cast<QComboBox*>(control)) {
    if (box->lineEdit() != nullptr) box->lineEdit()->selectAll();
  }
  return false;
}

void SettingsDialog::RefillList(RefillComboBox* box, size_t choices) {
  // Emptying the list, and adding the first item to an empty editable box,
  // both replace the typed text; it is put back after each.
  const QString typed = box->currentText();
  box->clear();
  box->setEditText(typed);
  TransferFromControls();  // A failed check has spoken; the list fills anyway.
  for (size_t i = 0; i < choices; ++i) {
    box->addItem(QString::fromLatin1(kCountChoices[i]));
  }
  box->setCurrentIndex(box->findText(typed));
  box->setEditText(typed);
}

}  // namespace tovex
