// The clients of the generated log: a host name for every host id, and the
// user agent that goes with it. Everything is a pure function of the seed and
// the id, so a host keeps its name and browser however often it returns.

#ifndef TOVEX_TOOLS_LOGGEN_CLIENTS_H_
#define TOVEX_TOOLS_LOGGEN_CLIENTS_H_

#include <cstdint>
#include <string_view>

namespace tovex::loggen {

enum class ClientKind {
  kBrowser,  // pages with their images, style sheets and scripts
  kCrawler,  // robots.txt, then pages only
  kScanner,  // probes for well-known weak spots, mostly 404
  kTool,     // wget, curl and scripts: a page or a file now and then
};

// Long enough for every pattern below; real host names stop at 253 bytes.
inline constexpr int kMaxHost = 128;

struct Client {
  char host[kMaxHost];
  int host_len;
  ClientKind kind;
  int agent;  // index for AgentText
};

// Fills `client` for host `id` of the universe of `seed`.
void MakeClient(uint64_t seed, uint32_t id, Client* client);

// The User-Agent text of agent index `agent` (from MakeClient or LongAgent).
std::string_view AgentText(int agent);

// An agent whose text is long (in-app browsers, old Internet Explorer with its
// .NET tokens); `pick` chooses among them.
int LongAgent(uint64_t pick);

// A user name for the members' area; `pick` chooses.
std::string_view UserName(uint64_t pick);

}  // namespace tovex::loggen

#endif  // TOVEX_TOOLS_LOGGEN_CLIENTS_H_
