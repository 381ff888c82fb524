#include "tests/support/http_fixture.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
static const int kNoSignal = 0;
static void close_socket(Socket s) { closesocket(s); }
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
static const Socket INVALID_SOCKET = -1;
static const int kNoSignal = MSG_NOSIGNAL;  // a client gone away is no signal
static void close_socket(Socket s) { ::close(s); }
#endif

// Connection threads are detached and share this, so none outlives what it uses.
struct HttpFixtureState {
  std::mutex mutex;
  std::condition_variable changed;
  bool keep_alive = false, stopping = false, hangs_released = false;
  int active = 0, accepted = 0, total = 0;  // active counts the acceptor too
  double hang_total = 0, hang_longest = 0;
  std::map<std::string, int> by_target, by_path;
  std::string user_agent;
  bool raised(const bool& flag) {
    std::lock_guard<std::mutex> lock(mutex);
    return flag;
  }
  void thread_ended() {
    std::lock_guard<std::mutex> lock(mutex);
    --active;
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
    if ((n = ::send(s, data.data() + sent, static_cast<int>(data.size()) - sent, kNoSignal)) <= 0)
      return;
}

Socket bind_loopback(uint16_t& port) {
#ifdef _WIN32
  static const bool started = [] { WSADATA d; return WSAStartup(MAKEWORD(2, 2), &d) == 0; }();
  if (!started) return INVALID_SOCKET;
#endif
  Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (s == INVALID_SOCKET) return s;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close_socket(s);
    return INVALID_SOCKET;
  }
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
  while (!st.raised(st.stopping))
    if (st.raised(flag)) return true;
    else if (readable(s) && ::recv(s, scrap, sizeof scrap, 0) <= 0) return false;
  return false;
}

// Answers one request; true when the connection may serve another.
bool answer(State& st, Socket s, const std::string& target) {
  const size_t question = target.find('?');
  const std::string path = target.substr(0, question);
  const std::string query = question == std::string::npos ? "" : target.substr(question + 1);
  const size_t slash = path.find('/', 1);
  const std::string kind = path.substr(0, slash);  // "/status" of "/status/404"
  const int n = slash == std::string::npos ? 0 : std::atoi(path.c_str() + slash + 1);
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    ++st.total;
    ++st.by_target[target];
    ++st.by_path[path];
    st.changed.notify_all();
  }
  const bool keep = st.keep_alive;
  std::string location;
  if (kind == "/redirect" || kind == "/moved")
    location = n > 0 ? kind + "/" + std::to_string(n - 1) : "/status/200";
  else if (path == "/redirect-to" && query.compare(0, 4, "url=") == 0)
    location = query.substr(4);
  else if (path == "/loop" || path == "/file")
    location = path == "/loop" ? "/loop" : "file:///etc/passwd";
  if (!location.empty()) {
    send_all(s, response(kind == "/moved" ? 301 : 302, keep, location));
  } else if (kind == "/status") {
    send_all(s, response(n, keep));
  } else if (kind == "/slow") {
    std::unique_lock<std::mutex> lock(st.mutex);
    if (st.changed.wait_for(lock, std::chrono::milliseconds(n), [&] { return st.stopping; }))
      return false;
    lock.unlock();
    send_all(s, response(200, keep));
  } else if (path == "/hang") {
    const auto began = std::chrono::steady_clock::now();
    const bool released = hold(st, s, st.hangs_released);
    const double held =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    {
      std::lock_guard<std::mutex> lock(st.mutex);
      st.hang_total += held;
      st.hang_longest = std::max(st.hang_longest, held);
    }
    if (released) send_all(s, response(200, false));
    return false;
  } else if (path == "/stall") {
    send_all(s, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n");
    static const bool never = false;
    hold(st, s, never);
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
  for (;;) {
    size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos && buffer.size() < 16384 &&
           !st->raised(st->stopping)) {
      char chunk[2048];
      if (!readable(s)) continue;
      const int got = ::recv(s, chunk, sizeof chunk, 0);
      if (got <= 0) break;  // the client hung up
      buffer.append(chunk, static_cast<size_t>(got));
    }
    if (end == std::string::npos) break;
    const std::string head = buffer.substr(0, end);  // "GET /target HTTP/1.1\r\n..."
    buffer.erase(0, end + 4);
    const size_t from = head.find(' '), to = head.find(' ', from + 1);
    const size_t agent = head.find("\r\nUser-Agent: ");
    if (from == std::string::npos || to == std::string::npos) break;
    {
      std::lock_guard<std::mutex> lock(st->mutex);
      st->user_agent = agent == std::string::npos
                           ? ""
                           : head.substr(agent + 14, head.find("\r\n", agent + 14) - agent - 14);
    }
    if (!answer(*st, s, head.substr(from + 1, to - from - 1))) break;
  }
  close_socket(s);
  st->thread_ended();
}

void accept_loop(std::shared_ptr<State> st, Socket listener) {
  while (!st->raised(st->stopping)) {
    const Socket s = readable(listener) ? ::accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) continue;
    {
      std::lock_guard<std::mutex> lock(st->mutex);
      ++st->active;
      ++st->accepted;
    }
    std::thread(serve, st, s).detach();
  }
  close_socket(listener);
  st->thread_ended();
}

}  // namespace

HttpFixture::HttpFixture(bool keep_alive) : state_(std::make_shared<State>()) {
  state_->keep_alive = keep_alive;
  uint16_t port = 0;
  const Socket s = bind_loopback(port);
  if (s == INVALID_SOCKET) return;
  if (::listen(s, 128) != 0) {
    close_socket(s);
    return;
  }
  port_ = port;
  state_->active = 1;
  std::thread(accept_loop, state_, s).detach();
}

std::string HttpFixture::url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

// Reads the shared state under its lock.
template <class Read>
auto locked(HttpFixtureState& st, Read read) {
  std::lock_guard<std::mutex> lock(st.mutex);
  return read();
}

int HttpFixture::count(const std::string& target) const {
  return locked(*state_, [&] { return state_->by_target[target]; });
}
int HttpFixture::total() const { return locked(*state_, [&] { return state_->total; }); }
int HttpFixture::accepted() const { return locked(*state_, [&] { return state_->accepted; }); }
std::string HttpFixture::last_user_agent() const {
  return locked(*state_, [&] { return state_->user_agent; });
}
void HttpFixture::take_hang_seconds(double& total, double& longest) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  total = std::exchange(state_->hang_total, 0);
  longest = std::exchange(state_->hang_longest, 0);
}
void HttpFixture::release_hangs() {
  locked(*state_, [&] { return state_->hangs_released = true; });
}

bool HttpFixture::wait_for_path(const std::string& path, int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [&] { return state_->by_path[path] >= n; });
}

void HttpFixture::stop() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->stopping = true;
  state_->changed.notify_all();
  state_->changed.wait(lock, [this] { return state_->active == 0; });
}

std::string unreachable_url() {
  uint16_t port = 1;
  const Socket s = bind_loopback(port);
  if (s != INVALID_SOCKET) close_socket(s);
  return "http://127.0.0.1:" + std::to_string(port) + "/";
}

bool running_under_wine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// A label one longer than DNS allows: the resolver refuses the name before
// it builds a query.
std::string unresolvable_url() { return "http://" + std::string(64, 'x') + ".invalid/"; }
