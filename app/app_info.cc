#include "app/app_info.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include "tovex_version.h"

namespace tovex {
namespace {

// The version record: Linux executables have no resource section for it, so
// it lives in a section of its own where `readelf -p .tovex.version tovex`
// (or `strings`) finds it. Mirrors the fields a Windows version resource has.
[[gnu::used, gnu::section(".tovex.version")]] constexpr char kVersionRecord[] =
    "FileVersion=" TOVEX_VERSION
    "\0"
    "ProductVersion=" TOVEX_VERSION
    "\0"
    "ProductName=ヴェスパリン\0"
    "InternalName=tovex\0"
    "OriginalFilename=tovex\0"
    "Language=ja-JP\0";

constexpr int kDialogPointSize = 9;

}  // namespace

QString ApplicationVersion() { return QStringLiteral(TOVEX_VERSION); }

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("MS PMincho"),
                    QStringLiteral("IPAPMincho"),
                    QStringLiteral("Noto Serif CJK JP")});
  font.setPointSize(kDialogPointSize);
  return font;
}

void SetUpApplication(QApplication* app) {
  // The application name stays Qt's default, the executable's name, which
  // captions the message boxes. No display name: on X11 Qt would append it
  // to every window caption.
  app->setApplicationVersion(ApplicationVersion());
  app->setWindowIcon(QIcon(QStringLiteral(":/images/icon_128.png")));
  QApplication::setFont(DialogFont());
  // Every text of the window is Japanese, so Qt's own buttons (OK, はい,
  // いいえ, the file dialog) are too, whatever the user's locale.
  auto* translator = new QTranslator(app);
  if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan),
                       QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app->installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace tovex
