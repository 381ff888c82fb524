// The HTTP client behind platform.h, the same contract on every backend: the
// final status of a link, links that cannot be opened, and a session that
// can be closed under running requests.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/env.h"
#include "tests/support/http_fixture.h"
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;

// The status text of a request, "unknown" without one, "none" for no request.
std::string status_text(HttpRequest* request) {
  char buffer[100] = {};
  const bool known = request && http_query_status(request, buffer, sizeof buffer);
  http_close_request(request);
  return !request ? "none" : known ? buffer : "unknown";
}

class HttpContract : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.ok() && session); }
  void TearDown() override { http_close_session(session); }
  std::string status_of(const std::string& link) {
    return status_text(http_open_url(session, link));
  }
  HttpFixture server;
  HttpSession* session = http_open_session("LVK");
};

// The status of the final answer, or "none" for a link that gives no request.
// Proxies named by the environment are never asked. The worker's tests check
// the common answers, a redirection chain, a refused port and empty links.
TEST_F(HttpContract, StatusOfEveryKindOfLink) {
  const std::string proxy = unreachable_url();
  ScopedEnv http("http_proxy", proxy), upper("HTTP_PROXY", proxy), all("ALL_PROXY", proxy);
  const std::pair<std::string, std::string> cases[] = {
      {server.url("/status/204"), "204"},
      {server.url("/moved/1"), "200"},
      {server.url("/redirect-to?url=/status/410"), "410"},
      {server.url("/file"), "302"},   // a redirection to a local file is never followed
      {server.url("/stall"), "200"},  // the headers only, never the body
      {unresolvable_url(), "none"},
      {"javascript:alert(1)", "none"},
      {std::string(64, 'x') + ".invalid/without/scheme", "none"},
      {server.url("/redirect-to?url=") + unreachable_url(), "none"},  // to a dead port
      // Sent as a browser sends them: blanks around dropped, tabs and line
      // breaks inside dropped, backslashes taken as slashes, blanks escaped.
      {" \t" + server.url("/status/200?a b") + "\r\n", "200"},
      {server.url("\\sta\ttus\\410"), "410"},
  };
  const auto t0 = Clock::now();
  for (const auto& [link, status] : cases) EXPECT_EQ(status_of(link), status) << link;
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
  EXPECT_EQ(server.count("/file"), 1);
  EXPECT_EQ(server.count("/status/200?a%20b"), 1);
}

// Closing the session under running requests: every call comes back at
// once, either with its answer or as not tried, never as a link that failed,
// and a closed session opens nothing more. The first rounds close while
// calls wait on a silent and a slow server, the last ones race the opening.
TEST_F(HttpContract, SessionClosedUnderRunningRequests) {
  for (int round = 0; round < 4; ++round) {
    HttpSession* racing = http_open_session("LVK");
    ASSERT_NE(racing, nullptr);
    std::string outcomes[4][2];
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
      callers.emplace_back([&, i] {
        const std::string links[] = {"/slow/" + std::to_string(10 * i),
                                     i % 2 ? "/hang" : "/slow/60000"};
        for (int k = 0; k < 2; ++k) {
          bool not_tried = false;
          HttpRequest* r = http_open_url(racing, server.url(links[k]), &not_tried);
          // A request that outlived its session may no longer know its status.
          const std::string status = status_text(r);
          outcomes[i][k] = r ? (status == "unknown" ? "200" : status)
                             : not_tried ? "not tried" : "failed";
        }
      });
    if (round < 2) {
      ASSERT_TRUE(server.wait_for_path("/hang", 2 * (round + 1), 10000));
      ASSERT_TRUE(server.wait_for_path("/slow/60000", 2 * (round + 1), 10000));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20 * (round - 2)));
    }
    const auto t0 = Clock::now();
    http_close_session(racing);
    for (std::thread& t : callers) t.join();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1500)) << "round " << round;
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(outcomes[i][0] == "200" || outcomes[i][0] == "not tried") << outcomes[i][0];
      EXPECT_EQ(outcomes[i][1], "not tried") << "round " << round << " caller " << i;
    }
    bool not_tried = false;
    EXPECT_EQ(http_open_url(racing, server.url("/status/200?late"), &not_tried), nullptr);
    EXPECT_TRUE(not_tried);
  }
  EXPECT_EQ(server.count("/status/200?late"), 0);
}

// A status never overruns its buffer; requests kept past their session, and
// calls without a session or request, are harmless; a new session works.
TEST_F(HttpContract, HandlesAndBuffersAreSafe) {
  HttpRequest* kept = http_open_url(session, server.url("/status/404"));
  ASSERT_NE(kept, nullptr);
  char buffer[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_FALSE(http_query_status(kept, buffer, 3));  // "404" needs 4
  EXPECT_EQ(buffer[3], 'x');
  EXPECT_TRUE(http_query_status(kept, buffer, 4));
  EXPECT_EQ(std::string(buffer, 5), std::string("404\0x", 5));
  http_close_session(session);
  EXPECT_FALSE(http_query_status(kept, buffer, sizeof buffer));
  http_close_request(kept);
  http_close_request(kept);  // twice, and the session twice: harmless
  http_close_session(session);
  EXPECT_EQ(http_open_url(nullptr, server.url("/status/200?none")), nullptr);
  EXPECT_FALSE(http_query_status(nullptr, buffer, sizeof buffer));
  http_close_request(nullptr);
  http_close_session(nullptr);
  EXPECT_EQ(server.count("/status/200?none"), 0);
  session = http_open_session("LVK");
  EXPECT_EQ(status_of(server.url("/status/404")), "404");
}

// Links of one site share a connection where the server keeps it open.
TEST(HttpClient, OneThreadReusesItsConnections) {
  HttpFixture server(true);
  HttpSession* session = http_open_session("LVK");
  for (int i = 0; i < 20; ++i) {
    const std::string status = i % 2 ? "404" : "200";
    EXPECT_EQ(status_text(http_open_url(session, server.url("/status/" + status + "?n=" +
                                                            std::to_string(i)))),
              status);
  }
  http_close_session(session);
  EXPECT_EQ(server.total(), 20);
  EXPECT_LE(server.accepted(), 2);
}

#ifndef _WIN32
// With no descriptor to spare here, a link is not tried at all: that says
// nothing about the link. A refused connection is a try that found no server.
TEST_F(HttpContract, NoSocketToSpareIsNotATry) {
  EXPECT_EQ(status_of(server.url("/status/200?warm")), "200");
  rlimit saved, low;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  std::vector<int> fillers{::dup(0)};
  low = saved;
  low.rlim_cur = static_cast<rlim_t>(fillers[0]) + 1;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  for (int fd; (fd = ::dup(0)) >= 0;) fillers.push_back(fd);
  bool not_tried = false;
  HttpRequest* request = http_open_url(session, unreachable_url(), &not_tried);
  for (int fd : fillers) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(request, nullptr);
  EXPECT_TRUE(not_tried);
  http_open_url(session, unreachable_url(), &not_tried);
  EXPECT_FALSE(not_tried);
}
#endif

}  // namespace
