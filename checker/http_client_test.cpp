// The HTTP client behind platform.h, the same contract on every platform:
// the final status of a link, links that cannot be opened, and a session
// that can be closed under running requests.
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

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    session = platform::http_open_session("LVK");
    ASSERT_NE(session, nullptr);
  }
  void TearDown() override { platform::http_close_session(session); }

  // The status text of a link, or "none" when it gave no request.
  std::string status_of(const std::string& link) {
    platform::HttpRequest* request = platform::http_open_url(session, link);
    if (!request) return "none";
    char buffer[100] = {};
    const bool known = platform::http_query_status(request, buffer, sizeof buffer);
    platform::http_close_request(request);
    return known ? std::string(buffer) : "unknown";
  }

  HttpFixture server;
  platform::HttpSession* session = nullptr;
};

// The status of the final answer, or "none" for a link that gives no request.
TEST_F(HttpClientTest, StatusOfEveryKindOfLink) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {server.url("/status/200"), "200"},
      {server.url("/status/404"), "404"},
      {server.url("/status/500"), "500"},
      {server.url("/status/204"), "204"},
      {server.url("/redirect/4"), "200"},
      {server.url("/moved/1"), "200"},
      {server.url("/redirect-to?url=%2Fstatus%2F410"), "410"},
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
      {server.url("\\sta\ttus\\404"), "404"},
  };
  const auto t0 = Clock::now();
  for (const auto& [link, status] : cases) EXPECT_EQ(status_of(link), status) << link;
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
  EXPECT_EQ(server.count("/redirect/0"), 1);
  EXPECT_EQ(server.count_path("/file"), 1);
  EXPECT_EQ(server.count("/status/200?a%20b"), 1);
  EXPECT_EQ(server.last_user_agent(), "LVK");
}

TEST_F(HttpClientTest, ProxySettingsOfTheEnvironmentAreIgnored) {
  const std::string proxy = unreachable_url();
  ScopedEnv http("http_proxy", proxy);
  ScopedEnv upper("HTTP_PROXY", proxy);
  ScopedEnv all("ALL_PROXY", proxy);
  EXPECT_EQ(status_of(server.url("/status/200?direct")), "200");
  EXPECT_EQ(server.count("/status/200?direct"), 1);
}

TEST_F(HttpClientTest, StatusBufferIsNeverOverrun) {
  platform::HttpRequest* request = platform::http_open_url(session, server.url("/status/200"));
  ASSERT_NE(request, nullptr);
  char buffer[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_FALSE(platform::http_query_status(request, buffer, 2));  // "200" does not fit in 2
  EXPECT_EQ(buffer[2], 'x');
  EXPECT_TRUE(platform::http_query_status(request, buffer, 4));
  EXPECT_STREQ(buffer, "200");
  EXPECT_EQ(buffer[4], 'x');
  platform::http_close_request(request);
}

TEST_F(HttpClientTest, ClosingTheSessionReleasesEveryWaitingCallAtOnce) {
  constexpr int kCallers = 6;
  std::atomic<int> returned{0};
  std::atomic<int> with_request{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < kCallers; ++i) {
    callers.emplace_back([&, i] {
      // Half wait for a server that never answers, half for a slow one.
      platform::HttpRequest* request =
          platform::http_open_url(session, server.url(i % 2 ? "/hang" : "/slow/60000"));
      if (request) with_request.fetch_add(1);
      returned.fetch_add(1);
    });
  }
  ASSERT_TRUE(server.wait_for_path("/hang", kCallers / 2, 10000));
  ASSERT_TRUE(server.wait_for_path("/slow/60000", kCallers / 2, 10000));
  const auto t0 = Clock::now();
  platform::http_close_session(session);
  for (std::thread& t : callers) t.join();
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_EQ(returned.load(), kCallers);
  EXPECT_EQ(with_request.load(), 0);
  // A closed session opens nothing more.
  EXPECT_EQ(platform::http_open_url(session, server.url("/status/200?late")), nullptr);
  EXPECT_EQ(server.count("/status/200?late"), 0);
}

TEST_F(HttpClientTest, RequestsOutlivingTheirSessionAreHarmless) {
  platform::HttpRequest* kept = platform::http_open_url(session, server.url("/status/404"));
  platform::HttpRequest* closed = platform::http_open_url(session, server.url("/status/200"));
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(closed, nullptr);
  platform::http_close_request(closed);
  platform::http_close_session(session);
  // Released with the session: nothing to ask, nothing to close twice.
  char buffer[100] = {};
  EXPECT_FALSE(platform::http_query_status(kept, buffer, sizeof buffer));
  platform::http_close_request(kept);
  platform::http_close_request(closed);
  platform::http_close_session(session);

  // A new session works as the first did.
  session = platform::http_open_session("LVK");
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(status_of(server.url("/status/404")), "404");
}

TEST_F(HttpClientTest, SessionClosedWhileOtherThreadsOpenLinks) {
  // Closing races with opening: every call comes back, with a request or
  // without one, and the requests stay safe to use afterwards.
  for (int round = 0; round < 5; ++round) {
    platform::HttpSession* racing = platform::http_open_session("LVK");
    ASSERT_NE(racing, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
      callers.emplace_back([&, i] {
        while (!go.load()) std::this_thread::yield();
        for (int j = 0; j < 5; ++j) {
          platform::HttpRequest* r = platform::http_open_url(
              racing, server.url("/slow/" + std::to_string(5 * (i + j))));
          if (!r) continue;
          char buffer[100];
          platform::http_query_status(r, buffer, sizeof buffer);
          platform::http_close_request(r);
        }
      });
    }
    go.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * round));
    platform::http_close_session(racing);
    for (std::thread& t : callers) t.join();
  }
  EXPECT_EQ(status_of(server.url("/status/200")), "200");
}

// Links of one site share a connection where the server keeps it open.
TEST(HttpClient, OneThreadReusesItsConnections) {
  HttpFixture server(true);
  ASSERT_TRUE(server.ok());
  platform::HttpSession* session = platform::http_open_session("LVK");
  for (int i = 0; i < 20; ++i) {
    const std::string status = i % 2 ? "404" : "200";
    platform::HttpRequest* request =
        platform::http_open_url(session, server.url("/status/" + status + "?n=" + std::to_string(i)));
    ASSERT_NE(request, nullptr);
    char buffer[100] = {};
    EXPECT_TRUE(platform::http_query_status(request, buffer, sizeof buffer));
    EXPECT_EQ(buffer, status);
    platform::http_close_request(request);
  }
  platform::http_close_session(session);
  EXPECT_EQ(server.total(), 20);
  EXPECT_LE(server.accepted(), 2);
}

#ifndef _WIN32
// With no descriptor to spare here, a link is not tried at all: that says
// nothing about the link.
TEST_F(HttpClientTest, NoSocketToSpareIsNotATry) {
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
  platform::HttpRequest* request =
      platform::http_open_url(session, unreachable_url(), &not_tried);
  for (int fd : fillers) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(request, nullptr);
  EXPECT_TRUE(not_tried);
  platform::http_open_url(session, unreachable_url(), &not_tried);
  EXPECT_FALSE(not_tried);  // refused: a try that found no server
}
#endif

TEST(HttpClient, NoSessionOpensNothing) {
  EXPECT_EQ(platform::http_open_url(nullptr, "http://127.0.0.1:1/"), nullptr);
  char buffer[8];
  EXPECT_FALSE(platform::http_query_status(nullptr, buffer, sizeof buffer));
  platform::http_close_request(nullptr);
  platform::http_close_session(nullptr);
}

}  // namespace
