// What the desktop window says about itself: product name, version, maker's
// lines and home page, and the dialog font. Kept in one place so that the
// About box, the window captions and the home-page button agree.

#ifndef TOVEX_APP_APP_INFO_H_
#define TOVEX_APP_APP_INFO_H_

#include <QFont>
#include <QString>

class QApplication;

namespace tovex {

// The window caption and the caption of the exit question.
inline constexpr char kProductName[] = "ヴェスパリン";
inline constexpr char kProducerLine[] = "制作：tovex 開発チーム";
// Opened by the image button and shown in the About box. A placeholder in the
// reserved ".example" domain until the project has a public home page; short
// enough for the About box's fixed line.
inline constexpr char kHomePageAddress[] = "https://tovex.example/";

// "1.0.0.1": file and product version of the executable, shown in the About
// box; the version of the packages too (project(tovex VERSION) in CMake).
QString ApplicationVersion();

// "ＭＳ Ｐ明朝" 9 pt, falling back to the same face under its Latin name,
// then to Debian's IPA P Mincho and Noto Serif CJK.
QFont DialogFont();

// Application-wide set-up shared by the program and its tests: version,
// dialog font, Japanese texts for Qt's own buttons (when Qt's translations
// are installed), window icon.
void SetUpApplication(QApplication* app);

}  // namespace tovex

#endif  // TOVEX_APP_APP_INFO_H_
