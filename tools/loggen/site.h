// The web site the generated log is about: its pages, the files they embed,
// and the places visitors come from. Built once from the seed; lookups hand
// out views of strings the Site owns.

#ifndef TOVEX_TOOLS_LOGGEN_SITE_H_
#define TOVEX_TOOLS_LOGGEN_SITE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovex::loggen {

// The site's own address, as referers and absolute requests show it.
inline constexpr std::string_view kSiteOrigin = "https://www.example.jp";

class Site {
 public:
  // Builds `page_count` pages (at least the fixed head of well-known pages)
  // in popularity order: page 0 is the most requested.
  Site(uint64_t seed, uint32_t page_count);

  uint32_t page_count() const { return static_cast<uint32_t>(pages_.size()); }
  std::string_view Page(uint32_t page) const { return pages_[page]; }
  // Typical body size of the page in bytes.
  uint32_t PageSize(uint32_t page) const { return page_sizes_[page]; }

  // Whether the page is gone (removed, still linked from elsewhere): 404.
  bool Gone(uint32_t page) const;

  // Number of files (images, style sheets, scripts) page `page` embeds, and
  // the i-th of them.
  uint32_t EmbedCount(uint32_t page) const;
  std::string_view Embed(uint32_t page, uint32_t i) const;
  // Size of a file other than a page, from its name.
  static uint32_t FileSize(std::string_view path);

  // A referer of a visitor arriving from elsewhere, or "-" when `pick` says
  // the browser sent none.
  std::string_view ExternalReferer(uint64_t pick) const;

  // Pages of the members' area (password protected).
  std::string_view MembersPage(uint64_t pick) const;

 private:
  uint64_t seed_;
  std::vector<std::string> pages_;
  std::vector<uint32_t> page_sizes_;
  std::vector<std::string> images_;
  std::vector<std::string> referers_;
};

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_SITE_H_
