// The HTTP client on Windows: WinInet behind the session/request shape of
// platform.h.
//
// Closing a WinInet session closes every handle opened on it and cancels the
// calls pending on it. Sessions and requests are therefore handed out as ids
// of one table, never as raw HINTERNET values: a request used or closed after
// its session went finds nothing, instead of touching a handle value that
// WinInet has released (and may have given to someone else since).
#include "platform/platform.h"

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct SessionState {
  HINTERNET handle = nullptr;
  bool closed = false;  // guarded by table_mutex
};

struct RequestState {
  uintptr_t session_id = 0;
  HINTERNET handle = nullptr;
};

std::mutex table_mutex;
uintptr_t next_id = 1;  // ids are never reused
std::unordered_map<uintptr_t, std::shared_ptr<SessionState>> sessions;
std::unordered_map<uintptr_t, RequestState> requests;

uintptr_t id_of(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

constexpr DWORD kNoCacheWrite = 0x04000000;  // INTERNET_FLAG_NO_CACHE_WRITE

}  // namespace

HttpSession* http_open_session(const std::string& agent) {
  HINTERNET handle = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!handle) return nullptr;
  auto state = std::make_shared<SessionState>();
  state->handle = handle;
  std::lock_guard<std::mutex> lock(table_mutex);
  const uintptr_t id = next_id++;
  sessions.emplace(id, std::move(state));
  return reinterpret_cast<HttpSession*>(id);
}

HttpRequest* http_open_url(HttpSession* session, const std::string& url) {
  if (!session) return nullptr;
  const uintptr_t session_id = id_of(session);
  HINTERNET session_handle;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    auto it = sessions.find(session_id);
    if (it == sessions.end() || it->second->closed) return nullptr;
    session_handle = it->second->handle;
  }
  // Blocks until the final answer's headers are in; closing the session from
  // another thread cancels it.
  HINTERNET handle = InternetOpenUrlA(session_handle, url.c_str(), nullptr, 0, kNoCacheWrite, 0);
  if (!handle) return nullptr;

  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = sessions.find(session_id);
  if (it == sessions.end() || it->second->closed) {
    // The session was closed while the call ran: it took this handle with it.
    return nullptr;
  }
  RequestState request;
  request.session_id = session_id;
  request.handle = handle;
  const uintptr_t id = next_id++;
  requests.emplace(id, request);
  return reinterpret_cast<HttpRequest*>(id);
}

bool http_query_status(HttpRequest* request, char* buffer, size_t size) {
  if (!request || !buffer || size == 0) return false;
  // The lock is held through the query (which only reads headers already
  // received) so that the session cannot close the handle under it.
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = requests.find(id_of(request));
  if (it == requests.end()) return false;
  DWORD length = static_cast<DWORD>(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size);
  DWORD index = 0;
  if (!HttpQueryInfoA(it->second.handle, HTTP_QUERY_STATUS_CODE, buffer, &length, &index))
    return false;
  buffer[length < size ? length : size - 1] = '\0';
  return true;
}

void http_close_request(HttpRequest* request) {
  if (!request) return;
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = requests.find(id_of(request));
  if (it == requests.end()) return;
  InternetCloseHandle(it->second.handle);
  requests.erase(it);
}

void http_close_session(HttpSession* session) {
  if (!session) return;
  const uintptr_t session_id = id_of(session);
  HINTERNET handle;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    auto it = sessions.find(session_id);
    if (it == sessions.end()) return;
    it->second->closed = true;
    handle = it->second->handle;
    sessions.erase(it);
    // Their handles are released by closing the session below.
    for (auto r = requests.begin(); r != requests.end();)
      r = r->second.session_id == session_id ? requests.erase(r) : std::next(r);
  }
  // Not under the lock: this waits for nothing but wakes every call pending
  // on the session.
  InternetCloseHandle(handle);
}

}  // namespace platform
