#include "tests/support/http_fixture.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

// Both socket flavours are kept inside this file.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_type = SOCKET;
static const socket_type kBadSocket = INVALID_SOCKET;
static const int kSendFlags = 0;
static void close_socket(socket_type s) { closesocket(s); }
static bool start_sockets() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using socket_type = int;
static const socket_type kBadSocket = -1;
static const int kSendFlags = MSG_NOSIGNAL;  // a client gone away is no signal
static void close_socket(socket_type s) { ::close(s); }
static bool start_sockets() { return true; }
#endif

// Connection threads are detached and hold this state, so none of them can
// outlive what it uses.
struct HttpFixtureState {
  std::mutex mutex;
  std::condition_variable changed;
  bool keep_alive = false;
  bool stopping = false;
  bool hangs_released = false;
  double hang_seconds = 0;  // how long ended /hang requests were held, in all
  double longest_hang = 0;
  int active = 0;
  int accepted = 0;
  int total = 0;
  std::map<std::string, int> by_target;
  std::map<std::string, int> by_path;
  std::string user_agent;

  bool raised(const bool& flag) {
    std::lock_guard<std::mutex> lock(mutex);
    return flag;
  }
};

namespace {

using State = HttpFixtureState;

// Waits up to 50 ms for the socket to become readable.
bool readable(socket_type s) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{0, 50 * 1000};
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &tv) > 0;
}

void send_all(socket_type s, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    const int n = ::send(s, data.data() + sent, static_cast<int>(data.size() - sent), kSendFlags);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

socket_type bind_loopback(uint16_t& port) {
  socket_type s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kBadSocket) return kBadSocket;
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close_socket(s);
    return kBadSocket;
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

// The number after a prefix such as "/status/"; -1 when there is none.
int number_after(const std::string& path, const std::string& prefix) {
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size() ||
      path.size() > prefix.size() + 9 ||
      path.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
    return -1;
  return std::atoi(path.c_str() + prefix.size());
}

// Keeps the connection open until the client hangs up, the fixture stops
// or `flag` is raised; true for the flag.
bool hold(State& st, socket_type s, const bool& flag) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(st.mutex);
      if (st.stopping) return false;
      if (flag) return true;
    }
    char scrap[256];
    if (readable(s) && ::recv(s, scrap, sizeof scrap, 0) <= 0) return false;
  }
}

// Reads the head of the next request; false when the client hung up, sent
// too much or the fixture stops first.
bool read_head(State& st, socket_type s, std::string& buffer, std::string& head) {
  size_t end;
  while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
    if (st.raised(st.stopping) || buffer.size() > 16384) return false;
    if (!readable(s)) continue;
    char chunk[2048];
    const int n = ::recv(s, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  head = buffer.substr(0, end);
  buffer.erase(0, end + 4);
  return true;
}

// Answers one request; true when the connection may serve another.
bool answer(State& st, socket_type s, const std::string& target) {
  const size_t question = target.find('?');
  const std::string path = target.substr(0, question);
  const std::string query = question == std::string::npos ? "" : target.substr(question + 1);
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    ++st.total;
    ++st.by_target[target];
    ++st.by_path[path];
  }
  st.changed.notify_all();

  const bool keep = st.keep_alive;
  int n;
  std::string reply;
  if ((n = number_after(path, "/status/")) >= 0) {
    reply = response(n, keep);
  } else if ((n = number_after(path, "/redirect/")) >= 0) {
    reply = response(302, keep, n == 0 ? "/status/200" : "/redirect/" + std::to_string(n - 1));
  } else if ((n = number_after(path, "/moved/")) >= 0) {
    reply = response(301, keep, n == 0 ? "/status/200" : "/moved/" + std::to_string(n - 1));
  } else if (path == "/redirect-to" && query.compare(0, 4, "url=") == 0) {
    reply = response(302, keep, query.substr(4));
  } else if (path == "/loop") {
    reply = response(302, keep, "/loop");
  } else if (path == "/file") {
    reply = response(302, keep, "file:///etc/passwd");
  } else if ((n = number_after(path, "/slow/")) >= 0) {
    std::unique_lock<std::mutex> lock(st.mutex);
    if (st.changed.wait_for(lock, std::chrono::milliseconds(n), [&] { return st.stopping; }))
      return false;
    reply = response(200, keep);
  } else if (path == "/hang") {
    const auto began = std::chrono::steady_clock::now();
    const bool released = hold(st, s, st.hangs_released);
    const double held = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    {
      std::lock_guard<std::mutex> lock(st.mutex);
      st.hang_seconds += held;
      st.longest_hang = std::max(st.longest_hang, held);
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
    reply = response(404, keep);
  }
  send_all(s, reply);
  return keep;
}

void serve(std::shared_ptr<State> st, socket_type s) {
  std::string buffer, head;
  while (read_head(*st, s, buffer, head)) {
    // "GET /target HTTP/1.1"
    const size_t from = head.find(' ');
    const size_t to = from == std::string::npos ? from : head.find(' ', from + 1);
    if (to == std::string::npos) break;
    const size_t at = head.find("\r\nUser-Agent: ");
    {
      std::lock_guard<std::mutex> lock(st->mutex);
      st->user_agent =
          at == std::string::npos ? "" : head.substr(at + 14, head.find("\r\n", at + 14) - at - 14);
    }
    if (!answer(*st, s, head.substr(from + 1, to - from - 1))) break;
  }
  close_socket(s);
  std::lock_guard<std::mutex> lock(st->mutex);
  --st->active;
  st->changed.notify_all();
}

void accept_loop(std::shared_ptr<State> st, socket_type listener) {
  while (!st->raised(st->stopping)) {
    if (!readable(listener)) continue;
    const socket_type s = ::accept(listener, nullptr, nullptr);
    if (s == kBadSocket) continue;
    {
      std::lock_guard<std::mutex> lock(st->mutex);
      ++st->active;
      ++st->accepted;
    }
    std::thread(serve, st, s).detach();
  }
}

}  // namespace

HttpFixture::HttpFixture(bool keep_alive) : state_(std::make_shared<State>()) {
  state_->keep_alive = keep_alive;
  if (!start_sockets()) return;
  const socket_type s = bind_loopback(port_);
  if (s == kBadSocket) return;
  if (::listen(s, 128) != 0) {
    close_socket(s);
    return;
  }
  listener_ = static_cast<intptr_t>(s);
  acceptor_ = std::thread(accept_loop, state_, s);
}

HttpFixture::~HttpFixture() { stop(); }

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
void HttpFixture::take_hang_seconds(double& total, double& longest) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  total = state_->hang_seconds;
  longest = state_->longest_hang;
  state_->hang_seconds = state_->longest_hang = 0;
}
std::string HttpFixture::last_user_agent() const {
  return locked(*state_, [&] { return state_->user_agent; });
}

bool HttpFixture::wait_for_path(const std::string& path, int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [&] { return state_->by_path[path] >= n; });
}

void HttpFixture::release_hangs() {
  locked(*state_, [&] { return state_->hangs_released = true; });
}

void HttpFixture::stop() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->active == 0; });
  }
  if (listener_ != -1) close_socket(static_cast<socket_type>(listener_));
  listener_ = -1;
}

std::string unreachable_url() {
  uint16_t port = 1;
  if (start_sockets()) {
    const socket_type s = bind_loopback(port);
    if (s != kBadSocket) close_socket(s);
  }
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

std::string unresolvable_url() {
  // A label one longer than DNS allows: the resolver refuses the name
  // before it builds a query.
  return "http://" + std::string(64, 'x') + ".invalid/";
}
