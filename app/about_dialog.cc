#include "app/about_dialog.h"

#include "app/app_info.h"
#include "ui_about_dialog.h"

namespace tovex {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::AboutDialogForm>()) {
  ui_->setupUi(this);
  setFont(DialogFont());
  // A caption bar without a system menu, hence without a close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(size());
  ui_->label_product->setText(QString::fromUtf8(kProductName));
  ui_->label_version->setText(QStringLiteral("Version ") +
                              ApplicationVersion());
  ui_->label_producer->setText(QString::fromUtf8(kProducerLine));
  ui_->label_address->setText(QString::fromUtf8(kHomePageAddress));
  ui_->frame_sunken->lower();
  connect(ui_->button1_ok, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

}  // namespace tovex
