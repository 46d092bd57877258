// The window's own platform services: message boxes reached from the job's
// thread, the real message boxes' buttons and defaults, and the beep without
// a sound device.

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
  struct Shown {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    qsizetype buttons = 0;
  };

  // Records the message box that the next modal loop shows into `shown`,
  // then presses Enter in it.
  void PressEnterInNextBox(Shown* shown) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [timer, shown] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      *shown = {box->icon(), box->windowTitle(), box->buttons().size()};
      QTest::keyClick(box, Qt::Key_Return);
    });
    timer->start(10);
  }

 private slots:
  void initTestCase() { QuietOffscreenWarnings(); }

  void messagesFromWorkerShowOnGuiThread() {
    ScriptedPrompts prompts;
    prompts.answer_yes = true;
    GuiMessages messages(&prompts);
    std::atomic<bool> done{false};
    bool answer = false;
    std::thread worker([&] {
      messages.Warn("Webブラウザ－がインストールされていません!!");
      answer = messages.AskYesNo("よろしいですか？", "ヴェスパリン");
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QVERIFY(answer);
    QCOMPARE(prompts.warnings,
             QStringList{"Webブラウザ－がインストールされていません!!"});
    QCOMPARE(prompts.warning_threads.at(0), QThread::currentThread());
    QCOMPARE(prompts.questions, QStringList{"ヴェスパリン: よろしいですか？"});
  }

  // Enter in a question means No; a warning has OK alone, under the
  // program's name.
  void realBoxesButtonsAndDefaults() {
    QtPrompts prompts;
    Shown shown;
    PressEnterInNextBox(&shown);
    QVERIFY(!prompts.AskYesNo(nullptr, "終了しますか？", "ヴェスパリン"));
    QCOMPARE(shown.icon, QMessageBox::Question);
    QCOMPARE(shown.title, QString("ヴェスパリン"));
    QCOMPARE(shown.buttons, qsizetype{2});
    PressEnterInNextBox(&shown);
    prompts.Warn(nullptr, "実行中です!!");
    QCOMPARE(shown.icon, QMessageBox::Warning);
    QCOMPARE(shown.title, QCoreApplication::applicationName());
    QCOMPARE(shown.buttons, qsizetype{1});
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
