// A combo box that announces its drop-down list just before it opens, so
// that the owner can refill the list at that moment (the settings dialog
// builds its size lists afresh on every opening).

#ifndef TOVEX_APP_REFILL_COMBO_BOX_H_
#define TOVEX_APP_REFILL_COMBO_BOX_H_

#include <QComboBox>

namespace tovex {

class RefillComboBox : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;

  // Emits listAboutToOpen (handled synchronously), then opens the list.
  void showPopup() override;

 signals:
  void listAboutToOpen();
};

}  // namespace tovex

#endif  // TOVEX_APP_REFILL_COMBO_BOX_H_
