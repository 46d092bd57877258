#include "base/texts.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

namespace tovex {
namespace {

struct Entry {
  UserText id;
  std::string_view utf8;
};

constexpr Entry kTexts[] = {
    {UserText::kHello, "Hello!!"},
    {UserText::kRunning, "Running!!"},
    {UserText::kProcessing, "Processing!! - %d-%d"},
    {UserText::kMakingTempFile, "Making!! - %d-%d temp file"},
    {UserText::kMakingDayPage, "Making!! - %d-%d-%d.html file"},
    {UserText::kMakingMonthPage, "Making!! - %s.html file"},
    {UserText::kMakingIndexPage, "Making!! - Index.html file"},
    {UserText::kFinished, "Finished!! - taken %6.0f sec"},
    {UserText::kResolving, "Resolving!! - client addresses"},
    {UserText::kCannotOpen, "%s ファイルを開けません!!"},
    {UserText::kCannotWrite, "%s ファイルに書き込めません!!"},
    {UserText::kCannotRead, "%s ファイルを読めません!!"},
    {UserText::kCannotMakeFolder, "%s フォルダを作成できません!!"},
    {UserText::kCorruptInput, "%s 圧縮ファイルが壊れています!!"},
    {UserText::kNoConverter,
     "Shift-JIS (CP932) への変換がこの環境では使えません!!"},
    {UserText::kNotAccessLog, "アクセスログファイルの書式が不正です!!"},
    {UserText::kInputNotAccessLog, "%s アクセスログファイルの書式が不正です!!"},
    {UserText::kEmptyInput, "%s 空のファイルは読み飛ばしました!!"},
    {UserText::kBusyFolder, "%s 別の実行が使用中です!!"},
    {UserText::kStopped, "シグナル %d で中断しました!!"},
    {UserText::kNoDisplay, "画面がないため Webブラウザ－で開けません!!"},
    {UserText::kNoWindow,
     "画面がないためウィンドウを開けません!! (DISPLAY も WAYLAND_DISPLAY も"
     "ありません)"},
    {UserText::kSummary,
     "Read!! - %lld lines, %lld page requests counted, %lld lines not "
     "counted"},
    {UserText::kBusy, "実行中です!!"},
    {UserText::kNoBrowser, "Webブラウザ－がインストールされていません!!"},
    {UserText::kMonthsLeftOut,
     "%d か月を超えた月の %lld 行は集計していません!!"},
    {UserText::kExitQuestion,
     "アプリケーションを終了します。\nよろしいですか？"},
    {UserText::kTooLong, "%d 文字以内で入力してください!!"},
    {UserText::kBadSetting, "%s この設定は使えません!!"},
    {UserText::kInputInFolder,
     "%s レポートが書き換えるファイルなので解析できません!!"},
    {UserText::kStreamCountedAgain,
     "%s 以前と中身が変わったため新しいログとして読みました。その月は以前にも"
     "集計しています!!"},
    {UserText::kHistoryFolderShared,
     "the history needs a folder of its own, not the work or output folder"},
    {UserText::kHistoryOtherOptions,
     "the history was counted with %s, this run counts with %s; "
     "run with --rebuild to start it again from the logs given"},
    {UserText::kNoAgents,
     "%lld 行にはユーザーエージェントがない (common 形式) ため、クローラーか"
     "どうか判定していません!!"},
    {UserText::kOptionLeftOut, "; %s left out %lld"},
    {UserText::kOptionRewrote, "; %s rewrote %lld"},
    {UserText::kUnanswered,
     "; %lld addresses unanswered in time (asked again next run)"},
    {UserText::kDnsCacheIgnored,
     "%s (the DNS cache is not used: its answers are looked up again)"},
};

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < std::size(kTexts); ++i) {
    if (static_cast<size_t>(kTexts[i].id) != i) return false;
  }
  return std::size(kTexts) == static_cast<size_t>(UserText::kDnsCacheIgnored) + 1;
}
static_assert(InEnumOrder(), "one text per UserText, in enum order");

}  // namespace

std::string_view TextOf(UserText t) {
  return kTexts[static_cast<size_t>(t)].utf8;
}

std::string FormatText(UserText t, ...) {
  va_list args;
  va_start(args, t);
  std::string out = FormatTextV(t, args);
  va_end(args);
  return out;
}

std::string FormatTextV(UserText t, va_list args) {
  // The table's texts are literals, so each view ends in a NUL.
  const char* format = TextOf(t).data();
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  std::string out;
  if (n > 0) {
    // A path in a message may be long; the text is sized to fit.
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, again);
    out.pop_back();
  }
  va_end(again);
  return out;
}

}  // namespace tovex
