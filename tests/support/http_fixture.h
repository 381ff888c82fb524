// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks. It is
// written by hand because the tests need answers a ready-made server does
// not give (one that never comes, a body that never comes, a line that is
// not HTTP), and it must build for Windows as well.
//
// Every connection is served on a thread of its own, so slow answers never
// queue, and is closed after one answer unless the fixture keeps
// connections alive. It answers by path; the query is ignored for routing
// but counted, so each record can have its own URL ("/status/200?n=7"):
//
//   /status/NNN          status NNN with a short body
//   /redirect/N          302 to /redirect/N-1; /redirect/0 goes to /status/200
//   /moved/N             the same chain with 301
//   /redirect-to?url=U   302 to U, as written
//   /loop                302 to itself
//   /file                302 to file:///etc/passwd
//   /slow/MS             200 after MS milliseconds
//   /hang                no answer until release_hangs() or the stop
//   /stall               the headers of a 200 whose body never comes
//   /garbage             a line that is not HTTP, then the close
//   anything else        404
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

struct HttpFixtureState;  // shared with the connection threads

class HttpFixture {
 public:
  explicit HttpFixture(bool keep_alive = false);
  ~HttpFixture();
  HttpFixture(const HttpFixture&) = delete;
  HttpFixture& operator=(const HttpFixture&) = delete;

  // False when the listening socket could not be made.
  bool ok() const { return listener_ != -1; }
  uint16_t port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by target ("/status/200?n=1").
  std::string url(const std::string& target) const;

  // Requests seen for exactly this target (path and query).
  int count(const std::string& target) const;
  // Every request seen, and the connections accepted.
  int total() const;
  int accepted() const;
  // Waits until the requests whose path (query left out) is `path` reach n;
  // false after timeout_ms.
  bool wait_for_path(const std::string& path, int n, int timeout_ms) const;
  // The User-Agent of the latest request ("" when it sent none).
  std::string last_user_agent() const;

  // How long the /hang requests that ended since the last call were held
  // open (until the client gave up), in all and the longest.
  void take_hang_seconds(double& total, double& longest);

  // From now on /hang answers 200 at once, and so does every /hang still
  // waiting: a stopped run can be resumed against the same URLs.
  void release_hangs();

  // Stops listening and ends every connection. Called by the destructor.
  void stop();

 private:
  std::shared_ptr<HttpFixtureState> state_;
  intptr_t listener_ = -1;
  uint16_t port_ = 0;
  std::thread acceptor_;
};

// A loopback URL on a port that was just bound and released again, so a
// connection to it is refused.
std::string unreachable_url();

// True when this Windows program runs under Wine, whose HTTP client differs
// from the real one in places (it follows a redirection loop forever).
bool running_under_wine();

// A URL whose host name fails to resolve on this machine without a single
// packet leaving it (a label longer than DNS allows, under ".invalid").
std::string unresolvable_url();
