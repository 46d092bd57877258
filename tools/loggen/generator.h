// The access-log generator: visitors arrive in sessions (a browser fetches a
// page and the files it embeds, a crawler walks pages, a scanner probes for
// weak spots), hosts and pages are drawn with Zipf-like popularity, and the
// lines get time stamps from a Schedule with the small disorder of a real
// server, which stamps a request when it starts and writes it when it ends.

#ifndef TOVEX_TOOLS_LOGGEN_GENERATOR_H_
#define TOVEX_TOOLS_LOGGEN_GENERATOR_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "calendar.h"
#include "clients.h"
#include "options.h"
#include "rng.h"
#include "schedule.h"
#include "sink.h"
#include "site.h"

namespace tovex::loggen {

class Generator {
 public:
  explicit Generator(const Options& options);

  // Writes the options' number of lines to `sink`.
  void Run(Sink* sink);

 private:
  struct Session {
    Client client;
    std::string_view protocol;
    std::string_view user;
    std::string_view entry_referer;
    uint32_t pages_left;
    uint32_t page;  // kNoPage before the first page view
    uint32_t embeds_left;
    uint32_t embed_next;
    bool cached;  // a returning browser: many 304s
    bool members;
    bool robots_done;
    int64_t last_stamp;  // kNoStamp before the first request
  };

  // One request as the log line shows it. A request without a method is
  // logged as `path` alone (a lone "-" or garbage bytes).
  struct Request {
    const Client* client;
    std::string_view user;
    std::string_view method;
    std::string_view path;
    std::string_view query;
    std::string_view protocol;
    int status;
    int64_t size;  // < 0: "-"
    std::string_view referer_origin;
    std::string_view referer;
    std::string_view agent;
  };

  static constexpr uint32_t kNoPage = UINT32_MAX;
  static constexpr int64_t kNoStamp = INT64_MIN;

  void NewSession(Session* s);
  void NextRequest(Session* s, Request* r);
  void BrowserRequest(Session* s, Request* r);
  void EmbedRequest(Session* s, Request* r);
  void MembersRequest(Session* s, Request* r);
  void ExtraRequest(Session* s, Request* r);
  void PageView(Session* s, Request* r);
  void CrawlerRequest(Session* s, Request* r);
  void ScannerRequest(Session* s, Request* r);
  void ToolRequest(Session* s, Request* r);
  void OddRequest(Request* r);
  // The stamp of the next line, whose slot in the schedule is `slot`, for
  // session `s` (null for an odd line).
  int64_t NextStamp(int64_t slot, Session* s);
  // A search engine's redirect address of 300 to 500 bytes, in a buffer
  // that the next call overwrites.
  std::string_view LongReferer();
  bool Combined();
  // Writes the line of `r` at `out`, returns one past its end. The longest
  // parts (a 600-byte query, a 530-byte referer, a 300-byte agent) keep a
  // line far below Sink::kMaxLine.
  char* Format(const Request& r, int64_t stamp, bool combined, char* out);

  Options options_;
  Rng rng_;
  Site site_;
  Schedule schedule_;
  StampFormatter stamps_;
  uint32_t hosts_;  // size of the host universe
  std::vector<Session> sessions_;
  uint64_t line_;

  // Time stamps and their disorder.
  int64_t previous_planned_;
  int64_t previous_stamp_;
  bool previous_disordered_;
  bool straggler_pending_;
  int64_t straggler_stamp_;
  int last_month_;

  // Rare odd lines, taken in turn so that even a small log has each kind.
  uint32_t odd_count_;
  Client odd_client_;
  char odd_path_[1024];
  char long_referer_[1024];
};

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_GENERATOR_H_
