// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks, by hand for
// the answers a ready-made one does not give, on Windows as well. Each
// connection has a thread and gets one answer unless kept alive. Routes
// (the query is left out of routing, not out of the counts):
//   /status/N  status N;  /redirect/N, /moved/N  302 or 301 to .../N-1, at 0
//   to /status/200;  /redirect-to?url=U  302 to U;  /loop  302 to itself;
//   /file  302 to file:///etc/passwd;  /slow/MS  200 after MS milliseconds;
//   /hang  no answer until release_hangs() or stop();  /stall  the headers
//   of a 200 whose body never comes;  /empty  a 200 with no body;  /short  a 200
//   that announces 100 bytes, sends 10 and hangs up;  /garbage  a line that is not HTTP;
//   anything else  404.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct HttpFixtureState;  // shared with the connection threads

class HttpFixture {
 public:
  explicit HttpFixture(bool keep_alive = false);
  ~HttpFixture() { stop(); }
  HttpFixture(const HttpFixture&) = delete;
  HttpFixture& operator=(const HttpFixture&) = delete;

  bool ok() const { return port_ != 0; }  // false when no socket could listen
  uint16_t port() const { return port_; }
  std::string url(const std::string& target) const;  // "http://127.0.0.1:PORT" + target
  int count(const std::string& target) const;        // requests for this path and query
  int total() const;
  int accepted() const;  // connections
  // Waits until the requests for `path` (any query) reach n; false after timeout_ms.
  bool wait_for_path(const std::string& path, int n, int timeout_ms) const;
  std::string last_user_agent() const;  // "" when the latest request sent none
  // How long the /hang requests that ended since the last call were held, in all and the longest.
  void take_hang_seconds(double& total, double& longest);
  void release_hangs();  // /hang answers 200 from now on, also to those waiting
  void stop();           // ends every connection

 private:
  std::shared_ptr<HttpFixtureState> state_;
  uint16_t port_ = 0;
};

// A loopback URL on a port just bound and released again: the connection is refused.
std::string unreachable_url();
// A host name that fails to resolve without a packet leaving the machine.
std::string unresolvable_url();
