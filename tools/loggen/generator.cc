#include "generator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace tovex::loggen {
namespace {

// The first lines stay plain (no user name, no odd request, not over 511
// bytes): an analyser may judge a file by its first five lines.
constexpr uint64_t kPlainLines = 5;
// Roughly one line in this many is stamped a second or two before the one
// written ahead of it (a slow request).
constexpr uint32_t kSlowOneIn = 50;
// Roughly one midnight in this many has a line of the old day written after
// the first line of the new one; every month boundary has one.
constexpr uint32_t kMidnightStragglerOneIn = 8;
// Roughly one line in this many is odd (see OddRequest).
constexpr uint32_t kOddOneIn = 250;
// Roughly one visit in this many arrives with a search engine's long
// tracking address as its referer.
constexpr uint32_t kLongRefererOneIn = 30;
// Longest physical line an analyser reads in one piece.
constexpr size_t kReaderLine = 511;
// Sessions open at once, per this many lines a day: a quiet site sees one
// visitor at a time, a busy one dozens.
constexpr uint64_t kLinesPerDayPerSession = 400;
constexpr uint64_t kMaxSessions = 48;

constexpr int kNotFoundSize = 1245;
constexpr int kServerErrorSize = 538;

struct Probe {
  const char* method;  // "" for a request logged without a method
  const char* path;
  int status;
};

// What scanners ask for. Some are page requests by their suffix (the
// directories), most are not; "-" is a connection closed before a request.
constexpr Probe kProbes[] = {
    {"GET", "/wp-login.php", 404},
    {"GET", "/.env", 404},
    {"GET", "/admin/", 404},
    {"GET", "/phpmyadmin/", 404},
    {"POST", "/xmlrpc.php", 404},
    {"GET", "/.git/config", 404},
    {"GET", "/wp-admin/setup-config.php?step=1", 404},
    {"GET", "/HNAP1/", 404},
    {"POST", "/boaform/admin/formLogin", 404},
    {"GET",
     "/index.php?s=/Index/\\\\think\\\\app/invokefunction&function=call_user_"
     "func_array&vars[0]=md5&vars[1][]=HelloThinkPHP",
     404},
    {"GET", "/cgi-bin/.%2e/.%2e/.%2e/.%2e/bin/sh", 400},
    {"CONNECT", "www.example.com:443", 405},
    {"", "-", 400},
    {"GET", "/", 200},
};

struct Extra {
  const char* method;
  const char* path;
  int status;
};

// Requests a browser makes now and then besides pages and their files.
constexpr Extra kExtras[] = {
    {"GET", "/search.cgi?q=%E3%82%AB%E3%83%A1%E3%83%A9&lang=ja", 200},
    {"GET", "/products", 301},
    {"GET", "/apple-touch-icon.png", 404},
    {"GET", "/apple-touch-icon-precomposed.png", 404},
    {"GET", "/rss.xml", 200},
    {"GET", "/ir/pdf/2024_q3.pdf", 206},
    {"POST", "/contact/send.cgi", 302},
    {"GET", "/index.html?x=1", 200},
    {"GET", "/cgi-bin/guestbook.cgi?page=2", 200},
    {"GET", "/download/catalog2024.pdf", 200},
};

constexpr const char* kQueries[] = {"?x=1", "?ref=top", "?page=2",
                                    "?utm_source=line&utm_medium=social",
                                    "?fbclid=IwAR2xKq9Lm3Zp0"};

char* Put(char* p, std::string_view s) {
  if (s.empty()) return p;  // an empty view may hold a null pointer
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

char* PutNumber(char* p, uint64_t v) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

int64_t FirstDay(const Options& o) {
  return DaysFromCivil(o.start_year, o.start_month, 1);
}

int64_t DayCount(const Options& o) {
  return AddMonths(o.start_year, o.start_month, o.months) - FirstDay(o);
}

uint32_t Clamp(uint64_t v, uint64_t lo, uint64_t hi) {
  return static_cast<uint32_t>(std::min(std::max(v, lo), hi));
}

}  // namespace

Generator::Generator(const Options& options)
    : options_(options),
      rng_(options.seed),
      site_(Mix2(options.seed, 0x517e), Clamp(options.lines / 50, 40, 20000)),
      schedule_(options.seed, FirstDay(options), DayCount(options),
                options.lines),
      stamps_(options.zone.c_str()),
      hosts_(Clamp(options.lines / 2, 50, 4000000)),
      line_(0),
      previous_planned_(0),
      previous_stamp_(0),
      previous_disordered_(false),
      straggler_pending_(false),
      straggler_stamp_(0),
      last_month_(0),
      odd_count_(0),
      odd_client_(),
      odd_path_(),
      long_referer_() {
  const uint64_t per_day =
      options.lines / static_cast<uint64_t>(DayCount(options));
  sessions_.resize(Clamp(per_day / kLinesPerDayPerSession, 1, kMaxSessions));
  for (Session& s : sessions_) NewSession(&s);
}

void Generator::Run(Sink* sink) {
  Request r;
  for (line_ = 0; line_ < options_.lines; ++line_) {
    const int64_t slot = schedule_.Next();
    Session* s = nullptr;
    if (line_ >= kPlainLines && rng_.OneIn(kOddOneIn)) {
      OddRequest(&r);
    } else {
      s = &sessions_[rng_.Below(static_cast<uint32_t>(sessions_.size()))];
    }
    const int64_t stamp = NextStamp(slot, s);
    if (s != nullptr) NextRequest(s, &r);
    const bool combined = Combined();
    char* start = sink->Reserve();
    char* end = Format(r, stamp, combined, start);
    const size_t length = static_cast<size_t>(end - start);
    if (line_ < kPlainLines && length > kReaderLine) {
      r.agent = AgentText(0);
      r.referer_origin = {};
      r.referer = "-";
      end = Format(r, stamp, combined, start);
    }
    sink->Commit(end);
    // Only now: the request points into the session's client.
    if (s != nullptr && s->pages_left == 0 && s->embeds_left == 0) {
      NewSession(s);
    }
  }
}

bool Generator::Combined() {
  switch (options_.layout) {
    case Layout::kCommon:
      return false;
    case Layout::kCombined:
      return true;
    case Layout::kMixed:
      break;
  }
  return rng_.Below(2) == 0;
}

int64_t Generator::NextStamp(int64_t slot, Session* s) {
  // A session's next request follows its last one closely (a file embedded
  // in the page at once, the next page after some reading) unless the
  // schedule already has the line earlier; never before the line ahead.
  int64_t planned = slot;
  if (s != nullptr && s->last_stamp != kNoStamp) {
    const uint32_t gap =
        s->embeds_left > 0 ? rng_.Below(2) : rng_.Between(3, 90);
    planned = std::max(previous_planned_, std::min(slot, s->last_stamp + gap));
  }
  bool new_month = false;
  if (schedule_.first_of_day()) {
    const CivilDate date =
        CivilFromDays(schedule_.day_start() / kSecondsPerDay);
    new_month = date.year * 12 + date.month != last_month_;
    last_month_ = date.year * 12 + date.month;
  }
  int64_t stamp = planned;
  bool disordered = false;
  if (straggler_pending_) {
    stamp = straggler_stamp_;
    straggler_pending_ = false;
    disordered = true;
  } else if (line_ > 0 && line_ + 1 < options_.lines &&
             schedule_.first_of_day() &&
             (new_month || rng_.OneIn(kMidnightStragglerOneIn))) {
    // The first line of the day is stamped at midnight and the next one
    // carries the old day's last second or the one before.
    planned = schedule_.day_start();
    stamp = planned;
    straggler_stamp_ = stamp - 1 - rng_.Below(2);
    straggler_pending_ = true;
  } else if (line_ > 0 && !previous_disordered_ && rng_.OneIn(kSlowOneIn)) {
    stamp = previous_stamp_ - 1 - rng_.Below(2);
    disordered = true;
  }
  if (s != nullptr) s->last_stamp = planned;
  previous_planned_ = planned;
  previous_stamp_ = stamp;
  previous_disordered_ = disordered;
  return stamp;
}

void Generator::NewSession(Session* s) {
  // Half the visits come from regulars of Zipf-like popularity, half from
  // anyone at all: the long tail of one-time visitors.
  const uint32_t host =
      rng_.Below(2) == 0 ? rng_.Zipf(hosts_) : rng_.Below(hosts_);
  MakeClient(options_.seed, host, &s->client);
  const uint32_t proto = rng_.Below(100);
  s->protocol = proto < 65 ? "HTTP/1.1" : proto < 93 ? "HTTP/2.0" : "HTTP/1.0";
  s->user = "-";
  s->entry_referer = site_.ExternalReferer(rng_.Next());
  s->page = kNoPage;
  s->embeds_left = 0;
  s->embed_next = 0;
  s->cached = rng_.Below(10) < 3;
  s->members = false;
  s->robots_done = false;
  s->last_stamp = kNoStamp;
  switch (s->client.kind) {
    case ClientKind::kBrowser: {
      uint32_t pages = 1;
      while (pages < 30 && rng_.Below(100) < 62) ++pages;
      s->pages_left = pages;
      if (line_ >= kPlainLines && rng_.OneIn(150)) {
        s->members = true;
        s->pages_left = 2 + rng_.Below(4);
      }
      break;
    }
    case ClientKind::kCrawler:
      s->protocol = "HTTP/1.1";
      s->pages_left = 1 + rng_.Below(15);
      break;
    case ClientKind::kScanner:
      s->pages_left = 2 + rng_.Below(7);
      break;
    case ClientKind::kTool:
      s->pages_left = 1 + rng_.Below(3);
      break;
  }
}

void Generator::NextRequest(Session* s, Request* r) {
  r->client = &s->client;
  r->user = "-";
  r->method = "GET";
  r->query = {};
  r->protocol = s->protocol;
  r->referer_origin = {};
  r->referer = "-";
  r->agent = AgentText(s->client.agent);
  switch (s->client.kind) {
    case ClientKind::kBrowser:
      BrowserRequest(s, r);
      break;
    case ClientKind::kCrawler:
      CrawlerRequest(s, r);
      break;
    case ClientKind::kScanner:
      ScannerRequest(s, r);
      break;
    case ClientKind::kTool:
      ToolRequest(s, r);
      break;
  }
}

void Generator::BrowserRequest(Session* s, Request* r) {
  if (s->embeds_left > 0) {
    EmbedRequest(s, r);
  } else if (s->members) {
    MembersRequest(s, r);
  } else if (s->page != kNoPage && rng_.OneIn(20)) {
    ExtraRequest(s, r);
  } else {
    PageView(s, r);
  }
}

void Generator::EmbedRequest(Session* s, Request* r) {
  --s->embeds_left;
  r->path = site_.Embed(s->page, s->embed_next++);
  r->referer_origin = kSiteOrigin;
  r->referer = site_.Page(s->page);
  const uint64_t pick = rng_.Next();
  if (s->cached && pick % 10 < 7) {
    r->status = 304;
    r->size = -1;
  } else if (pick % 250 == 0) {
    r->status = 404;
    r->size = kNotFoundSize;
  } else {
    r->status = 200;
    r->size = Site::FileSize(r->path);
  }
}

void Generator::MembersRequest(Session* s, Request* r) {
  --s->pages_left;
  r->referer_origin = kSiteOrigin;
  r->referer = "/members/";
  if (s->user == "-") {
    // The browser asks without credentials first and is refused.
    r->path = "/members/";
    r->referer_origin = {};
    r->referer = s->entry_referer;
    r->status = 401;
    r->size = 381;
    s->user = UserName(rng_.Next());
    return;
  }
  r->user = s->user;
  r->path = site_.MembersPage(rng_.Next());
  r->status = 200;
  r->size = Site::FileSize(r->path);
}

void Generator::ExtraRequest(Session* s, Request* r) {
  const Extra& e = kExtras[rng_.Below(std::size(kExtras))];
  r->method = e.method;
  r->path = e.path;
  r->status = e.status;
  r->referer_origin = kSiteOrigin;
  r->referer = site_.Page(s->page);
  const uint64_t pick = rng_.Next();
  if (r->status == 200 && pick % 12 == 0) r->status = 500;
  switch (r->status) {
    case 200:
      r->size = Site::FileSize(r->path);
      break;
    case 206:
      r->size = 65536;
      break;
    case 301:
      r->size = 239;
      break;
    case 302:
      r->size = -1;
      break;
    case 404:
      r->size = kNotFoundSize;
      break;
    default:
      r->size = kServerErrorSize;
      break;
  }
}

void Generator::PageView(Session* s, Request* r) {
  const uint32_t pages = site_.page_count();
  uint32_t page = 0;
  if (s->page == kNoPage || rng_.Below(2) == 0) {
    page = rng_.Zipf(pages);
  } else {
    page = std::min(pages - 1, s->page + 1 + rng_.Below(8));
  }
  if (s->page == kNoPage) {
    r->referer =
        rng_.OneIn(kLongRefererOneIn) ? LongReferer() : s->entry_referer;
    if (r->referer.find("t.co/") != std::string_view::npos ||
        r->referer.find("facebook") != std::string_view::npos) {
      r->query = kQueries[3 + rng_.Below(2)];
    }
  } else {
    r->referer_origin = kSiteOrigin;
    r->referer = site_.Page(s->page);
  }
  if (r->query.empty() && rng_.OneIn(40)) r->query = kQueries[rng_.Below(3)];
  r->path = site_.Page(page);
  const uint64_t pick = rng_.Next();
  s->embeds_left = 0;
  if (site_.Gone(page)) {
    r->status = 404;
    r->size = kNotFoundSize;
  } else if (pick % 400 == 0) {
    r->status = 500;
    r->size = kServerErrorSize;
  } else if (s->cached && pick % 3 == 0) {
    r->status = 304;
    r->size = -1;
    s->embeds_left = rng_.Below(3);
  } else {
    r->status = 200;
    r->size = static_cast<int64_t>(site_.PageSize(page) + (pick >> 8) % 200);
    s->embeds_left = 1 + rng_.Below(6);
  }
  s->page = page;
  s->embed_next = 0;
  s->embeds_left = std::min(s->embeds_left, site_.EmbedCount(page));
  --s->pages_left;
}

void Generator::CrawlerRequest(Session* s, Request* r) {
  r->referer = "-";
  if (!s->robots_done) {
    s->robots_done = true;
    if (rng_.Below(2) == 0) {
      r->path = "/robots.txt";
      r->status = 200;
      r->size = 68;
      return;
    }
  }
  --s->pages_left;
  if (rng_.OneIn(15)) {
    r->path = "/sitemap.xml";
    r->status = 200;
    r->size = 18342;
    return;
  }
  const uint32_t page = rng_.Zipf(site_.page_count());
  r->path = site_.Page(page);
  if (site_.Gone(page)) {
    r->status = 404;
    r->size = kNotFoundSize;
  } else if (rng_.OneIn(5)) {
    r->status = 304;
    r->size = -1;
  } else {
    r->status = 200;
    r->size = site_.PageSize(page);
  }
}

void Generator::ScannerRequest(Session* s, Request* r) {
  --s->pages_left;
  const Probe& p = kProbes[rng_.Below(std::size(kProbes))];
  r->method = p.method;
  r->path = p.path;
  r->status = p.status;
  r->size = p.status == 200 ? site_.PageSize(0) : 226;
  if (r->method.empty()) r->size = -1;
}

void Generator::ToolRequest(Session* s, Request* r) {
  --s->pages_left;
  const uint32_t pick = rng_.Below(10);
  if (pick < 6) {
    const uint32_t page = rng_.Zipf(site_.page_count());
    r->path = site_.Page(page);
    r->size = site_.PageSize(page);
  } else if (pick < 8) {
    r->path = "/rss.xml";
    r->size = 9120;
  } else {
    r->path = "/download/catalog2024.pdf";
    r->size = 1834211;
  }
  r->status = 200;
  if (rng_.Below(4) == 0) {
    r->method = "HEAD";
    r->size = -1;
  }
}

void Generator::OddRequest(Request* r) {
  MakeClient(options_.seed, rng_.Zipf(hosts_), &odd_client_);
  r->client = &odd_client_;
  r->user = "-";
  r->method = "GET";
  r->query = {};
  r->protocol = "HTTP/1.1";
  r->referer_origin = {};
  r->referer = "-";
  r->agent = AgentText(odd_client_.agent);
  r->status = 404;
  r->size = kNotFoundSize;
  const uint32_t kind = odd_count_++ % 10;
  switch (kind) {
    case 0:  // markup in a page name: the report must escape it
      r->path = "/<script>alert(document.cookie)</script>.html";
      break;
    case 1:  // a quote, which the server writes as \"
      r->path = "/say\\\"hello\\\".html";
      break;
    case 2: {  // a page name longer than an analyser keeps
      char* p = odd_path_;
      p = Put(p, "/docs/manual/ja/");
      for (unsigned i = 1; i <= 9; ++i) {
        p += std::snprintf(p, 32, "chapter-%02u/section-%02u/", i, i * 3);
      }
      p = Put(p, "index.html");
      r->path = std::string_view(odd_path_, static_cast<size_t>(p - odd_path_));
      r->status = 200;
      r->size = 5120;
      break;
    }
    case 3:  // connection closed before any request
      r->method = {};
      r->path = "-";
      r->status = 400;
      r->size = -1;
      break;
    case 4:  // a request line naming a full address
      r->path = "https://www.example.jp/";
      r->status = 200;
      r->size = site_.PageSize(0);
      break;
    case 5:  // TLS spoken to the plain port; the server escapes the bytes
      r->method = {};
      r->path =
          "\\x16\\x03\\x01\\x02\\x00\\x01\\x00\\x01\\xfc\\x03\\x03\\xd3\\x8e"
          "\\x1bX\\xa1\\x9c";
      r->status = 400;
      r->size = 226;
      break;
    case 6: {  // a query string that makes the line longer than 511 bytes
      char* p = Put(odd_path_, "/search.cgi?q=");
      for (int i = 0; i < 20; ++i) p = Put(p, "%E3%82%AB%E3%83%A1%E3%83%A9+");
      p = Put(p, "&lang=ja");
      r->path = std::string_view(odd_path_, static_cast<size_t>(p - odd_path_));
      r->status = 200;
      r->size = 10240;
      break;
    }
    case 7:  // markup and an ampersand in a directory name
      r->path = "/tag/<tom&jerry>/";
      r->status = 200;
      r->size = 7311;
      break;
    case 8: {  // a long referer and a long agent: a combined line over 511
      const uint32_t page = rng_.Zipf(site_.page_count());
      r->path = site_.Page(page);
      r->status = 200;
      r->size = site_.PageSize(page);
      r->referer = LongReferer();
      r->agent = AgentText(LongAgent(rng_.Next()));
      break;
    }
    default:  // a user name in the user field
      r->user = UserName(rng_.Next());
      r->path = "/members/";
      r->status = 200;
      r->size = 4410;
      break;
  }
}

std::string_view Generator::LongReferer() {
  char* p = Put(long_referer_,
                "https://www.google.co.jp/url?sa=t&rct=j&q=&esrc=s&"
                "source=web&cd=&cad=rja&uact=8&ved=2ahUKEwi");
  static constexpr char kToken[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  const uint32_t length = 200 + rng_.Below(200);
  for (uint32_t i = 0; i < length; ++i) *p++ = kToken[rng_.Below(64)];
  p = Put(p, "&url=https%3A%2F%2Fwww.example.jp%2F&usg=AOvVaw3x");
  return std::string_view(long_referer_,
                          static_cast<size_t>(p - long_referer_));
}

char* Generator::Format(const Request& r, int64_t stamp, bool combined,
                        char* p) {
  p = Put(p, std::string_view(r.client->host,
                              static_cast<size_t>(r.client->host_len)));
  p = Put(p, " - ");
  p = Put(p, r.user);
  p = Put(p, " [");
  p += stamps_.Format(stamp, p);
  p = Put(p, "] \"");
  if (!r.method.empty()) {
    p = Put(p, r.method);
    *p++ = ' ';
  }
  p = Put(p, r.path);
  p = Put(p, r.query);
  if (!r.method.empty()) {
    *p++ = ' ';
    p = Put(p, r.protocol);
  }
  p = Put(p, "\" ");
  p = PutNumber(p, static_cast<uint64_t>(r.status));
  *p++ = ' ';
  if (r.size < 0) {
    *p++ = '-';
  } else {
    p = PutNumber(p, static_cast<uint64_t>(r.size));
  }
  if (combined) {
    p = Put(p, " \"");
    p = Put(p, r.referer_origin);
    p = Put(p, r.referer);
    p = Put(p, "\" \"");
    p = Put(p, r.agent);
    *p++ = '"';
  }
  if (options_.crlf) *p++ = '\r';
  *p++ = '\n';
  return p;
}

}  // namespace tovex::loggen
