#include "site.h"

#include <cstdio>
#include <iterator>

#include "rng.h"

namespace tovex::loggen {
namespace {

// The most requested pages, in order. They carry the cases a report has to
// get right: the bare directory, "&" in a name (escaped in HTML), a
// percent-encoded Japanese directory, an upper-case suffix that does not count
// as a page, and every counted suffix.
constexpr const char* kHeadPages[] = {
    "/",
    "/index.html",
    "/products/",
    "/news/",
    "/company/access.html",
    "/q&a/",
    "/recruit/",
    "/support/faq.html",
    "/products/r&d.html",
    "/blog/",
    "/en/",
    "/sitemap.htm",
    "/contact/",
    "/ir/index.shtml",
    "/company/",
    "/%E4%BC%9A%E7%A4%BE%E6%A1%88%E5%86%85/",
    "/~tanaka/",
    "/~tanaka/diary.shtm",
    "/old/DEFAULT.HTM",
    "/news/2023/release0412.htm",
};

constexpr const char* kWords[] = {
    "about",  "access", "history", "greeting", "outline",  "privacy",
    "policy", "guide",  "price",   "spec",     "download", "support",
    "info",   "topics", "report",  "catalog",  "campaign", "entry",
    "map",    "links",  "profile", "diary",    "photo",    "gallery",
    "event",  "notice", "release", "faq",      "voice",    "works"};
constexpr const char* kHomeOwners[] = {"tanaka", "suzuki", "sato", "k-abe",
                                       "hiro"};
constexpr const char* kCategories[] = {"camera",  "audio",  "pc",   "mobile",
                                       "kitchen", "garden", "book", "toy"};

// Files most pages embed; page-specific images come from a pool.
constexpr const char* kCommonEmbeds[] = {
    "/css/style.css",          "/js/main.js",
    "/images/logo.png",        "/css/common.css?v=20240101",
    "/js/jquery-3.6.0.min.js", "/favicon.ico",
    "/images/header.jpg",      "/fonts/NotoSansJP-Regular.woff2",
    "/images/spacer.gif",      "/cgi-bin/count.cgi?id=3&dd=C",
};
constexpr uint32_t kCommonPerPage = 3;  // the first three on every page

constexpr const char* kImageTypes[] = {"jpg", "jpg", "png", "gif", "webp"};

constexpr const char* kReferers[] = {
    "https://www.google.co.jp/",
    "https://www.google.co.jp/",
    "https://www.google.co.jp/",
    "https://www.google.com/",
    "https://search.yahoo.co.jp/search?p=%E3%82%AB%E3%83%A1%E3%83%A9+%E4%BF%AE"
    "%E7%90%86&ei=UTF-8&fr=top_ga1_sa",
    "https://search.yahoo.co.jp/search?p=example&ei=UTF-8",
    "https://www.bing.com/search?q=example+jp+access&form=QBLH",
    "https://duckduckgo.com/",
    "https://t.co/Xk3Pq9LmZa",
    "https://l.facebook.com/l.php?u=https%3A%2F%2Fwww.example.jp%2F&h=AT0x",
    "android-app://com.google.android.googlequicksearchbox/",
    "https://b.hatena.ne.jp/entry/s/www.example.jp/",
    "http://blog.livedoor.jp/kazu_photo/archives/51234567.html",
    "https://www.sakuratech.co.jp/links.html",
    "https://chiebukuro.yahoo.co.jp/qa/question_detail/q12101234567",
    "http://www.example.jp/",
};

}  // namespace

Site::Site(uint64_t seed, uint32_t wanted_pages) : seed_(seed) {
  for (const char* p : kHeadPages) pages_.emplace_back(p);
  char buf[160];
  for (uint32_t i = static_cast<uint32_t>(pages_.size()); i < wanted_pages;
       ++i) {
    const uint64_t h = Mix2(seed, i);
    char dir[64];
    const char* word = kWords[(h >> 8) % std::size(kWords)];
    switch (h % 9) {
      case 0:
        std::snprintf(dir, sizeof dir, "/products/%s/",
                      kCategories[(h >> 16) % std::size(kCategories)]);
        break;
      case 1:
        std::snprintf(dir, sizeof dir, "/news/%u/",
                      2015 + static_cast<unsigned>(h >> 16) % 10);
        break;
      case 2:
        std::snprintf(dir, sizeof dir, "/blog/%u/%02u/",
                      2018 + static_cast<unsigned>(h >> 16) % 7,
                      1 + static_cast<unsigned>(h >> 24) % 12);
        break;
      case 3:
        std::snprintf(dir, sizeof dir, "/docs/manual/ch%02u/",
                      1 + static_cast<unsigned>(h >> 16) % 20);
        break;
      case 4:
        std::snprintf(dir, sizeof dir, "/support/");
        break;
      case 5:
        std::snprintf(dir, sizeof dir, "/company/");
        break;
      case 6:
        std::snprintf(dir, sizeof dir, "/en/%s/",
                      kCategories[(h >> 16) % std::size(kCategories)]);
        break;
      case 7:
        std::snprintf(dir, sizeof dir, "/~%s/",
                      kHomeOwners[(h >> 16) % std::size(kHomeOwners)]);
        break;
      default:
        std::snprintf(dir, sizeof dir, "/event/");
        break;
    }
    const unsigned n = static_cast<unsigned>(h >> 32) % 1000;
    // Suffix shares: directories a quarter, .html half, the rest .htm, .shtml
    // and a little .shtm.
    const uint64_t leaf = (h >> 40) % 100;
    if (leaf < 25) {
      std::snprintf(buf, sizeof buf, "%s%s%u/", dir, word, n);
    } else if (leaf < 75) {
      std::snprintf(buf, sizeof buf, "%s%s%u.html", dir, word, n);
    } else if (leaf < 90) {
      std::snprintf(buf, sizeof buf, "%s%s%u.htm", dir, word, n);
    } else if (leaf < 98) {
      std::snprintf(buf, sizeof buf, "%s%s%u.shtml", dir, word, n);
    } else {
      std::snprintf(buf, sizeof buf, "%sitem%u.shtm", dir, n);
    }
    pages_.emplace_back(buf);
  }
  for (uint32_t i = 0; i < pages_.size(); ++i) {
    page_sizes_.push_back(1800 + static_cast<uint32_t>(Mix2(seed, ~i) % 42000));
  }
  const uint32_t image_count = 8 + 3 * page_count();
  for (uint32_t i = 0; i < image_count; ++i) {
    const uint64_t h = Mix2(seed ^ 0x1a9e, i);
    std::snprintf(buf, sizeof buf, "/images/%s/%s%02u.%s",
                  kCategories[h % std::size(kCategories)],
                  kWords[(h >> 8) % std::size(kWords)],
                  static_cast<unsigned>(h >> 16) % 100,
                  kImageTypes[(h >> 24) % std::size(kImageTypes)]);
    images_.emplace_back(buf);
  }
  for (const char* r : kReferers) referers_.emplace_back(r);
}

bool Site::Gone(uint32_t page) const {
  return page >= std::size(kHeadPages) && Mix2(seed_ + 3, page) % 41 == 0;
}

uint32_t Site::EmbedCount(uint32_t page) const {
  return kCommonPerPage + static_cast<uint32_t>(Mix2(seed_ + 1, page) % 6);
}

std::string_view Site::Embed(uint32_t page, uint32_t i) const {
  if (i < kCommonPerPage) return kCommonEmbeds[i];
  const uint64_t h = Mix2(Mix2(seed_ + 2, page), i);
  if (h % 4 == 0) return kCommonEmbeds[h / 4 % std::size(kCommonEmbeds)];
  return images_[h / 4 % images_.size()];
}

uint32_t Site::FileSize(std::string_view path) {
  uint64_t pick = 14695981039346656037ULL;  // FNV-1a: a file keeps its size
  for (char c : path)
    pick = (pick ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  pick = Mix(pick);
  const auto ends = [&](std::string_view s) {
    return path.size() >= s.size() && path.substr(path.size() - s.size()) == s;
  };
  if (ends(".gif")) return 43 + static_cast<uint32_t>(pick % 9000);
  if (ends(".ico")) return 1150;
  if (ends(".css") || path.find(".css?") != std::string_view::npos) {
    return 2000 + static_cast<uint32_t>(pick % 30000);
  }
  if (ends(".js")) return 4000 + static_cast<uint32_t>(pick % 90000);
  if (ends(".woff2")) return 812000;
  if (ends(".pdf")) return 150000 + static_cast<uint32_t>(pick % 2000000);
  return 3000 + static_cast<uint32_t>(pick % 250000);
}

std::string_view Site::ExternalReferer(uint64_t pick) const {
  if (pick % 100 < 45) return "-";
  return referers_[pick / 100 % referers_.size()];
}

std::string_view Site::MembersPage(uint64_t pick) const {
  static constexpr const char* kMembers[] = {
      "/members/", "/members/index.html", "/members/report2024.html",
      "/members/minutes/", "/members/dl/manual.pdf"};
  return kMembers[pick % std::size(kMembers)];
}

}  // namespace tovex::loggen
