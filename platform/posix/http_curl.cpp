// The HTTP client on POSIX systems: libcurl behind the session/request shape
// of platform.h.
//
// Sections:
//   handles    - sessions and requests are ids in one table, never raw
//                objects, so a handle used after its session closed finds
//                nothing instead of freed memory
//   transfer   - one GET that is done as soon as the final answer's status
//                line and headers are in; a small body that follows at once
//                is taken in only so that the connection can serve the next
//                link. A server that falls silent for the silence limit ends
//                it, timed by the transfer itself to the millisecond
//   cancelling - closing a session marks it closed, shuts down every socket
//                its transfers hold or keep for later and wakes every thread
//                waiting on it, so no wait needs a tick of its own
//   reuse      - each thread keeps one transfer handle and its connections
//                per session, and the session shares name lookups across
//                threads. Connections themselves are not pooled across
//                threads: this libcurl's shared connection cache is not safe
//                between concurrent threads.
#include "core/ascii.h"
#include "platform/platform.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "platform/common/url_form.h"

namespace platform {
namespace {

// ---------------------------------------------------------------------------
// handles

struct SessionState {
  std::string agent;
  std::atomic<bool> closed{false};
  std::mutex sockets_mutex;         // guards `sockets`, `waiters` and socket closing
  std::set<curl_socket_t> sockets;  // every socket open on this session now
  std::set<CURLM*> waiters;         // each thread's handle bound to the session
  CURLSH* share = nullptr;          // name lookups shared by every thread
  std::mutex share_locks[CURL_LOCK_DATA_LAST];

  // Runs once no thread holds a transfer handle on the session any more.
  ~SessionState() {
    if (share) curl_share_cleanup(share);
  }
};

struct RequestState {
  uintptr_t session_id = 0;
  bool status_known = false;
  long status = 0;
};

std::mutex table_mutex;
uintptr_t next_id = 1;  // ids are never reused
std::unordered_map<uintptr_t, std::shared_ptr<SessionState>> sessions;
std::unordered_map<uintptr_t, RequestState> requests;

uintptr_t id_of(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

std::shared_ptr<SessionState> find_session(uintptr_t id) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = sessions.find(id);
  return it == sessions.end() ? nullptr : it->second;
}

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Only the schemes the Windows client opens, and only when the URL names its
// scheme (libcurl would otherwise guess http for "www.example.com").
bool scheme_allowed(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos) return false;
  for (const char* allowed : {"http", "https", "ftp"})
    if (equal_ignoring_case(url.data(), colon, allowed, std::strlen(allowed))) return true;
  return false;
}

// ---------------------------------------------------------------------------
// transfer

using Clock = std::chrono::steady_clock;

// After the final headers the body is taken in only while it comes at once
// and is small: then the connection can serve the next link. Otherwise the
// transfer is cut, as it always was, and the connection goes with it.
constexpr size_t kBodyDrainLimit = 64 * 1024;
constexpr auto kBodyDrainTime = std::chrono::milliseconds(100);
constexpr auto kLongestWait = std::chrono::seconds(60);

struct Transfer {
  SessionState* session = nullptr;
  // The silence limit runs only while a request waits on its server: from
  // the moment it is sent, restarted whenever body bytes arrive (the count
  // libcurl keeps, which also sees the bodies of answers it follows) and by
  // each FTP reply line. The name lookup and connecting of the first request
  // and of each redirection are the connect time-out's to end; an FTP data
  // connection belongs to the request it serves.
  bool awaiting = false;
  Clock::time_point last_heard;
  curl_off_t body_count = 0;  // libcurl's count of body bytes for this request
  bool http = false;          // an HTTP status line has been seen
  long status = 0;            // status of the latest HTTP answer
  bool location = false;      // the latest answer names a Location
  bool headers_done = false;  // the final answer's headers are in
  Clock::time_point headers_time;
  size_t body_bytes = 0;       // body taken in after the final headers
  bool body_started = false;   // stopped on purpose at the first byte of a non-HTTP answer
  bool out_of_sockets = false; // this machine had no socket to spare

  void reset() {
    SessionState* keep = session;
    *this = Transfer();
    session = keep;
  }
};

bool starts_with_nocase(const char* data, size_t length, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return length >= n && equal_ignoring_case(data, n, prefix, n);
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (starts_with_nocase(data, length, "http/")) {
    // "HTTP/1.1 404 Not Found": a new answer in the chain begins.
    t->http = true;
    t->location = false;
    t->status = 0;
    size_t i = 0;
    while (i < length && data[i] != ' ') ++i;
    while (i < length && data[i] == ' ') ++i;
    while (i < length && std::isdigit(static_cast<unsigned char>(data[i])) && t->status < 100000)
      t->status = t->status * 10 + (data[i++] - '0');
    return length;
  }
  if (!t->http) {  // an FTP server's reply lines: each one breaks the silence
    t->last_heard = Clock::now();
    return length;
  }
  if (starts_with_nocase(data, length, "location:")) {
    size_t i = 9;
    while (i < length && (data[i] == ' ' || data[i] == '\t')) ++i;
    t->location = i < length && data[i] != '\r' && data[i] != '\n';
    return length;
  }
  const bool blank = (length == 2 && data[0] == '\r' && data[1] == '\n') ||
                     (length == 1 && data[0] == '\n');
  if (!blank) return length;
  // The end of one answer's headers. An interim answer (1xx) is followed by
  // another; a redirection with a Location is libcurl's to follow. Anything
  // else is the final answer, and its status is all that is wanted.
  if (t->status >= 100 && t->status < 200) return length;
  if (t->status >= 300 && t->status < 400 && t->location) return length;
  t->headers_done = true;
  t->headers_time = Clock::now();
  return length;
}

size_t on_body(char*, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  if (!t->headers_done) {
    t->body_started = true;  // an FTP transfer began, or an answer that is not HTTP
    return 0;
  }
  t->body_bytes += size * count;
  return t->body_bytes > kBodyDrainLimit ? 0 : size * count;
}

int on_progress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
  Transfer* t = static_cast<Transfer*>(user);
  if (received != t->body_count) {
    t->body_count = received;
    t->last_heard = Clock::now();
  }
  return t->session->closed.load() ? 1 : 0;
}

// A connection is ready and the request is about to go out (each redirection
// step has its own): the silence limit starts now.
int on_request_ready(void* user, char*, char*, int, int) {
  Transfer* t = static_cast<Transfer*>(user);
  t->awaiting = true;
  t->last_heard = Clock::now();
  t->body_count = 0;
  return CURL_PREREQFUNC_OK;
}

// A redirection is followed to a new connection: until its request goes
// out, the connect time-out rules.
void connecting_again(Transfer* t) {
  if (t->http) t->awaiting = false;
}

int on_resolver_start(void*, void*, void* user) {
  connecting_again(static_cast<Transfer*>(user));
  return 0;
}

// ---------------------------------------------------------------------------
// cancelling

curl_socket_t on_open_socket(void* user, curlsocktype, struct curl_sockaddr* address) {
  Transfer* t = static_cast<Transfer*>(user);
  SessionState* s = t->session;
  connecting_again(t);
  std::lock_guard<std::mutex> lock(s->sockets_mutex);
  if (s->closed.load()) return CURL_SOCKET_BAD;
  curl_socket_t fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd != CURL_SOCKET_BAD)
    s->sockets.insert(fd);
  else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
    t->out_of_sockets = true;  // says nothing about the link
  return fd;
}

int on_close_socket(void* user, curl_socket_t fd) {
  SessionState* s = static_cast<SessionState*>(user);
  // Closing under the lock keeps a closing session from shutting down a
  // descriptor number that has already been reused elsewhere.
  std::lock_guard<std::mutex> lock(s->sockets_mutex);
  s->sockets.erase(fd);
  return ::close(fd);
}

// ---------------------------------------------------------------------------
// reuse

void lock_share(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<SessionState*>(user)->share_locks[data].lock();
}

void unlock_share(CURL*, curl_lock_data data, void* user) {
  static_cast<SessionState*>(user)->share_locks[data].unlock();
}

// The answer time-out that benchmarks may lower through the environment;
// the product never sets the variable, so the 30 s below always hold there.
long silence_limit_seconds() {
  static const long seconds = [] {
    const char* text = std::getenv("LVN_HTTP_SILENCE_SECONDS");
    const long value = text ? std::atol(text) : 0;
    return value > 0 && value < 30 ? value : 30L;
  }();
  return seconds;
}

// One thread's transfer handle, with the connections it keeps, for one
// session at a time. Holding the session state keeps the shared lookups
// alive for as long as the handle may use them.
struct ThreadClient {
  std::shared_ptr<SessionState> session;
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  Transfer transfer;

  ~ThreadClient() { release(); }

  void release() {
    if (session && multi) {
      std::lock_guard<std::mutex> lock(session->sockets_mutex);
      session->waiters.erase(multi);  // before it goes, so no closing wakes it then
    }
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);  // closes the connections it kept
    easy = nullptr;
    multi = nullptr;
    session.reset();
  }

  // Ready for `state`; false when no handle could be had here, or the
  // session closed before its closing could wake this thread.
  bool bind(const std::shared_ptr<SessionState>& state) {
    if (session == state && easy) return true;
    release();
    multi = curl_multi_init();
    easy = curl_easy_init();
    if (!multi || !easy) {
      release();
      return false;
    }
    bool closed;
    {
      std::lock_guard<std::mutex> lock(state->sockets_mutex);
      closed = state->closed.load();
      if (!closed) state->waiters.insert(multi);
    }
    if (closed) {
      release();
      return false;
    }
    session = state;
    transfer.session = state.get();
    set_options(*state);
    return true;
  }

  void set_options(SessionState& state) {
    curl_easy_setopt(easy, CURLOPT_SHARE, state.share);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, state.agent.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // An answer that is not HTTP still means the server was reached; the
    // Windows client takes it as such, and its status is then unknown.
    curl_easy_setopt(easy, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    // Direct access, whatever the environment's proxy variables say.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    // The Windows client's defaults: 60 s to connect; its 30 s of silence
    // are timed in `run`.
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 60L);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, on_request_ready);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_RESOLVER_START_FUNCTION, on_resolver_start);
    curl_easy_setopt(easy, CURLOPT_RESOLVER_START_DATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, on_open_socket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, on_close_socket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &state);
  }

  // Runs one transfer of `url` to its end, to the end of a short body after
  // the final headers, to the silence limit or to the session's closing. It
  // sleeps until the next of these can come, and no shorter.
  CURLcode run(const std::string& url) {
    transfer.reset();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    const Clock::duration silence = std::chrono::seconds(silence_limit_seconds());
    CURLcode rc = CURLE_OK;
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        rc = CURLE_OUT_OF_MEMORY;
        break;
      }
      if (running == 0) {
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued))
          if (message->msg == CURLMSG_DONE) rc = message->data.result;
        break;
      }
      if (session->closed.load()) {
        rc = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      const Clock::time_point now = Clock::now();
      // Only the drain or the silence limit can end the wait sooner than
      // libcurl's own timers (the connect time-out) or the session's closing.
      Clock::time_point wake = now + kLongestWait;
      if (transfer.headers_done) {
        const Clock::time_point drained = transfer.headers_time + kBodyDrainTime;
        if (now >= drained) break;  // the outcome is known already
        wake = std::min(wake, drained);
      } else if (transfer.awaiting) {
        const Clock::time_point silent = transfer.last_heard + silence;
        if (now >= silent) {
          rc = CURLE_OPERATION_TIMEDOUT;
          break;
        }
        wake = std::min(wake, silent);
      }
      // libcurl wakes sooner by itself when one of its own timers is due.
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now);
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
    // A transfer still running here is cut, and its connection closed.
    curl_multi_remove_handle(multi, easy);
    return rc;
  }
};

thread_local ThreadClient thread_client;

}  // namespace

HttpSession* http_open_session(const std::string& agent) {
  global_init();
  auto state = std::make_shared<SessionState>();
  state->agent = agent;
  state->share = curl_share_init();
  if (!state->share) return nullptr;
  curl_share_setopt(state->share, CURLSHOPT_LOCKFUNC, lock_share);
  curl_share_setopt(state->share, CURLSHOPT_UNLOCKFUNC, unlock_share);
  curl_share_setopt(state->share, CURLSHOPT_USERDATA, state.get());
  curl_share_setopt(state->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(state->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  std::lock_guard<std::mutex> lock(table_mutex);
  const uintptr_t id = next_id++;
  sessions.emplace(id, std::move(state));
  return reinterpret_cast<HttpSession*>(id);
}

HttpRequest* http_open_url(HttpSession* session, const std::string& link, bool* not_tried) {
  bool local_failure = false;
  if (!not_tried) not_tried = &local_failure;
  *not_tried = false;
  if (!session) {
    *not_tried = true;
    return nullptr;
  }
  // Opened as a browser would send it, as the Windows client does.
  const std::string url = common::browser_url_form(link);
  if (!scheme_allowed(url)) return nullptr;
  const uintptr_t session_id = id_of(session);
  // Holding the state keeps it alive through the transfer even if the
  // session is closed meanwhile.
  std::shared_ptr<SessionState> state = find_session(session_id);
  if (!state || state->closed.load()) {
    *not_tried = true;
    return nullptr;
  }

  ThreadClient& client = thread_client;
  if (!client.bind(state)) {
    *not_tried = true;
    return nullptr;
  }
  const CURLcode rc = client.run(url);
  const Transfer& t = client.transfer;

  RequestState request;
  request.session_id = session_id;
  if (t.headers_done || (rc == CURLE_WRITE_ERROR && t.body_started) || rc == CURLE_OK) {
    // The final answer is in (or, for FTP, the transfer began).
    request.status_known = t.http;
    request.status = t.status;
  } else if ((rc == CURLE_TOO_MANY_REDIRECTS || rc == CURLE_UNSUPPORTED_PROTOCOL) && t.http &&
             t.status >= 300 && t.status < 400) {
    // A redirection that is not followed (too many of them, or to a scheme
    // other than http and https) leaves its own answer as the final one.
    request.status_known = true;
    request.status = t.status;
  } else {
    // A transfer cut off by the closing of its session was not a try, nor
    // one that found no socket or memory to spare on this machine.
    *not_tried = state->closed.load() || t.out_of_sockets || rc == CURLE_OUT_OF_MEMORY;
    return nullptr;
  }

  std::lock_guard<std::mutex> lock(table_mutex);
  if (state->closed.load() || sessions.find(session_id) == sessions.end()) {
    *not_tried = true;
    return nullptr;
  }
  const uintptr_t id = next_id++;
  requests.emplace(id, request);
  return reinterpret_cast<HttpRequest*>(id);
}

bool http_query_status(HttpRequest* request, char* buffer, size_t size) {
  if (!request || !buffer || size == 0) return false;
  long status;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    auto it = requests.find(id_of(request));
    if (it == requests.end() || !it->second.status_known) return false;
    status = it->second.status;
  }
  const int n = std::snprintf(buffer, size, "%ld", status);
  return n > 0 && static_cast<size_t>(n) < size;
}

void http_close_request(HttpRequest* request) {
  if (!request) return;
  std::lock_guard<std::mutex> lock(table_mutex);
  requests.erase(id_of(request));
}

void http_close_session(HttpSession* session) {
  if (!session) return;
  const uintptr_t session_id = id_of(session);
  std::shared_ptr<SessionState> state;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    auto it = sessions.find(session_id);
    if (it == sessions.end()) return;
    state = it->second;
    sessions.erase(it);
    // Requests still open on the session go with it.
    for (auto r = requests.begin(); r != requests.end();)
      r = r->second.session_id == session_id ? requests.erase(r) : std::next(r);
  }
  std::lock_guard<std::mutex> lock(state->sockets_mutex);
  state->closed.store(true);
  // Wakes every transfer at once, whether it waits on a connected socket, a
  // connection or a name lookup.
  for (curl_socket_t fd : state->sockets) ::shutdown(fd, SHUT_RDWR);
  for (CURLM* multi : state->waiters) curl_multi_wakeup(multi);
}

}  // namespace platform
