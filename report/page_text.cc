#include "report/page_text.h"

#include <iterator>

namespace tovex {
namespace {

struct Literal {
  Text id;
  std::string_view utf8;
};

// Every page text, one source line per page line.
constexpr Literal kLiterals[] = {
    {Text::kPageStart,
     "<HTML>\n"
     "<HEAD>\n"},
    {Text::kTitle, "<TITLE>アクセスログ解析</TITLE>\n"},
    {Text::kTitleLabel, "<TITLE>アクセスログ解析(%s)</TITLE>\n"},
    {Text::kTitleDate, "<TITLE>アクセスログ解析(%d-%d-%d)</TITLE>\n"},
    {Text::kPageBody,
     "</HEAD>\n"
     "<BODY TEXT=\"#0F0000\" BGCOLOR=\"#90D0D0\">\n"
     "<CENTER>\n"},
    {Text::kTitleTableStart,
     "<TABLE BORDER=4 WIDTH=\"300\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"D09090\">\n"},
    {Text::kHeading, "<TH>アクセスログ解析</TH></TR>\n"},
    {Text::kHeadingLabel, "<TH>アクセスログ解析(%s)</TH></TR>\n"},
    {Text::kHeadingDate, "<TH>アクセスログ解析(%d-%d-%d)</TH></TR>\n"},
    {Text::kTableEnd, "</TABLE>\n"},
    {Text::kCountTableStart,
     "<TABLE BORDER WIDTH=\"300\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"},
    {Text::kTotalHeading, "<TH>総アクセス件数</TH></TR>\n"},
    {Text::kCountHeading, "<TH>アクセス件数</TH></TR>\n"},
    {Text::kCountCell,
     "<TR ALIGN=CENTER>\n"
     "<TD>%ld</TD></TR>\n"
     "</TABLE>\n"},
    {Text::kVisitorTable,
     "<TABLE BORDER WIDTH=\"300\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=2>来訪者状況</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"150\" BGCOLOR=\"#90D090\">来訪者数</TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"150\" BGCOLOR=\"#90D090\">平均アクセス数</TD>"
     "</TR>\n"
     "<TR ALIGN=CENTER>\n"
     "<TD>%ld</TD>\n"
     "<TD>%6.1f</TD></TR>\n"
     "</TABLE>\n"},
    {Text::kCalendarHead,
     "<TABLE BORDER WIDTH=\"520\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=4>日別アクセス状況</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"50\" BGCOLOR=\"#90D090\"><B>日</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"50\" BGCOLOR=\"#90D090\"><B>曜</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>グラフ</B></TD>\n"
     "</TR>\n"},
    {Text::kHourHead,
     "<TABLE BORDER WIDTH=\"470\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=3>時間帯別アクセス状況</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"50\" BGCOLOR=\"#90D090\"><B>時間</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>グラフ</B></TD>\n"
     "</TR>\n"},
    {Text::kWeekdayHead,
     "<TABLE BORDER WIDTH=\"470\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=3>曜日別アクセス状況</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"50\" BGCOLOR=\"#90D090\"><B>曜日</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>グラフ</B></TD>\n"
     "</TR>\n"},
    {Text::kMonthHead,
     "<TABLE BORDER WIDTH=\"520\" BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=3>月別アクセス状況</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"100\" BGCOLOR=\"#90D090\"><B>月</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>グラフ</B></TD>\n"
     "</TR>\n"},
    {Text::kRowStart, "<TR>\n"},
    {Text::kCenteredNumberCell, "<TD ALIGN=CENTER>%d</TD>\n"},
    {Text::kCenteredTextCell, "<TD ALIGN=CENTER>%s</TD>\n"},
    {Text::kDayLinkCell,
     "<TD ALIGN=CENTER><A HREF=\"%s\">%d</A></TD>\n"},
    {Text::kMonthLinkCell,
     "<TD ALIGN=CENTER><A HREF=\"%s\">%s</A></TD>\n"},
    {Text::kValueCell, "<TD ALIGN=RIGHT>%ld</TD>\n"},
    {Text::kRowEnd, "</TR>\n"},
    {Text::kBarStart, "<TD><FONT COLOR=\"#0000FF\">"},
    {Text::kBar, "━"},
    {Text::kBarBlank, "　"},
    {Text::kBarEnd, "</FONT></TD>\n"},
    {Text::kOrganisationHead,
     "<TABLE BORDER BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=4>組織別アクセス状況(上位 %d)</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"25\" BGCOLOR=\"#90D090\"><B>No.</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>組織</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>割合(％)</B></TD>\n"
     "</TR>\n"},
    {Text::kDomainHead,
     "<TABLE BORDER BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=4>ドメイン別アクセス状況(上位 %d)</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"25\" BGCOLOR=\"#90D090\"><B>No.</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>ドメイン</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>割合(％)</B></TD>\n"
     "</TR>\n"},
    {Text::kContentHead,
     "<TABLE BORDER BGCOLOR=\"#90D0D0\" >\n"
     "<TR ALIGN=CENTER BGCOLOR=\"#90D090\">\n"
     "<TH COLSPAN=4>コンテンツ別アクセス状況(上位 %d)</TH></TR>\n"
     "<TR>\n"
     "<TD ALIGN=CENTER WIDTH=\"25\" BGCOLOR=\"#90D090\"><B>No.</B></TD>\n"
     "<TD ALIGN=CENTER BGCOLOR=\"#90D090\"><B>コンテンツ</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>ｱｸｾｽ</B></TD>\n"
     "<TD ALIGN=CENTER WIDTH=\"70\" BGCOLOR=\"#90D090\"><B>割合(％)</B></TD>\n"
     "</TR>\n"},
    {Text::kRankRow,
     "<TR>\n"
     "<TD ALIGN=CENTER>%d</TD>\n"
     "<TD ALIGN=LEFT>%s</TD>\n"
     "<TD ALIGN=RIGHT>%ld</TD>\n"
     "<TD ALIGN=CENTER>%4.2f</TD>\n"
     "</TR>\n"},
    {Text::kBreak, "<BR>\n"},
    {Text::kPageFoot,
     "</CENTER>\n"
     "</BODY>\n"
     "</HTML>\n"},
    {Text::kSunday, "Sun"},
    {Text::kMonday, "Mon"},
    {Text::kTuesday, "Tue"},
    {Text::kWednesday, "Wed"},
    {Text::kThursday, "Thu"},
    {Text::kFriday, "Fri"},
    {Text::kSaturday, "Sat"},
};

constexpr bool LiteralsInEnumOrder() {
  if (std::size(kLiterals) != kTextCount) return false;
  for (size_t i = 0; i < kTextCount; ++i) {
    if (static_cast<size_t>(kLiterals[i].id) != i) return false;
  }
  return true;
}
static_assert(LiteralsInEnumOrder(), "one literal per Text, in enum order");

}  // namespace

std::string_view PageText::Utf8(Text t) {
  return kLiterals[static_cast<size_t>(t)].utf8;
}

PageText::PageText(Encoder* encoder) {
  for (size_t i = 0; i < kTextCount; ++i) {
    if (!encoder->ToShiftJis(kLiterals[i].utf8, &texts_[i])) ok_ = false;
  }
}

}  // namespace tovex
