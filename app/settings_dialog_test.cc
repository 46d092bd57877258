#include "app/settings_dialog.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/refill_combo_box.h"
#include "app/scripted_prompts_testutil.h"

namespace tovex {
namespace {

// Nine different counts, none of them 10, so that a box wired to the wrong
// setting shows.
Settings SomeSettings() {
  Settings s;
  s.run_level = RunLevel::kMonth;
  s.work_dir = "workdir\\";
  s.html_dir = "htmldir\\";
  s.index_rows = RowGroup{11, 5, 20};
  s.month_rows = RowGroup{30, 12, 40};
  s.day_rows = RowGroup{45, 25, 15};
  return s;
}

// The nine size boxes with the setting each carries.
struct SizeBox {
  const char* name;
  RowGroup Settings::*group;
  int RowGroup::*rows;
  int Of(const Settings& s) const { return (s.*group).*rows; }
};
constexpr SizeBox kSizeBoxes[] = {
    {"combo1010_index_clas", &Settings::index_rows, &RowGroup::organisations},
    {"combo1011_month_clas", &Settings::month_rows, &RowGroup::organisations},
    {"combo1012_days_clas", &Settings::day_rows, &RowGroup::organisations},
    {"combo1031_index_domn", &Settings::index_rows, &RowGroup::domains},
    {"combo1030_month_domn", &Settings::month_rows, &RowGroup::domains},
    {"combo1015_days_domn", &Settings::day_rows, &RowGroup::domains},
    {"combo1035_index_html", &Settings::index_rows, &RowGroup::contents},
    {"combo1033_month_html", &Settings::month_rows, &RowGroup::contents},
    {"combo1032_days_html", &Settings::day_rows, &RowGroup::contents}};

void AddSizeBoxRows() {
  QTest::addColumn<int>("i");
  for (int i = 0; i < 9; ++i) QTest::newRow(kSizeBoxes[i].name) << i;
}

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// What a size list offers; organisation lists stop at 20.
QStringList ListItems(bool organisations) {
  const QStringList items = {" 5", "10", "15", "20", "25",
                             "30", "35", "40", "45", "50"};
  return organisations ? items.mid(0, 4) : items;
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private:
  ScriptedPrompts prompts_;
  std::unique_ptr<SettingsDialog> dialog_;

  RefillComboBox* Box(const QString& name) {
    auto* box = dialog_->findChild<RefillComboBox*>(name);
    if (box == nullptr) qFatal("no combo box %s", qPrintable(name));
    return box;
  }
  void Type(const QString& box, const QString& text) {
    Box(box)->setEditText(text);
  }
  QWidget* Focused() const { return dialog_->focusWidget(); }
  // Presses Save; true when the dialog took the values and closed.
  bool Save() {
    dialog_->setResult(QDialog::Rejected);
    dialog_->findChild<QPushButton*>("button1_save")->click();
    return dialog_->result() == QDialog::Accepted;
  }

 private slots:
  void initTestCase() { QuietOffscreenWarnings(); }
  void init() {
    prompts_ = ScriptedPrompts();
    dialog_ = std::make_unique<SettingsDialog>(&prompts_);
    dialog_->SetValues(SomeSettings());
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
  }
  void cleanup() { dialog_.reset(); }

  // Each box shows its own setting and has no list until opened; every
  // value goes back unchanged, directories byte for byte.
  void valuesGoBackUnchanged() {
    for (const SizeBox& b : kSizeBoxes) {
      QCOMPARE(Box(b.name)->currentText(),
               QString::number(b.Of(SomeSettings())));
      QCOMPARE(Box(b.name)->count(), 0);
    }
    QVERIFY(dialog_->findChild<QLineEdit*>("edit1016_workdir")->isReadOnly());
    Settings s = SomeSettings();
    s.work_dir = "w\xe9rk dir\\";  // not UTF-8
    dialog_->SetValues(s);
    QVERIFY(Save());
    QVERIFY(dialog_->Values() == s);
  }

  // Sizes are saved as their numbers (the window clamps them): past the
  // list's end, empty, and " 5" picked from the list.
  void savesWhatWasTypedOrPicked() {
    Type("combo1010_index_clas", "99");
    Type("combo1030_month_domn", "");
    // Picked with the keyboard: a click right after opening would count as
    // the opening click.
    RefillComboBox* box = Box("combo1031_index_domn");
    box->showPopup();
    box->view()->setCurrentIndex(box->view()->model()->index(0, 0));
    QTest::keyClick(box->view(), Qt::Key_Return);
    QCOMPARE(box->currentText(), QString(" 5"));
    QVERIFY(Save());
    const Settings s = dialog_->Values();
    QCOMPARE(s.index_rows.organisations, 99);
    QCOMPARE(s.month_rows.domains, 0);
    QCOMPARE(s.index_rows.domains, 5);
    QVERIFY(prompts_.warnings.isEmpty());
  }

  // A size of three characters, in any box, keeps the dialog open with the
  // focus on that box; put right, it is saved into its own setting.
  void tooLongSizeKeepsDialogOpen_data() { AddSizeBoxRows(); }
  void tooLongSizeKeepsDialogOpen() {
    QFETCH(int, i);
    const QString box = kSizeBoxes[i].name;
    Type(box, "100");
    QVERIFY(!Save());
    QCOMPARE(prompts_.warnings, QStringList{TooLongMessage(2)});
    QCOMPARE(Focused(), static_cast<QWidget*>(Box(box)));
    Type(box, "10");
    QVERIFY(Save());
    QCOMPARE(kSizeBoxes[i].Of(dialog_->Values()), 10);
  }

  void directoryLengthLimit() {
    Settings s = SomeSettings();
    s.html_dir = std::string(126, 'd') + "\\";  // 127 characters fit
    dialog_->SetValues(s);
    QVERIFY(Save());
    s.html_dir = "d" + s.html_dir;
    dialog_->SetValues(s);
    QVERIFY(!Save());
    QCOMPARE(prompts_.warnings, QStringList{TooLongMessage(127)});
    QCOMPARE(Focused(), dialog_->findChild<QLineEdit*>("edit1017_htmldir"));
  }

  // Each opening refills the list once, and typed text survives it.
  void listRefilledTwiceShowsItsItemsOnce_data() { AddSizeBoxRows(); }
  void listRefilledTwiceShowsItsItemsOnce() {
    QFETCH(int, i);
    const QString box = kSizeBoxes[i].name;
    Type(box, "15");  // an item's text, typed
    for (int opening = 0; opening < 2; ++opening) {
      Box(box)->showPopup();
      QCOMPARE(Items(Box(box)),
               ListItems(kSizeBoxes[i].rows == &RowGroup::organisations));
      QCOMPARE(Box(box)->currentText(), QString("15"));
      Box(box)->hidePopup();
    }
  }

  // Opening a list checks the boxes first: the first too-long one in field
  // order (1033, month contents, comes before 1012) gets the one message
  // and the focus, and the list fills anyway.
  void listOpeningChecksOtherBoxesAndFillsAnyway() {
    Type("combo1012_days_clas", "456");
    Type("combo1033_month_html", "123");
    RefillComboBox* opened = Box("combo1010_index_clas");
    opened->showPopup();
    QCOMPARE(prompts_.warnings, QStringList{TooLongMessage(2)});
    QCOMPARE(Focused(), static_cast<QWidget*>(Box("combo1033_month_html")));
    QCOMPARE(Items(opened), ListItems(true));
    opened->hidePopup();
  }
};

}  // namespace tovex

int main(int argc, char** argv) {
  tovex::SettingsDialogTest test;
  return tovex::RunQtTest(&test, argc, argv);
}

#include "settings_dialog_test.moc"
