#include "app/scripted_prompts_testutil.h"

#include <QApplication>
#include <QTest>

#include "app/app_info.h"

namespace tovex {

void QuietOffscreenWarnings() {
  // A message handler is a plain function: the one it forwards to (QtTest's)
  // has to be kept in a static.
  static QtMessageHandler next = nullptr;
  next = qInstallMessageHandler([](QtMsgType type,
                                   const QMessageLogContext& context,
                                   const QString& message) {
    if (!message.startsWith(QStringLiteral("This plugin does not support"))) {
      next(type, context, message);
    }
  });
}

int RunQtTest(QObject* test, int argc, char** argv) {
  QApplication app(argc, argv);
  SetUpApplication(&app);
  return QTest::qExec(test, argc, argv);
}

}  // namespace tovex
