// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks.
//
// It listens on an ephemeral port, serves every connection on a thread of
// its own (so slow answers never queue behind each other) and closes each
// connection after one answer; a keep-alive fixture instead keeps serving a
// connection after each complete answer (status, redirects, slow, 404). It answers by path; a query string is ignored
// for routing but kept for counting, so tests can give every record its own
// URL ("/status/200?n=7"):
//
//   /status/NNN          answers with status NNN and a short body
//   /redirect/N          302 to /redirect/N-1; /redirect/0 goes to /status/200
//   /moved/N             the same chain with 301
//   /redirect-to?url=U   302 to U (percent-decoded)
//   /loop                302 to itself
//   /file                302 to file:///etc/passwd
//   /slow/MS             200 after MS milliseconds
//   /hang                accepts the request and never answers until the
//                        fixture stops or release_hangs() is called
//   /stall               sends the status line and headers of a 200 with a
//                        body that never comes (until the fixture stops)
//   /garbage             sends a line that is not HTTP and closes
//   anything else        404
//
// Destruction (or stop()) wakes every waiting answer and joins every thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
  // Requests seen whose path (query left out) is `path`.
  int count_path(const std::string& path) const;
  // Every request seen.
  int total() const;
  // Connections being served right now, and accepted so far.
  int active() const;
  int accepted() const;

  // Waits until count_path(path) reaches n; false after timeout_ms.
  bool wait_for_path(const std::string& path, int n, int timeout_ms) const;

  // The User-Agent of the latest request ("" when it sent none).
  std::string last_user_agent() const;

  // From now on /hang answers 200 at once, and every /hang still waiting
  // answers 200 now: a stopped run can be resumed against the same URLs.
  void release_hangs();

  // Stops listening, wakes every waiting answer and joins every thread.
  // Called by the destructor; safe to call twice.
  void stop();

 private:
  struct Connection {
    std::thread thread;
    bool done = false;
  };

  void accept_loop();
  void serve(intptr_t socket, Connection* self);
  // Answers one request; true when the connection may serve another.
  bool answer(intptr_t socket, const std::string& target);
  // Waits up to ms milliseconds; true when the fixture is stopping.
  bool wait_or_stop(int ms);
  void reap_finished();

  intptr_t listener_ = -1;
  uint16_t port_ = 0;
  std::thread acceptor_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  const bool keep_alive_;
  bool stopping_ = false;
  bool hangs_released_ = false;
  std::string user_agent_;
  int active_ = 0;
  int accepted_ = 0;
  int total_ = 0;
  std::map<std::string, int> by_target_;
  std::map<std::string, int> by_path_;
  std::list<Connection> connections_;
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
