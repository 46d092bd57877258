#include "app/settings_dialog.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/refill_combo_box.h"
#include "app/scripted_prompts_testutil.h"

namespace tovex {
namespace {

// Nine different counts, none of them 10, so that a box wired to the wrong
// setting shows.
Settings SomeSettings() {
  return {RunLevel::kMonth,    "workdir\\",          "htmldir\\",
          RowGroup{11, 5, 20}, RowGroup{30, 12, 40}, RowGroup{45, 25, 15}};
}

// The nine size boxes with the setting each carries.
struct SizeBox {
  const char* name;
  RowGroup Settings::*group;
  int RowGroup::*rows;
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

int SizeOf(const Settings& s, const QString& box) {
  for (const SizeBox& b : kSizeBoxes) {
    if (box == b.name) return (s.*b.group).*b.rows;
  }
  qFatal("unknown box %s", qPrintable(box));
}

void AddSizeBoxRows() {
  QTest::addColumn<QString>("box");
  for (const SizeBox& b : kSizeBoxes) QTest::newRow(b.name) << b.name;
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
  template <typename T>
  T* Control(const char* name) {
    T* control = dialog_->findChild<T*>(name);
    if (control == nullptr) qFatal("no control %s", name);
    return control;
  }
  void Type(const QString& box, const QString& text) {
    Box(box)->setEditText(text);
  }
  void Save() { Control<QPushButton>("button1_save")->click(); }
  bool Saved() const { return dialog_->result() == QDialog::Accepted; }
  Settings SavedSettings() const {
    Settings s = dialog_->Values();
    ClampSettings(&s);
    return s;
  }
  // Opens the list of `box` and picks its item `index` with the keyboard
  // (a click right after opening would count as the opening click).
  void PickFromList(RefillComboBox* box, int index) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    QVERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(!view->isVisible());
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

  // Every value shown goes back unchanged, directories byte for byte.
  void valuesGoBackUnchanged() {
    QCOMPARE(Box("combo1010_index_clas")->currentText(), QString("5"));
    QVERIFY(Control<QLineEdit>("edit1016_workdir")->isReadOnly());
    QCOMPARE(Box("combo1031_index_domn")->count(), 0);
    Settings s = SomeSettings();
    s.work_dir = "w\xe9rk dir\\";  // not UTF-8
    dialog_->SetValues(s);
    Save();
    QVERIFY(Saved());
    QVERIFY(dialog_->Values() == s);
  }

  // Typed sizes are saved clamped: past the list's end, empty, too large.
  void savesWhatWasTyped() {
    Type("combo1010_index_clas", "99");
    Type("combo1012_days_clas", "50");
    Type("combo1030_month_domn", "");
    Save();
    QVERIFY(Saved());
    const Settings s = SavedSettings();
    QCOMPARE(s.index_rows.organisations, 50);
    QCOMPARE(s.day_rows.organisations, 50);
    QCOMPARE(s.month_rows.domains, 10);
    QVERIFY(prompts_.warnings.isEmpty());
  }

  void fiveFromTheListIsSavedAsTen() {
    RefillComboBox* box = Box("combo1031_index_domn");
    PickFromList(box, 0);
    QCOMPARE(box->currentText(), QString(" 5"));
    Save();
    QVERIFY(Saved());
    QCOMPARE(SavedSettings().index_rows.domains, 10);
  }

  // A size of three characters keeps the dialog open with the focus on
  // the first such box in field order (1015, day domains, before 1010).
  void tooLongSizeKeepsDialogOpen_data() { AddSizeBoxRows(); }
  void tooLongSizeKeepsDialogOpen() {
    QFETCH(QString, box);
    Type(box, "100");
    Type("combo1015_days_domn", "456");
    Save();
    QVERIFY(!Saved());
    QCOMPARE(prompts_.warnings, QStringList{TooLongMessage(2)});
    QCOMPARE(dialog_->focusWidget(),
             static_cast<QWidget*>(Box("combo1015_days_domn")));
    Type("combo1015_days_domn", "10");
    Type(box, "10");
    Save();
    QVERIFY(Saved());
    QCOMPARE(SizeOf(SavedSettings(), box), 10);
  }

  void directoryLengthLimit() {
    Settings s = SomeSettings();
    s.html_dir = std::string(126, 'd') + "\\";  // 127 characters fit
    dialog_->SetValues(s);
    Save();
    QVERIFY(Saved());
    QCOMPARE(dialog_->Values().html_dir, s.html_dir);
    s.html_dir = "d" + s.html_dir;
    dialog_->SetValues(s);
    Save();
    QCOMPARE(prompts_.warnings, QStringList{TooLongMessage(127)});
    QCOMPARE(dialog_->focusWidget(),
             static_cast<QWidget*>(Control<QLineEdit>("edit1017_htmldir")));
  }

  // Each opening refills the list once, and typed text survives it.
  void listRefilledTwiceShowsItsItemsOnce_data() { AddSizeBoxRows(); }
  void listRefilledTwiceShowsItsItemsOnce() {
    QFETCH(QString, box);
    Type(box, "15");  // an item's text, typed
    for (int opening = 0; opening < 2; ++opening) {
      Box(box)->showPopup();
      QCOMPARE(Items(Box(box)), ListItems(box.endsWith("clas")));
      QCOMPARE(Box(box)->currentText(), QString("15"));
      Box(box)->hidePopup();
    }
  }

  void listOpeningChecksOtherBoxesAndFillsAnyway() {
    Type("combo1033_month_html", "123");
    RefillComboBox* opened = Box("combo1010_index_clas");
    opened->showPopup();
    QCOMPARE(prompts_.warnings, QStringList{TooLongMessage(2)});
    QCOMPARE(dialog_->focusWidget(),
             static_cast<QWidget*>(Box("combo1033_month_html")));
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
