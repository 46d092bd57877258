// The window's own platform services: message boxes reached from the job's
// thread, the real message boxes' buttons and defaults, and the beep without
// a sound device.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/gui_messages.h"
#include "app/prompts.h"
#include "app/scripted_prompts_testutil.h"
#include "app/sound_beeper.h"

namespace tovex {

class GuiServicesTest : public QObject {
  Q_OBJECT

 private:
  // Calls `answer` with the message box that the next modal loop shows.
  void WhenBoxOpens(std::function<void(QMessageBox*)> answer) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [timer, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      answer(box);
    });
    timer->start(10);
  }

 private slots:
  void initTestCase() { QuietOffscreenWarnings(); }

  void messagesFromWorkerShowOnGuiThread() {
    const bool yes = true;
    ScriptedPrompts prompts;
    prompts.answer_yes = yes;
    GuiMessages messages(&prompts);
    std::atomic<bool> done{false};
    bool answer = !yes;
    std::thread worker([&] {
      messages.Warn("Webブラウザ－がインストールされていません!!");
      answer = messages.AskYesNo("よろしいですか？", "ヴェスパリン");
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(answer, yes);
    QCOMPARE(prompts.warnings,
             QStringList{"Webブラウザ－がインストールされていません!!"});
    QCOMPARE(prompts.warning_threads.at(0), QThread::currentThread());
    QCOMPARE(prompts.questions, QStringList{"ヴェスパリン: よろしいですか？"});
  }

  void questionDefaultsToNo() {
    QtPrompts prompts;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QStringList buttons;
    WhenBoxOpens([&](QMessageBox* box) {
      icon = box->icon();
      title = box->windowTitle();
      for (QAbstractButton* button : box->buttons()) buttons << button->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
    QVERIFY(!prompts.AskYesNo(nullptr, "終了しますか？", "ヴェスパリン"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(title, QString("ヴェスパリン"));
    QCOMPARE(buttons.size(), 2);
    if (!buttons.join(' ').contains("いいえ")) {
      QSKIP("Qt's Japanese translations (qt6-translations-l10n) are missing");
    }
  }

  void warningHasOkUnderTheProgramName() {
    QtPrompts prompts;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    int buttons = 0;
    WhenBoxOpens([&](QMessageBox* box) {
      icon = box->icon();
      title = box->windowTitle();
      buttons = static_cast<int>(box->buttons().size());
      QTest::keyClick(box, Qt::Key_Return);
    });
    prompts.Warn(nullptr, "実行中です!!");
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(title, QCoreApplication::applicationName());
    QCOMPARE(buttons, 1);
  }

  void beepWithoutSoundDeviceReturns() {
    // A device name ALSA cannot open: the bell and the wait stand in.
    SoundBeeper beeper("tovex-no-such-device");
    beeper.Beep(16365, 20);
    beeper.Beep(16365, 0);
  }
};

}  // namespace tovex

int main(int argc, char** argv) {
  tovex::GuiServicesTest test;
  return tovex::RunQtTest(&test, argc, argv);
}

#include "gui_services_test.moc"
