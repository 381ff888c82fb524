// The HTTP client on Windows: WinInet behind the session/request shape of
// platform.h.
//
// Sections:
//   handles    - sessions and requests are ids in one table, never raw
//                HINTERNET values: a request used or closed after its session
//                went finds nothing, instead of touching a handle that WinInet
//                has released (and may have handed out again since)
//   opening    - the blocking open runs on a helper thread while the caller
//                waits for it or for the session's closing, whichever comes
//                first, so a stop never waits for a server even where closing
//                the session does not cancel the call under way
//   closing    - closing the session releases every handle opened on it
#include "platform/platform.h"

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "core/ascii.h"
#include "platform/common/url_form.h"

namespace platform {
namespace {

// ---------------------------------------------------------------------------
// handles

struct SessionState {
  HINTERNET handle = nullptr;
  bool closed = false;                 // guarded by the table lock
  std::condition_variable changed;     // an open finished, or the session closed
};

struct RequestState {
  uintptr_t session_id = 0;
  HINTERNET handle = nullptr;
};

// One open under way, shared by the waiting caller and the helper thread.
struct PendingOpen {
  bool done = false;       // the helper's call has returned
  bool abandoned = false;  // the caller left because the session closed
  bool out_of_handles = false;  // this machine had no socket or memory to spare
  HINTERNET handle = nullptr;
};

// Never destroyed: a helper thread may still finish while the process ends.
struct Table {
  std::mutex mutex;
  uintptr_t next_id = 1;  // ids are never reused
  std::unordered_map<uintptr_t, std::shared_ptr<SessionState>> sessions;
  std::unordered_map<uintptr_t, RequestState> requests;
};
Table& table() {
  static Table* instance = new Table;
  return *instance;
}

uintptr_t id_of(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

constexpr DWORD kNoCacheWrite = 0x04000000;  // INTERNET_FLAG_NO_CACHE_WRITE

// ---------------------------------------------------------------------------
// opening

constexpr int kMaxRedirects = 10;
constexpr DWORD kLocationSize = 4096;

bool closed(const SessionState& state) {
  std::lock_guard<std::mutex> lock(table().mutex);
  return state.closed;
}

// Where a redirection answer sends the client: its Location made absolute,
// when that is an http or https link; empty otherwise.
std::string redirect_target(HINTERNET handle, const std::string& url) {
  DWORD status = 0, length = sizeof status, index = 0;
  if (!HttpQueryInfoA(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                      &index) ||
      status < 300 || status > 399)
    return std::string();
  char location[kLocationSize];
  length = sizeof location;
  index = 0;
  if (!HttpQueryInfoA(handle, HTTP_QUERY_LOCATION, location, &length, &index)) return std::string();
  char next[kLocationSize];
  DWORD next_length = sizeof next;
  if (!InternetCombineUrlA(url.c_str(), location, next, &next_length, ICU_NO_ENCODE))
    return std::string();
  const std::string target(next, next_length);
  for (const char* scheme : {"http://", "https://"}) {
    const size_t n = std::strlen(scheme);
    if (target.size() > n && equal_ignoring_case(target.data(), n, scheme, n)) return target;
  }
  return std::string();
}

// Opens a link and follows its redirections here rather than inside
// WinInet: at most ten, to http and https only, as the POSIX client does, so
// a link that redirects to itself ends with its last answer instead of
// keeping a worker forever. The last answer stands, as the final one would.
HINTERNET open_following_redirects(const SessionState& state, HINTERNET session_handle,
                                   std::string url, DWORD& error) {
  for (int redirects = 0;; ++redirects) {
    // A closed session's handle may already name something else.
    if (closed(state)) {
      error = 0;
      return nullptr;
    }
    HINTERNET handle = InternetOpenUrlA(session_handle, url.c_str(), nullptr, 0,
                                        kNoCacheWrite | INTERNET_FLAG_NO_AUTO_REDIRECT, 0);
    if (!handle) {
      error = GetLastError();
      return nullptr;
    }
    if (redirects == kMaxRedirects) return handle;
    const std::string next = redirect_target(handle, url);
    if (next.empty()) return handle;
    // Once the session is closed it has released this handle itself.
    if (closed(state)) {
      error = 0;
      return nullptr;
    }
    InternetCloseHandle(handle);
    url = next;
  }
}

void run_open(std::shared_ptr<SessionState> state, std::shared_ptr<PendingOpen> pending,
              HINTERNET session_handle, std::string url) {
  DWORD error = 0;
  HINTERNET handle = open_following_redirects(*state, session_handle, url, error);
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  pending->done = true;
  // When the caller has gone, the session is closed and took this handle
  // with it; closing it again could hit a handle reused by someone else.
  if (!pending->abandoned) pending->handle = handle;
  pending->out_of_handles = error == ERROR_INTERNET_OUT_OF_HANDLES ||
                            error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
                            error == WSAEMFILE || error == WSAENOBUFS;
  state->changed.notify_all();
}

}  // namespace

HttpSession* http_open_session(const std::string& agent) {
  HINTERNET handle = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!handle) return nullptr;
  auto state = std::make_shared<SessionState>();
  state->handle = handle;
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  const uintptr_t id = t.next_id++;
  t.sessions.emplace(id, std::move(state));
  return reinterpret_cast<HttpSession*>(id);
}

HttpRequest* http_open_url(HttpSession* session, const std::string& url, bool* not_tried) {
  bool local_failure = false;
  if (!not_tried) not_tried = &local_failure;
  // Every early return below is a link that was not tried; only a finished
  // open without a handle says something about the link.
  *not_tried = true;
  if (!session) return nullptr;
  const uintptr_t session_id = id_of(session);
  Table& t = table();
  std::unique_lock<std::mutex> lock(t.mutex);
  auto it = t.sessions.find(session_id);
  if (it == t.sessions.end() || it->second->closed) return nullptr;
  std::shared_ptr<SessionState> state = it->second;
  auto pending = std::make_shared<PendingOpen>();
  try {
    // Opened as a browser would send it, as the POSIX client does.
    std::thread(run_open, state, pending, state->handle, common::browser_url_form(url)).detach();
  } catch (...) {
    return nullptr;  // no thread to be had: the link cannot be opened now
  }
  state->changed.wait(lock, [&] { return pending->done || state->closed; });
  if (!pending->done || state->closed) {
    pending->abandoned = true;
    return nullptr;
  }
  *not_tried = pending->out_of_handles;
  if (!pending->handle) return nullptr;
  RequestState request;
  request.session_id = session_id;
  request.handle = pending->handle;
  const uintptr_t id = t.next_id++;
  t.requests.emplace(id, request);
  return reinterpret_cast<HttpRequest*>(id);
}

bool http_query_status(HttpRequest* request, char* buffer, size_t size) {
  if (!request || !buffer || size == 0) return false;
  // The lock is held through the query (which only reads headers already
  // received) so that the session cannot close the handle under it.
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.requests.find(id_of(request));
  if (it == t.requests.end()) return false;
  DWORD length = static_cast<DWORD>(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size);
  DWORD index = 0;
  if (!HttpQueryInfoA(it->second.handle, HTTP_QUERY_STATUS_CODE, buffer, &length, &index))
    return false;
  // Wine fills a buffer that has no room left for the terminator and calls
  // it success; a status cut short is no status.
  if (length >= size) return false;
  buffer[length] = '\0';
  return true;
}

void http_close_request(HttpRequest* request) {
  if (!request) return;
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.requests.find(id_of(request));
  if (it == t.requests.end()) return;  // released with its session
  InternetCloseHandle(it->second.handle);
  t.requests.erase(it);
}

// ---------------------------------------------------------------------------
// closing

void http_close_session(HttpSession* session) {
  if (!session) return;
  const uintptr_t session_id = id_of(session);
  HINTERNET handle;
  Table& t = table();
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.sessions.find(session_id);
    if (it == t.sessions.end()) return;
    it->second->closed = true;
    it->second->changed.notify_all();  // every caller waiting on it leaves now
    handle = it->second->handle;
    t.sessions.erase(it);
    // Their handles are released by closing the session below.
    for (auto r = t.requests.begin(); r != t.requests.end();)
      r = r->second.session_id == session_id ? t.requests.erase(r) : std::next(r);
  }
  InternetCloseHandle(handle);
}

}  // namespace platform
