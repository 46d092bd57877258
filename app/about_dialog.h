// The version box: product name, version, the maker's producer line and
// address. No close box; OK, Enter or Esc close it.

#ifndef TOVEX_APP_ABOUT_DIALOG_H_
#define TOVEX_APP_ABOUT_DIALOG_H_

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDialogForm;
}  // namespace Ui

namespace tovex {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
  ~AboutDialog() override;

 private:
  std::unique_ptr<Ui::AboutDialogForm> ui_;
};

}  // namespace tovex

#endif  // TOVEX_APP_ABOUT_DIALOG_H_
