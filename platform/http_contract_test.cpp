// The HTTP client behind platform.h, the same contract on every backend: the
// final status of a link, links that cannot be opened, and a session that
// can be closed under running requests.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif
#include "tests/support/env.h"
#include "tests/support/http_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// The status text of a request, "unknown" without one, "none" for no request.
std::string status_text(platform::HttpRequest* request) {
  if (!request) return "none";
  char buffer[100] = {};
  const bool known = platform::http_query_status(request, buffer, sizeof buffer);
  platform::http_close_request(request);
  return known ? std::string(buffer) : "unknown";
}

class HttpContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    session = platform::http_open_session("LVK");
    ASSERT_NE(session, nullptr);
  }
  void TearDown() override { platform::http_close_session(session); }

  std::string status_of(const std::string& link) {
    return status_text(platform::http_open_url(session, link));
  }

  HttpFixture server;
  platform::HttpSession* session = nullptr;
};

// The status of the final answer, or "none" for a link that gives no request.
// Proxies named by the environment are never asked.
TEST_F(HttpContract, StatusOfEveryKindOfLink) {
  const std::string proxy = unreachable_url();
  ScopedEnv http("http_proxy", proxy), upper("HTTP_PROXY", proxy), all("ALL_PROXY", proxy);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {server.url("/status/200"), "200"},
      {server.url("/status/404"), "404"},
      {server.url("/status/500"), "500"},
      {server.url("/status/204"), "204"},
      {server.url("/redirect/4"), "200"},
      {server.url("/moved/1"), "200"},
      {server.url("/redirect-to?url=/status/410"), "410"},
      {server.url("/file"), "302"},   // a redirection to a local file is never followed
      {server.url("/stall"), "200"},  // the headers only, never the body
      {unreachable_url(), "none"},
      {unresolvable_url(), "none"},
      {"file:///etc/passwd", "none"},
      {"javascript:alert(1)", "none"},
      {"mailto:someone@example.com", "none"},
      {"", "none"},
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
  EXPECT_EQ(server.count("/redirect/0"), 1);
  EXPECT_EQ(server.count("/file"), 1);
  EXPECT_EQ(server.count("/status/200?a%20b"), 1);
  EXPECT_EQ(server.last_user_agent(), "LVK");
}

TEST_F(HttpContract, StatusBufferIsNeverOverrun) {
  platform::HttpRequest* request = platform::http_open_url(session, server.url("/status/200"));
  ASSERT_NE(request, nullptr);
  char buffer[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_FALSE(platform::http_query_status(request, buffer, 3));  // "200" needs 4
  EXPECT_EQ(buffer[3], 'x');
  EXPECT_TRUE(platform::http_query_status(request, buffer, 4));
  EXPECT_STREQ(buffer, "200");
  EXPECT_EQ(buffer[4], 'x');
  platform::http_close_request(request);
}

// Closing the session under running requests: every call comes back at
// once, either with its answer or as not tried, never as a link that failed,
// and a closed session opens nothing more. The first rounds close while
// calls wait on a silent and a slow server, the last ones race the opening.
TEST_F(HttpContract, SessionClosedUnderRunningRequests) {
  std::atomic<int> answered{0}, untried{0}, wrong{0};
  for (int round = 0; round < 4; ++round) {
    platform::HttpSession* racing = platform::http_open_session("LVK");
    ASSERT_NE(racing, nullptr);
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
      callers.emplace_back([&, i] {
        const std::string links[] = {"/slow/" + std::to_string(10 * i),
                                     i % 2 ? "/hang" : "/slow/60000"};
        for (const std::string& link : links) {
          bool not_tried = false;
          platform::HttpRequest* r = platform::http_open_url(racing, server.url(link), &not_tried);
          // A request that outlived its session may no longer know its status.
          const std::string status = status_text(r);
          if (r && (status == "200" || status == "unknown") && link == links[0]) ++answered;
          else if (!r && not_tried) ++untried;
          else ++wrong;
        }
      });
    }
    if (round < 2) {
      ASSERT_TRUE(server.wait_for_path("/hang", 2 * (round + 1), 10000));
      ASSERT_TRUE(server.wait_for_path("/slow/60000", 2 * (round + 1), 10000));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20 * (round - 2)));
    }
    const auto t0 = Clock::now();
    platform::http_close_session(racing);
    for (std::thread& t : callers) t.join();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1500)) << "round " << round;
    bool not_tried = false;
    EXPECT_EQ(platform::http_open_url(racing, server.url("/status/200?late"), &not_tried), nullptr);
    EXPECT_TRUE(not_tried);
  }
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(answered + untried, 32);
  EXPECT_GE(untried.load(), 8);  // at least every silent and slow call
  EXPECT_EQ(server.count("/status/200?late"), 0);
}

// Requests kept past their session, and calls without a session or request,
// are harmless, and a new session works as the first did.
TEST_F(HttpContract, RequestsOutlivingTheirSessionAreHarmless) {
  platform::HttpRequest* kept = platform::http_open_url(session, server.url("/status/404"));
  platform::HttpRequest* closed = platform::http_open_url(session, server.url("/status/200"));
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(closed, nullptr);
  platform::http_close_request(closed);
  platform::http_close_session(session);
  char buffer[100] = {};
  EXPECT_FALSE(platform::http_query_status(kept, buffer, sizeof buffer));
  platform::http_close_request(kept);
  platform::http_close_request(closed);
  platform::http_close_session(session);
  EXPECT_EQ(platform::http_open_url(nullptr, server.url("/status/200?none")), nullptr);
  EXPECT_FALSE(platform::http_query_status(nullptr, buffer, sizeof buffer));
  platform::http_close_request(nullptr);
  platform::http_close_session(nullptr);
  EXPECT_EQ(server.count("/status/200?none"), 0);

  session = platform::http_open_session("LVK");
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(status_of(server.url("/status/404")), "404");
}

// Links of one site share a connection where the server keeps it open.
TEST(HttpClient, OneThreadReusesItsConnections) {
  HttpFixture server(true);
  ASSERT_TRUE(server.ok());
  platform::HttpSession* session = platform::http_open_session("LVK");
  for (int i = 0; i < 20; ++i) {
    const std::string status = i % 2 ? "404" : "200";
    EXPECT_EQ(status_text(platform::http_open_url(
                  session, server.url("/status/" + status + "?n=" + std::to_string(i)))),
              status);
  }
  platform::http_close_session(session);
  EXPECT_EQ(server.total(), 20);
  EXPECT_LE(server.accepted(), 2);
}

#ifndef _WIN32
// With no descriptor to spare here, a link is not tried at all: that says
// nothing about the link.
TEST_F(HttpContract, NoSocketToSpareIsNotATry) {
  EXPECT_EQ(status_of(server.url("/status/200?warm")), "200");
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  int highest = ::dup(0);
  ASSERT_GE(highest, 0);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(highest) + 1;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> fillers{highest};
  for (int fd; (fd = ::dup(0)) >= 0;) fillers.push_back(fd);
  bool not_tried = false;
  platform::HttpRequest* request = platform::http_open_url(session, unreachable_url(), &not_tried);
  for (int fd : fillers) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(request, nullptr);
  EXPECT_TRUE(not_tried);
  platform::http_open_url(session, unreachable_url(), &not_tried);
  EXPECT_FALSE(not_tried);  // refused: a try that found no server
}
#endif

}  // namespace
