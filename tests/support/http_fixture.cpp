#include "tests/support/http_fixture.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

// Sockets are the one thing this test helper needs from the system; both
// socket flavours are kept inside this file.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_type = SOCKET;
static const socket_type kBadSocket = INVALID_SOCKET;
static void close_socket(socket_type s) { closesocket(s); }
static const int kSendFlags = 0;
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
static void close_socket(socket_type s) { ::close(s); }
static const int kSendFlags = MSG_NOSIGNAL;  // a client gone away is no signal
static bool start_sockets() { return true; }
#endif

namespace {

socket_type to_socket(intptr_t s) { return static_cast<socket_type>(s); }

// Waits up to ms milliseconds for the socket to become readable.
bool readable(socket_type s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &tv) > 0;
}

void send_all(socket_type s, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    int n = ::send(s, data.data() + sent, static_cast<int>(data.size() - sent), kSendFlags);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

// Binds a loopback TCP socket to an ephemeral port and returns it with the port.
socket_type bind_loopback(uint16_t& port) {
  socket_type s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kBadSocket) return kBadSocket;
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close_socket(s);
    return kBadSocket;
  }
  port = ntohs(address.sin_port);
  return s;
}

const char* reason_phrase(int code) {
  switch (code) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 410: return "Gone";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

std::string response(int code, const std::string& extra_headers, bool with_body = true) {
  std::string body;
  if (with_body && code >= 200 && code != 204 && code != 304)
    body = "<html><body>status " + std::to_string(code) + "</body></html>\r\n";
  return "HTTP/1.1 " + std::to_string(code) + " " + reason_phrase(code) + "\r\n" + extra_headers +
         "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

std::string redirect(int code, const std::string& location) {
  return response(code, "Location: " + location + "\r\n");
}

std::string percent_decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const std::string hex = text.substr(i + 1, 2);
      char* end = nullptr;
      long value = std::strtol(hex.c_str(), &end, 16);
      if (end == hex.c_str() + 2) {
        out += static_cast<char>(value);
        i += 2;
        continue;
      }
    }
    out += text[i] == '+' ? ' ' : text[i];
  }
  return out;
}

// The number after a prefix such as "/status/"; -1 when there is none.
int number_after(const std::string& path, const std::string& prefix) {
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return -1;
  int value = 0;
  for (size_t i = prefix.size(); i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9' || value > 100000000) return -1;
    value = value * 10 + (path[i] - '0');
  }
  return value;
}

}  // namespace

HttpFixture::HttpFixture(bool keep_alive) : keep_alive_(keep_alive) {
  if (!start_sockets()) return;
  socket_type s = bind_loopback(port_);
  if (s == kBadSocket) return;
  if (::listen(s, 128) != 0) {
    close_socket(s);
    return;
  }
  listener_ = static_cast<intptr_t>(s);
  acceptor_ = std::thread(&HttpFixture::accept_loop, this);
}

HttpFixture::~HttpFixture() { stop(); }

std::string HttpFixture::url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

int HttpFixture::count(const std::string& target) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = by_target_.find(target);
  return it == by_target_.end() ? 0 : it->second;
}

int HttpFixture::count_path(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = by_path_.find(path);
  return it == by_path_.end() ? 0 : it->second;
}

int HttpFixture::total() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_;
}

int HttpFixture::active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_;
}

int HttpFixture::accepted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

std::string HttpFixture::last_user_agent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return user_agent_;
}

void HttpFixture::release_hangs() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hangs_released_ = true;
  }
  changed_.notify_all();
}

bool HttpFixture::wait_for_path(const std::string& path, int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    auto it = by_path_.find(path);
    return it != by_path_.end() && it->second >= n;
  });
}

void HttpFixture::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  // The acceptor has ended, so the list no longer grows.
  for (Connection& c : connections_)
    if (c.thread.joinable()) c.thread.join();
  connections_.clear();
  if (listener_ != -1) {
    close_socket(to_socket(listener_));
    listener_ = -1;
  }
}

bool HttpFixture::wait_or_stop(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void HttpFixture::reap_finished() {
  std::list<Connection> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (Connection& c : finished) c.thread.join();
}

void HttpFixture::accept_loop() {
  const socket_type listener = to_socket(listener_);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
    }
    reap_finished();
    if (!readable(listener, 50)) continue;
    socket_type s = ::accept(listener, nullptr, nullptr);
    if (s == kBadSocket) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      close_socket(s);
      return;
    }
    ++active_;
    ++accepted_;
    connections_.emplace_back();
    Connection* c = &connections_.back();
    c->thread = std::thread(&HttpFixture::serve, this, static_cast<intptr_t>(s), c);
  }
}

void HttpFixture::serve(intptr_t raw, Connection* self) {
  const socket_type s = to_socket(raw);
  std::string request;
  bool again = true;
  while (again) {
    again = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool complete = request.find("\r\n\r\n") != std::string::npos;
    while (!complete && request.size() < 16384 && std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) break;
      }
      if (!readable(s, 50)) continue;
      char chunk[2048];
      int n = ::recv(s, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      request.append(chunk, static_cast<size_t>(n));
      complete = request.find("\r\n\r\n") != std::string::npos;
    }
    if (complete) {
      // "GET /target HTTP/1.1"
      const size_t first = request.find(' ');
      const size_t second = first == std::string::npos ? first : request.find(' ', first + 1);
      if (second != std::string::npos) {
        std::string agent;
        const size_t at = request.find("\r\nUser-Agent: ");
        if (at != std::string::npos) {
          const size_t from = at + 14;
          agent = request.substr(from, request.find("\r\n", from) - from);
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          user_agent_ = agent;
        }
        again = answer(raw, request.substr(first + 1, second - first - 1));
        request.erase(0, request.find("\r\n\r\n") + 4);
      }
    }
  }
  close_socket(s);
  std::lock_guard<std::mutex> lock(mutex_);
  --active_;
  self->done = true;
  changed_.notify_all();
}

bool HttpFixture::answer(intptr_t raw, const std::string& target) {
  const socket_type s = to_socket(raw);
  const size_t question = target.find('?');
  const std::string path = target.substr(0, question);
  const std::string query = question == std::string::npos ? "" : target.substr(question + 1);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++total_;
    ++by_target_[target];
    ++by_path_[path];
  }
  changed_.notify_all();

  // Waits until the fixture stops or the client hangs up.
  auto hold_open = [&] {
    while (!wait_or_stop(0)) {
      if (readable(s, 50)) {
        char scrap[256];
        if (::recv(s, scrap, sizeof scrap, 0) <= 0) return;
      }
    }
  };

  // A complete answer, which a keep-alive fixture follows with the next one.
  bool reusable = false;
  auto reply = [&](std::string text) {
    if (keep_alive_) {
      const size_t at = text.find("Connection: close");
      if (at != std::string::npos) text.replace(at, 17, "Connection: keep-alive");
      reusable = true;
    }
    send_all(s, text);
  };

  int n;
  if ((n = number_after(path, "/status/")) >= 0) {
    reply(response(n, ""));
  } else if ((n = number_after(path, "/redirect/")) >= 0) {
    reply(redirect(302, n == 0 ? "/status/200" : "/redirect/" + std::to_string(n - 1)));
  } else if ((n = number_after(path, "/moved/")) >= 0) {
    reply(redirect(301, n == 0 ? "/status/200" : "/moved/" + std::to_string(n - 1)));
  } else if (path == "/redirect-to" && query.compare(0, 4, "url=") == 0) {
    reply(redirect(302, percent_decode(query.substr(4))));
  } else if (path == "/loop") {
    reply(redirect(302, "/loop"));
  } else if (path == "/file") {
    reply(redirect(302, "file:///etc/passwd"));
  } else if ((n = number_after(path, "/slow/")) >= 0) {
    if (!wait_or_stop(n)) reply(response(200, ""));
  } else if (path == "/hang") {
    // Waits for the stop, the client's hang-up or the release.
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_) break;
        if (hangs_released_) {
          lock.unlock();
          send_all(s, response(200, ""));
          break;
        }
      }
      if (readable(s, 50)) {
        char scrap[256];
        if (::recv(s, scrap, sizeof scrap, 0) <= 0) break;
      }
    }
  } else if (path == "/stall") {
    send_all(s,
             "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n"
             "Connection: close\r\n\r\n");
    hold_open();
  } else if (path == "/garbage") {
    send_all(s, "this is not HTTP at all\r\n");
  } else {
    reply(response(404, ""));
  }
  return reusable;
}

std::string unreachable_url() {
  if (!start_sockets()) return "http://127.0.0.1:1/";
  uint16_t port = 0;
  socket_type s = bind_loopback(port);
  if (s == kBadSocket) return "http://127.0.0.1:1/";
  close_socket(s);
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
  // 64 characters make a label one longer than DNS allows: the resolver
  // refuses the name before it builds a query.
  return "http://" + std::string(64, 'x') + ".invalid/";
}
