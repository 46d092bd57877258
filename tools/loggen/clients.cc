#include "clients.h"

#include <cstdio>
#include <iterator>

#include "rng.h"

namespace tovex::loggen {
namespace {

struct Agent {
  const char* text;
  ClientKind kind;
  int weight;  // among agents of its kind; 0 = only on purpose
};

// Ordered by kind; MakeClient picks by weight within a kind, crawler hosts
// name their own agent.
constexpr Agent kAgents[] = {
    // Browsers.
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
     "like Gecko) Chrome/120.0.0.0 Safari/537.36",
     ClientKind::kBrowser, 30},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1_2 like Mac OS X) "
     "AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1.2 Mobile/15E148 "
     "Safari/604.1",
     ClientKind::kBrowser, 22},
    {"Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like "
     "Gecko) Chrome/120.0.0.0 Mobile Safari/537.36",
     ClientKind::kBrowser, 12},
    {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 "
     "(KHTML, like Gecko) Version/17.1 Safari/605.1.15",
     ClientKind::kBrowser, 8},
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:121.0) Gecko/20100101 "
     "Firefox/121.0",
     ClientKind::kBrowser, 6},
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
     "like Gecko) Chrome/120.0.0.0 Safari/537.36 Edg/120.0.2210.61",
     ClientKind::kBrowser, 8},
    {"Mozilla/5.0 (iPad; CPU OS 16_6 like Mac OS X) AppleWebKit/605.1.15 "
     "(KHTML, like Gecko) Version/16.6 Mobile/15E148 Safari/604.1",
     ClientKind::kBrowser, 3},
    {"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; WOW64; Trident/4.0; "
     "SLCC2; .NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; "
     "Media Center PC 6.0; InfoPath.3; .NET4.0C; .NET4.0E)",
     ClientKind::kBrowser, 2},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1_2 like Mac OS X) "
     "AppleWebKit/605.1.15 (KHTML, like Gecko) Mobile/15E148 Safari Line/"
     "13.20.0 LIFF",
     ClientKind::kBrowser, 3},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 16_6 like Mac OS X) "
     "AppleWebKit/605.1.15 (KHTML, like Gecko) Mobile/15E148 [FBAN/FBIOS;"
     "FBDV/iPhone14,5;FBMD/iPhone;FBSN/iOS;FBSV/16.6;FBSS/3;FBID/phone;"
     "FBLC/ja_JP;FBOP/5;FBRV/523428658;IABMV/1]",
     ClientKind::kBrowser, 1},
    {"DoCoMo/2.0 P903i(c100;TB;W24H12)", ClientKind::kBrowser, 1},
    {"KDDI-SA31 UP.Browser/6.2.0.7.3.129 (GUI) MMP/2.0", ClientKind::kBrowser,
     1},
    {"-", ClientKind::kBrowser, 1},
    // Tools.
    {"Wget/1.21.3", ClientKind::kTool, 3},
    {"curl/7.88.1", ClientKind::kTool, 3},
    {"python-requests/2.31.0", ClientKind::kTool, 2},
    {"Java/1.8.0_151", ClientKind::kTool, 1},
    // Scanners.
    {"Mozilla/5.0 zgrab/0.x", ClientKind::kScanner, 3},
    {"Mozilla/5.0 (compatible; CensysInspect/1.1; "
     "+https://about.censys.io/)",
     ClientKind::kScanner, 1},
    {"-", ClientKind::kScanner, 2},
    // Crawlers, named by their hosts (kCrawlerAgent* below).
    {"Mozilla/5.0 (compatible; Googlebot/2.1; "
     "+http://www.google.com/bot.html)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (Linux; Android 6.0.1; Nexus 5X Build/MMB29P) "
     "AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.6099.129 Mobile "
     "Safari/537.36 (compatible; Googlebot/2.1; "
     "+http://www.google.com/bot.html)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (compatible; bingbot/2.0; "
     "+http://www.bing.com/bingbot.htm)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (compatible; Baiduspider/2.0; "
     "+http://www.baidu.com/search/spider.html)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (compatible; YandexBot/3.0; +http://yandex.com/bots)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_5) AppleWebKit/605.1.15 "
     "(KHTML, like Gecko) Version/13.1.1 Safari/605.1.15 (Applebot/0.1; "
     "+http://www.apple.com/go/applebot)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (compatible; SemrushBot/7~bl; "
     "+http://www.semrush.com/bot.html)",
     ClientKind::kCrawler, 0},
    {"Mozilla/5.0 (compatible; MJ12bot/v1.4.8; http://mj12bot.com/)",
     ClientKind::kCrawler, 0},
};

constexpr int kGooglebot = 20;
constexpr int kGooglebotMobile = 21;
constexpr int kBingbot = 22;
constexpr int kBaiduspider = 23;
constexpr int kYandexBot = 24;
constexpr int kApplebot = 25;
constexpr int kAhrefsBot = 26;
constexpr int kSemrushBot = 27;
constexpr int kMj12Bot = 28;

static_assert(std::size(kAgents) == 29, "agent indices below need updating");
static_assert(kAgents[kGooglebot].kind == ClientKind::kCrawler &&
                  kAgents[kMj12Bot].kind == ClientKind::kCrawler &&
                  kAgents[kGooglebot - 1].kind == ClientKind::kScanner,
              "crawler agents must stay where the constants say");

constexpr int kLongAgents[] = {7, 9, kGooglebotMobile};

constexpr const char* kUsers[] = {"tanaka", "suzuki",   "k.sato", "watanabe",
                                  "ito",    "yamamoto", "admin",  "guest"};

// Roots and endings of organisation names; their product with the top-level
// domains gives several thousand organisations, more than a report's
// organisation table holds.
constexpr const char* kRoots[] = {
    "sakura",   "fuji",     "midori",   "aozora",    "hikari",  "yamato",
    "kaze",     "umi",      "tsubasa",  "hoshi",     "mori",    "kawa",
    "nishi",    "higashi",  "minami",   "kita",      "asahi",   "taiyo",
    "shinsei",  "daiichi",  "chuo",     "tokai",     "kansai",  "kyushu",
    "seiwa",    "meiji",    "nihon",    "acme",      "globex",  "initech",
    "hooli",    "contoso",  "fabrikam", "northwind", "litware", "adatum",
    "vandelay", "tailspin", "wingtip",  "proseware"};
constexpr const char* kEndings[] = {
    "",      "tech",  "soft",  "net",  "sys",   "denki", "shoji",
    "kogyo", "seiko", "bank",  "data", "works", "lab",   "kensetsu",
    "unyu",  "media", "group", "corp", "-web",  "-labs"};
constexpr const char* kJapaneseSuffixes[] = {
    "co.jp", "co.jp", "co.jp", "or.jp", "ac.jp", "go.jp", "ne.jp", "ed.jp"};
constexpr const char* kGenericTlds[] = {"com", "com",  "net", "org", "jp",
                                        "jp",  "de",   "fr",  "kr",  "cn",
                                        "tw",  "info", "biz", "io"};
constexpr const char* kGateways[] = {"fw",  "gw",       "proxy", "proxy2",
                                     "vpn", "ns1",      "mail",  "www-cache",
                                     "bc",  "firewall", "gate",  "dmz"};
constexpr const char* kDepartments[] = {"cs",  "eng",  "med", "lit",
                                        "sci", "econ", "lib", "ipc"};
constexpr const char* kCities[] = {
    "tokyo", "osaka", "yokohama", "nagoya",    "sapporo", "fukuoka",
    "kobe",  "kyoto", "sendai",   "hiroshima", "chiba",   "saitama"};
constexpr const char* kMeshCities[] = {"tky", "osk", "kng",
                                       "stm", "chb", "ngy"};
constexpr const char* kStates[] = {"ca", "wa", "ma", "il", "co", "tx", "ny"};
constexpr const char* kRegions[] = {"ap-northeast-1", "us-east-1", "us-west-2",
                                    "eu-central-1"};

template <typename T, size_t N>
const T& PickOf(const T (&table)[N], uint64_t h) {
  return table[h % N];
}

// Four octets of an address from a hash; first octet in 1..223 (unicast).
struct Quad {
  unsigned a, b, c, d;
};
Quad QuadOf(uint64_t h) {
  return {static_cast<unsigned>(1 + h % 223),
          static_cast<unsigned>(h >> 8 & 255),
          static_cast<unsigned>(h >> 16 & 255),
          static_cast<unsigned>(h >> 24 & 255)};
}

int Put(Client* c, int n) {
  if (n < 0) n = 0;
  if (n >= kMaxHost) n = kMaxHost - 1;
  c->host_len = n;
  return n;
}

int AgentOfKind(ClientKind kind, uint64_t h) {
  int total = 0;
  for (const Agent& a : kAgents) {
    if (a.kind == kind) total += a.weight;
  }
  int pick = static_cast<int>(h % static_cast<uint64_t>(total));
  for (int i = 0; i < static_cast<int>(std::size(kAgents)); ++i) {
    if (kAgents[i].kind != kind) continue;
    if (pick < kAgents[i].weight) return i;
    pick -= kAgents[i].weight;
  }
  return 0;
}

void OrgName(uint64_t h, char* out, size_t size) {
  std::snprintf(out, size, "%s%s", PickOf(kRoots, h), PickOf(kEndings, h >> 8));
}

// Numeric IPv4, with now and then a private address of an intranet.
void NumericHost(uint64_t h, Client* c) {
  Quad q = QuadOf(h);
  if (h % 40 == 0) q = {192, 168, 1 + static_cast<unsigned>(h >> 40) % 3, q.d};
  if (q.a == 127 || q.a == 10) q.a = 133;
  Put(c, std::snprintf(c->host, kMaxHost, "%u.%u.%u.%u", q.a, q.b, q.c, q.d));
}

void Ipv6Host(uint64_t h, Client* c) {
  const unsigned x = static_cast<unsigned>(h >> 16 & 0xffff);
  const unsigned y = static_cast<unsigned>(h >> 32 & 0xffff);
  const unsigned z = static_cast<unsigned>(h >> 48 & 0xfff);
  int n = 0;
  switch (h % 4) {
    case 0:
      n = std::snprintf(c->host, kMaxHost, "2001:db8::%x", z);
      break;
    case 1:
      n = std::snprintf(c->host, kMaxHost, "2001:db8:%x:%x::%x", x, y, z);
      break;
    case 2:
      n = std::snprintf(c->host, kMaxHost, "240b:%x:%x:%x00:%x:%x:%x:%x",
                        x & 0xfff, y, z & 0xff, x, y ^ 0x5a5a, z, x ^ y);
      break;
    default:
      n = std::snprintf(c->host, kMaxHost, "2400:4051:%x:%x00::%x", x, z & 0xff,
                        y);
      break;
  }
  Put(c, n);
}

// Dial-up and broadband names of Japanese providers, as reverse DNS gives them.
void JapaneseIspHost(uint64_t h, Client* c) {
  const Quad q = QuadOf(h >> 3);
  const uint64_t g = Mix(h);
  char* s = c->host;
  int n = 0;
  switch (h % 12) {
    case 0: {
      const char* city = PickOf(kCities, g);
      static constexpr const char* kKinds[] = {"bf", "ad", "ng", "bn"};
      n = std::snprintf(s, kMaxHost, "p%u-ip%s%02u%02u%s.%s.ocn.ne.jp",
                        1000 + static_cast<unsigned>(g >> 8) % 9000,
                        PickOf(kKinds, g >> 20),
                        static_cast<unsigned>(g >> 24) % 50,
                        static_cast<unsigned>(g >> 32) % 100, city, city);
      break;
    }
    case 1:
      n = std::snprintf(s, kMaxHost, "softbank126%03u%03u%03u.bbtec.net", q.b,
                        q.c, q.d);
      break;
    case 2:
      n = std::snprintf(s, kMaxHost, "KD%03u%03u%03u%03u.au-net.ne.jp",
                        g % 2 ? 106u : 111u, q.b, q.c, q.d);
      break;
    case 3:
      n = std::snprintf(s, kMaxHost, "i%u-%u-%u-%u.s%u.a%03u.ap.plala.or.jp",
                        114 + q.a % 10, q.b, q.c, q.d, 10 + q.a % 40, q.b % 48);
      break;
    case 4:
      n = std::snprintf(s, kMaxHost, "sp%u-%u-%u-%u.msc.spmode.ne.jp",
                        g % 2 ? 1u : 49u, g % 2 ? 75u : 98u, q.c, q.d);
      break;
    case 5:
      n = std::snprintf(s, kMaxHost, "FL1-%u-%u-%u-%u.%s.mesh.ad.jp",
                        119 + q.a % 8, q.b, q.c, q.d, PickOf(kMeshCities, g));
      break;
    case 6:
      n = std::snprintf(s, kMaxHost,
                        "ai%03u%03u%03u%03u.%u.tss.access-internet.ne.jp", 126u,
                        q.b, q.c, q.d, 1 + q.a % 9);
      break;
    case 7:
      n = std::snprintf(s, kMaxHost, "zaq%08x.rev.zaq.ne.jp",
                        static_cast<unsigned>(g));
      break;
    case 8:
      n = std::snprintf(s, kMaxHost, "KHP%03u%03u%03u%03u.ppp-bb.dion.ne.jp",
                        59u, q.b, q.c, q.d);
      break;
    case 9:
      n = std::snprintf(s, kMaxHost, "fp%08x.%s%u.ap.nuro.jp",
                        static_cast<unsigned>(g >> 16), g % 2 ? "tkyc" : "osk",
                        1 + q.d);
      break;
    case 10:
      n = std::snprintf(s, kMaxHost, "h%u-%u-%u-%u.catv%02u.itscom.jp",
                        175 + q.a % 10, q.b, q.c, q.d, 1 + q.a % 20);
      break;
    default:
      n = std::snprintf(s, kMaxHost, "pl%u.ag%u.nttpc.ne.jp",
                        static_cast<unsigned>(g % 99999),
                        1000 + static_cast<unsigned>(g >> 32) % 9000);
      break;
  }
  Put(c, n);
}

void ForeignIspHost(uint64_t h, Client* c) {
  const Quad q = QuadOf(h >> 3);
  const uint64_t g = Mix(h);
  char* s = c->host;
  int n = 0;
  switch (h % 8) {
    case 0:
      n = std::snprintf(s, kMaxHost, "c-%u-%u-%u-%u.hsd1.%s.comcast.net", q.a,
                        q.b, q.c, q.d, PickOf(kStates, g));
      break;
    case 1:
      n = std::snprintf(s, kMaxHost, "pool-%u-%u-%u-%u.nycmny.fios.verizon.net",
                        q.a, q.b, q.c, q.d);
      break;
    case 2:
      n = std::snprintf(s, kMaxHost, "cpe-%u-%u-%u-%u.%s.res.rr.com", q.a, q.b,
                        q.c, q.d, PickOf(kStates, g));
      break;
    case 3:
      n = std::snprintf(s, kMaxHost,
                        "host%u-%u-%u-%u.range%u-%u.btcentralplus.com", q.a,
                        q.b, q.c, q.d, q.a, q.b);
      break;
    case 4:
      n = std::snprintf(
          s, kMaxHost,
          "dslb-%03u-%03u-%03u-%03u.%03u.%03u.pools.vodafone-ip.de", q.a, q.b,
          q.c, q.d, q.a, q.b);
      break;
    case 5:
      n = std::snprintf(s, kMaxHost, "ec2-%u-%u-%u-%u.%s.compute.amazonaws.com",
                        q.a, q.b, q.c, q.d, PickOf(kRegions, g));
      break;
    case 6:
      n = std::snprintf(s, kMaxHost, "%u-%u-%u-%u.dynamic-ip.hinet.net", q.a,
                        q.b, q.c, q.d);
      break;
    default:
      n = std::snprintf(s, kMaxHost,
                        "%u.%u.%u.%u.broad.bj.bj.dynamic.163data.com.cn", q.d,
                        q.c, q.b, q.a);
      break;
  }
  Put(c, n);
}

// Gateways and machines of companies, universities and offices.
void OrganisationHost(uint64_t h, Client* c) {
  const uint64_t g = Mix(h);
  char org[40];
  OrgName(g, org, sizeof org);
  char* s = c->host;
  int n = 0;
  switch (h % 4) {
    case 0:
      n = std::snprintf(s, kMaxHost, "%s.%s.%s", PickOf(kGateways, g >> 16),
                        org, PickOf(kJapaneseSuffixes, g >> 24));
      break;
    case 1:
      n = std::snprintf(s, kMaxHost, "pc%u.%s.%s-u.ac.jp",
                        static_cast<unsigned>(g >> 32) % 300,
                        PickOf(kDepartments, g >> 16), PickOf(kRoots, g >> 24));
      break;
    default:
      n = std::snprintf(s, kMaxHost, "%s.%s.%s", PickOf(kGateways, g >> 16),
                        org, PickOf(kGenericTlds, g >> 24));
      break;
  }
  Put(c, n);
}

// Two labels (a small company's own name), or one (a machine on a LAN).
void ShortHost(uint64_t h, Client* c) {
  const uint64_t g = Mix(h);
  char org[40];
  OrgName(g, org, sizeof org);
  int n = 0;
  if (h % 4 == 0) {
    static constexpr const char* kLocal[] = {"localhost",   "intranet",
                                             "PC-TANAKA01", "DESKTOP-7F3K2QA",
                                             "nas",         "printer2"};
    n = std::snprintf(c->host, kMaxHost, "%s", PickOf(kLocal, g >> 8));
  } else {
    n = std::snprintf(c->host, kMaxHost, "%s.%s", org,
                      PickOf(kGenericTlds, g >> 24));
  }
  Put(c, n);
}

void CrawlerHost(uint64_t h, Client* c) {
  const Quad q = QuadOf(h >> 3);
  char* s = c->host;
  int n = 0;
  switch (h % 10) {
    case 0:
    case 1:
    case 2:
      n = std::snprintf(s, kMaxHost, "crawl-66-249-%u-%u.googlebot.com",
                        64 + q.c % 16, q.d);
      c->agent = h % 3 == 0 ? kGooglebot : kGooglebotMobile;
      break;
    case 3:
    case 4:
      n = std::snprintf(s, kMaxHost, "msnbot-%s-%u.search.msn.com",
                        q.c % 2 ? "157-55-39" : "40-77-167", q.d);
      c->agent = kBingbot;
      break;
    case 5:
      n = std::snprintf(s, kMaxHost,
                        "baiduspider-220-181-108-%u.crawl.baidu.com", q.d);
      c->agent = kBaiduspider;
      break;
    case 6:
      n = std::snprintf(s, kMaxHost, "5-255-253-%u.spider.yandex.com", q.d);
      c->agent = kYandexBot;
      break;
    case 7:
      n = std::snprintf(s, kMaxHost, "17-58-98-%u.applebot.apple.com", q.d);
      c->agent = kApplebot;
      break;
    case 8:
      n = std::snprintf(s, kMaxHost, "54.36.148.%u", q.d);
      c->agent = kAhrefsBot;
      break;
    default:
      n = std::snprintf(s, kMaxHost, "%u.%u.%u.%u", q.a, q.b, q.c, q.d);
      c->agent = q.d % 2 ? kSemrushBot : kMj12Bot;
      break;
  }
  Put(c, n);
}

}  // namespace

void MakeClient(uint64_t seed, uint32_t id, Client* client) {
  const uint64_t h = Mix2(seed, id);
  const uint64_t kind_pick = h % 1000;
  const uint64_t rest = h / 1000;
  client->kind = ClientKind::kBrowser;
  client->agent = AgentOfKind(ClientKind::kBrowser, Mix(rest));
  // Shares of host ids, per mille.
  if (kind_pick < 300) {
    NumericHost(rest, client);
    if (kind_pick < 12) client->kind = ClientKind::kScanner;
    if (kind_pick >= 12 && kind_pick < 30) client->kind = ClientKind::kTool;
    if (client->kind != ClientKind::kBrowser) {
      client->agent = AgentOfKind(client->kind, Mix(rest));
    }
  } else if (kind_pick < 330) {
    Ipv6Host(rest, client);
  } else if (kind_pick < 585) {
    JapaneseIspHost(rest, client);
  } else if (kind_pick < 685) {
    ForeignIspHost(rest, client);
  } else if (kind_pick < 885) {
    OrganisationHost(rest, client);
  } else if (kind_pick < 935) {
    ShortHost(rest, client);
  } else {
    client->kind = ClientKind::kCrawler;
    CrawlerHost(rest, client);
  }
}

std::string_view AgentText(int agent) { return kAgents[agent].text; }

int LongAgent(uint64_t pick) { return PickOf(kLongAgents, pick); }

std::string_view UserName(uint64_t pick) { return PickOf(kUsers, pick); }

}  // namespace tovex::loggen
