#include "app/refill_combo_box.h"

namespace tovex {

void RefillComboBox::showPopup() {
  emit listAboutToOpen();
  QComboBox::showPopup();
}

}  // namespace tovex
