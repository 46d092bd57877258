#include "resolve/dns_resolver.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "resolve/testing/dns_servers.h"

namespace tovex {
namespace {

constexpr uint16_t kA = 1, kPtr = 12;

// Hands out entries; a text "name=address" is an entry known already.
class ListSource : public NameSource {
 public:
  explicit ListSource(std::vector<std::string> items)
      : items_(std::move(items)) {}
  bool Next(NameEntry* e) override {
    if (next_ == items_.size()) return false;
    const std::string& item = items_[next_++];
    const size_t eq = item.find('=');
    *e = NameEntry{std::string_view(item), 7, NameOutcome::kUnanswered, {}};
    if (eq != std::string::npos) {
      e->name = std::string_view(item).substr(0, eq);
      e->address = std::string_view(item).substr(eq + 1);
      e->outcome = NameOutcome::kConfirmed;
    }
    return true;
  }

 private:
  std::vector<std::string> items_;
  size_t next_ = 0;
};

// "address outcome[ name]" for each entry, "*" marking a looked-up one.
class ListSink : public NameSink {
 public:
  Status Take(const NameEntry& e) override {
    static const char* const kOutcomes[] = {"unanswered", "confirmed",
                                            "no-name", "unconfirmed", "bad"};
    std::string line(e.address);
    line.append(" ").append(kOutcomes[static_cast<int>(e.outcome)]);
    if (!e.name.empty()) line.append(" ").append(e.name);
    if (e.looked_up) line += " *";
    if (e.time != 7) line += " time?";
    lines.push_back(line);
    return Status::Ok();
  }
  std::vector<std::string> lines;
};

std::vector<std::string> Resolve(uint16_t port, std::vector<std::string> in,
                                 int budget_ms = 5000,
                                 const std::atomic<int>* stop = nullptr,
                                 Status* status = nullptr) {
  DnsOptions options;
  options.server = DnsServer{};
  EXPECT_EQ(
      ParseDnsServer("127.0.0.1:" + std::to_string(port), &*options.server),
      "");
  options.budget = std::chrono::milliseconds(budget_ms);
  options.stop = stop;
  std::unique_ptr<DnsResolver> resolver;
  EXPECT_TRUE(DnsResolver::Create(options, &resolver).ok());
  ListSource source(std::move(in));
  ListSink sink;
  const Status s = resolver->Resolve(&source, &sink);
  if (status != nullptr) *status = s;
  EXPECT_TRUE(status != nullptr || s.ok());
  return sink.lines;
}

TEST(DnsResolverTest, ConfirmsForwardWithDnsmasqInInputOrder) {
  std::string error;
  auto dnsmasq = Dnsmasq::Start(
      "192.0.2.1 one.test\n192.0.2.50 Mixed.Case.test\n192.0.2.99 liar.test\n"
      "2001:db8::1 six.test\n",
      {"--ptr-record=2.2.0.192.in-addr.arpa,liar.test",
       "--ptr-record=3.2.0.192.in-addr.arpa,nowhere.test",
       "--ptr-record=2.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1."
       "0.0.2.ip6.arpa,one.test"},
      &error);
  ASSERT_NE(dnsmasq, nullptr) << error;
  std::vector<std::string> in, want;
  // Enough addresses to fill the window several times, known ones between.
  for (int i = 0; i < 3 * static_cast<int>(kDnsWindow); ++i) {
    in.insert(in.end(),
              {"192.0.2.1", "cached.test=192.0.2.10", "192.0.2.2",
               "192.0.2.200", "192.0.2.3", "2001:db8::1", "2001:db8::2",
               "2001:db8::99", "192.0.2.50", "::ffff:192.0.2.1", "junk"});
    want.insert(
        want.end(),
        {"192.0.2.1 confirmed one.test *", "192.0.2.10 confirmed cached.test",
         "192.0.2.2 unconfirmed *",  // liar.test is 192.0.2.99
         "192.0.2.200 no-name *",
         "192.0.2.3 unconfirmed *",  // nowhere.test: NXDOMAIN
         "2001:db8::1 confirmed six.test *",
         "2001:db8::2 unconfirmed *",  // one.test has no AAAA
         "2001:db8::99 no-name *", "192.0.2.50 confirmed mixed.case.test *",
         "::ffff:192.0.2.1 confirmed one.test *", "junk unanswered *"});
  }
  EXPECT_EQ(Resolve(dnsmasq->port(), in), want);
}

TEST(DnsResolverTest, HostileAnswersNeverGiveAName) {
  using W = std::vector<std::string>;
  const auto ptr = [](W labels) {
    return CraftedDns::Answer{0, {{kPtr, CraftedDns::WireName(labels)}}};
  };
  const auto a = [](std::string bytes) {
    return CraftedDns::Answer{0, {{kA, bytes}}};
  };
  const std::string label60(60, 'x');
  const std::string rev = ".100.51.198.in-addr.arpa";
  CraftedDns::Table table = {
      {{"1" + rev, kPtr}, ptr({"evil\x01", "test"})},
      {{"2" + rev, kPtr}, ptr({"<script>alert(1)</script>", "test"})},
      {{"3" + rev, kPtr}, ptr({"a.b", "test"})},
      {{"4" + rev, kPtr}, ptr({label60, label60, label60, label60, label60})},
      {{"5" + rev, kPtr}, ptr({"198", "51", "100", "5"})},
      {{"6" + rev, kPtr},
       {0,
        {{kPtr, CraftedDns::WireName({"x_y", "test"})},
         {kPtr, CraftedDns::WireName({"good", "test"})}}}},
      {{"good.test", kA}, a("\xc6\x33\x64\x06")},
      {{"7" + rev, kPtr}, ptr({"Upper", "TEST"})},
      {{"upper.test", kA},
       {0, {{kA, "\xc6\x33\x64\x63"}, {kA, "\xc6\x33\x64\x07"}}}},
      {{"8" + rev, kPtr}, {2, {}}},  // SERVFAIL
      {{"9" + rev, kPtr}, {5, {}}},  // REFUSED
      {{"10" + rev, kPtr}, ptr({"fwdfail", "test"})},
      {{"fwdfail.test", kA}, {2, {}}},
      {{"11" + rev, kPtr}, a("\xc6\x33\x64\x0b")},  // no PTR in the answer
      {{"12" + rev, kPtr}, ptr({"noaddress", "test"})},
      {{"noaddress.test", kA}, {0, {}}},
  };
  CraftedDns server(std::move(table));
  EXPECT_EQ(
      Resolve(server.port(), {"198.51.100.1", "198.51.100.10", "198.51.100.11",
                              "198.51.100.12", "198.51.100.2", "198.51.100.3",
                              "198.51.100.4", "198.51.100.5", "198.51.100.6",
                              "198.51.100.7", "198.51.100.8", "198.51.100.9"}),
      W({"198.51.100.1 bad *", "198.51.100.10 unanswered *",
         "198.51.100.11 no-name *", "198.51.100.12 unconfirmed *",
         "198.51.100.2 bad *", "198.51.100.3 bad *", "198.51.100.4 bad *",
         "198.51.100.5 bad *", "198.51.100.6 confirmed good.test *",
         "198.51.100.7 confirmed upper.test *", "198.51.100.8 unanswered *",
         "198.51.100.9 unanswered *"}));
}

TEST(DnsResolverTest, BudgetAndStopEndTheWaitForASilentServer) {
  CraftedDns silent({});
  EXPECT_EQ(Resolve(silent.port(),
                    {"a.test=192.0.2.1", "192.0.2.2", "b.test=192.0.2.3",
                     "192.0.2.4"},
                    300),
            std::vector<std::string>(
                {"192.0.2.1 confirmed a.test", "192.0.2.2 unanswered *",
                 "192.0.2.3 confirmed b.test", "192.0.2.4 unanswered *"}));
  // A stop while it waits: the entries before the wait are handed out.
  std::atomic<int> stop{0};
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = 15;
  });
  Status status;
  EXPECT_EQ(Resolve(silent.port(), {"a.test=192.0.2.1", "192.0.2.2"}, 30000,
                    &stop, &status),
            std::vector<std::string>({"192.0.2.1 confirmed a.test"}));
  stopper.join();
  EXPECT_EQ(status.code(), Status::Code::kCancelled);
}

TEST(DnsResolverTest, ServerOptionTexts) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t port;
  } cases[] = {
      {"192.0.2.53", true, 53},        {"192.0.2.53:5353", true, 5353},
      {"2001:db8::53", true, 53},      {"[2001:db8::53]", true, 53},
      {"[2001:db8::53]:54", true, 54}, {"192.0.2.53:", false, 0},
      {"192.0.2.53:0", false, 0},      {"192.0.2.53:65536", false, 0},
      {"192.0.2.53:5x", false, 0},     {"[192.0.2.53]:53", false, 0},
      {"[2001:db8::53", false, 0},     {"[2001:db8::53]53", false, 0},
      {"ns.example.jp", false, 0},     {"", false, 0},
  };
  for (const Case& c : cases) {
    DnsServer server;
    const std::string error = ParseDnsServer(c.text, &server);
    EXPECT_EQ(error.empty(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(server.port, c.port) << c.text;
    } else {
      EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace tovex
