#include "tests/support/http_fixture.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
#define MSG_NOSIGNAL 0
#else
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
static const Socket INVALID_SOCKET = -1;
static int closesocket(Socket s) { return ::close(s); }
#endif

using Lock = std::unique_lock<std::mutex>;

// Connection threads are detached and share this, so none outlives what it uses.
struct HttpFixtureState {
  std::mutex mutex;
  std::condition_variable changed;
  bool keep_alive = false, stopping = false, hangs_released = false;
  int threads = 0, accepted = 0, total = 0;  // threads: the acceptor and the connections
  double hang_total = 0, hang_longest = 0;
  std::map<std::string, int> by_target, by_path;
  std::string user_agent;
  bool raised(const bool& flag) { return Lock(mutex), flag; }  // read under the lock
  void ended(Socket s) {
    closesocket(s);
    Lock lock(mutex);
    --threads;
    changed.notify_all();
  }
};

namespace {

using State = HttpFixtureState;

bool readable(Socket s) {  // within 50 ms
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{0, 50 * 1000};
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &tv) > 0;
}

void send_all(Socket s, const std::string& data) {
  for (int sent = 0, n; sent < static_cast<int>(data.size()); sent += n)
    if ((n = ::send(s, &data[sent], static_cast<int>(data.size()) - sent, MSG_NOSIGNAL)) <= 0)
      return;
}

Socket bind_loopback(uint16_t& port) {
#ifdef _WIN32
  static const bool started = [] { WSADATA d; return WSAStartup(MAKEWORD(2, 2), &d) == 0; }();
  if (!started) return INVALID_SOCKET;
#endif
  const Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  auto* any = reinterpret_cast<sockaddr*>(&address);
  if (s == INVALID_SOCKET) return s;
  if (::bind(s, any, sizeof address) != 0 || ::getsockname(s, any, &length) != 0)
    return closesocket(s), INVALID_SOCKET;
  port = ntohs(address.sin_port);
  return s;
}

std::string response(int code, bool keep_alive, const std::string& location = "") {
  const std::string body =
      code == 204 || code == 304 ? "" : "<html>status " + std::to_string(code) + "</html>\r\n";
  return "HTTP/1.1 " + std::to_string(code) + " Status\r\n" +
         (location.empty() ? "" : "Location: " + location + "\r\n") +
         "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: " + (keep_alive ? "keep-alive" : "close") + "\r\n\r\n" + body;
}

// Holds the connection until the client hangs up, the fixture stops or
// `flag` is raised; true for the flag.
bool hold(State& st, Socket s, const bool& flag) {
  char scrap[256];
  while (!st.raised(st.stopping) && !st.raised(flag))
    if (readable(s) && ::recv(s, scrap, sizeof scrap, 0) <= 0) return false;
  return st.raised(flag);
}

// Answers one request; true when the connection may serve another.
bool answer(State& st, Socket s, const std::string& target) {
  const std::string path = target.substr(0, target.find('?'));
  const std::string query = target.substr(std::min(target.size(), path.size() + 1));
  const size_t slash = path.find('/', 1);
  const std::string kind = path.substr(0, slash);  // "/status" of "/status/404"
  const int n = slash == std::string::npos ? 0 : std::atoi(path.c_str() + slash + 1);
  {
    Lock lock(st.mutex);
    ++st.total, ++st.by_target[target], ++st.by_path[path];
    st.changed.notify_all();
  }
  const bool keep = st.keep_alive;
  std::string to = path == "/loop" ? "/loop" : path == "/file" ? "file:///etc/passwd" : "";
  if (path == "/redirect-to" && query.compare(0, 4, "url=") == 0) to = query.substr(4);
  if (kind == "/redirect" || kind == "/moved")
    to = n > 0 ? kind + "/" + std::to_string(n - 1) : "/status/200";
  if (!to.empty())
    send_all(s, response(kind == "/moved" ? 301 : 302, keep, to));
  else if (kind == "/status")
    send_all(s, response(n, keep));
  else if (kind == "/slow") {
    Lock lock(st.mutex);
    if (st.changed.wait_for(lock, std::chrono::milliseconds(n), [&] { return st.stopping; }))
      return false;
    lock.unlock();
    send_all(s, response(200, keep));
  } else if (path == "/hang") {
    const auto began = std::chrono::steady_clock::now();
    const bool released = hold(st, s, st.hangs_released);
    const std::chrono::duration<double> held = std::chrono::steady_clock::now() - began;
    {
      Lock lock(st.mutex);
      st.hang_total += held.count();
      st.hang_longest = std::max(st.hang_longest, held.count());
    }
    if (released) send_all(s, response(200, false));
    return false;
  } else if (path == "/stall") {
    static const bool never = false;
    send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n");
    return hold(st, s, never);
  } else if (path == "/empty") {
    send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return false;
  } else if (path == "/short") {
    send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nten bytes!");
    return false;
  } else if (path == "/garbage") {
    send_all(s, "this is not HTTP at all\r\n");
    return false;
  } else {
    send_all(s, response(404, keep));
  }
  return keep;
}

void serve(std::shared_ptr<State> st, Socket s) {
  std::string buffer;
  char chunk[2048];
  while (!st->raised(st->stopping) && buffer.size() < 16384) {
    const size_t end = buffer.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (!readable(s)) continue;
      const int got = ::recv(s, chunk, sizeof chunk, 0);
      if (got <= 0) break;  // the client hung up
      buffer.append(chunk, static_cast<size_t>(got));
      continue;
    }
    const std::string head = buffer.substr(0, end);  // "GET /target HTTP/1.1\r\n..."
    buffer.erase(0, end + 4);
    const size_t from = head.find(' '), to = head.find(' ', from + 1);
    const size_t agent = head.find("\r\nUser-Agent: ");
    if (to == std::string::npos) break;
    {
      Lock lock(st->mutex);
      st->user_agent = agent == std::string::npos
                           ? ""
                           : head.substr(agent + 14, head.find("\r\n", agent + 14) - agent - 14);
    }
    if (!answer(*st, s, head.substr(from + 1, to - from - 1))) break;
  }
  st->ended(s);
}

void accept_loop(std::shared_ptr<State> st, Socket listener) {
  while (!st->raised(st->stopping)) {
    const Socket s = readable(listener) ? ::accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) continue;
    {
      Lock lock(st->mutex);
      ++st->threads, ++st->accepted;
    }
    std::thread(serve, st, s).detach();
  }
  st->ended(listener);
}

}  // namespace

HttpFixture::HttpFixture(bool keep_alive) : state_(std::make_shared<State>()) {
  state_->keep_alive = keep_alive;
  uint16_t port = 0;
  const Socket s = bind_loopback(port);
  if (s != INVALID_SOCKET && ::listen(s, 128) == 0) {
    port_ = port;
    state_->threads = 1;
    std::thread(accept_loop, state_, s).detach();
  } else if (s != INVALID_SOCKET) {
    closesocket(s);
  }
}

std::string HttpFixture::url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

int HttpFixture::count(const std::string& target) const {
  return Lock(state_->mutex), state_->by_target[target];
}
int HttpFixture::total() const { return Lock(state_->mutex), state_->total; }
int HttpFixture::accepted() const { return Lock(state_->mutex), state_->accepted; }
std::string HttpFixture::last_user_agent() const { return Lock(state_->mutex), state_->user_agent; }
void HttpFixture::release_hangs() {
  Lock lock(state_->mutex);
  state_->hangs_released = true;
}

void HttpFixture::take_hang_seconds(double& total, double& longest) {
  Lock lock(state_->mutex);
  total = state_->hang_total;
  longest = state_->hang_longest;
  state_->hang_total = state_->hang_longest = 0;
}

bool HttpFixture::wait_for_path(const std::string& path, int n, int timeout_ms) const {
  Lock lock(state_->mutex);
  return state_->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [&] { return state_->by_path[path] >= n; });
}

void HttpFixture::stop() {
  Lock lock(state_->mutex);
  state_->stopping = true;
  state_->changed.notify_all();
  state_->changed.wait(lock, [this] { return state_->threads == 0; });
}

std::string unreachable_url() {
  uint16_t port = 1;
  const Socket s = bind_loopback(port);
  if (s != INVALID_SOCKET) closesocket(s);
  return "http://127.0.0.1:" + std::to_string(port) + "/";
}

// A label one longer than DNS allows: the resolver refuses the name before
// it builds a query.
std::string unresolvable_url() { return "http://" + std::string(64, 'x') + ".invalid/"; }
