// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks, written by
// hand for the answers a ready-made server does not give (one that never
// comes, a body that never comes, a line that is not HTTP) and built for
// Windows as well. Every connection has a thread of its own and is closed
// after one answer unless kept alive. Routes ignore the query, counts do not:
//   /status/N        status N             /slow/MS   200 after MS milliseconds
//   /redirect/N      302 to /redirect/N-1 (/moved/N: 301), at 0 to /status/200
//   /redirect-to?url=U  302 to U          /loop      302 to itself
//   /file            302 to file:///etc/passwd
//   /hang            no answer until release_hangs() or stop()
//   /stall           the headers of a 200 whose body never comes
//   /garbage         a line that is not HTTP, then the close
//   anything else    404
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
  // How long the /hang requests that ended since the last call were held
  // open, in all and the longest.
  void take_hang_seconds(double& total, double& longest);
  // /hang answers 200 from now on, also to the requests still waiting.
  void release_hangs();
  void stop();  // ends every connection

 private:
  std::shared_ptr<HttpFixtureState> state_;
  uint16_t port_ = 0;
};

// A loopback URL on a port just bound and released again: the connection is refused.
std::string unreachable_url();
// True under Wine, whose HTTP client differs from the real one in places.
bool running_under_wine();
// A host name that fails to resolve without a packet leaving the machine.
std::string unresolvable_url();
