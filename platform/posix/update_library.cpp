// Whole-file downloads through libcurl and run-time libraries through dlopen.
#include "platform/platform.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdlib>

#include "platform/posix/posix_support.h"

namespace platform {
namespace {

struct Sink {
  bool (*write)(void*, const char*, size_t);
  void* context;
};

size_t take_piece(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t n = size * count;
  return sink->write(sink->context, data, n) ? n : 0;  // 0 stops the transfer
}

}  // namespace

bool http_download(const std::string& agent, const std::string& url,
                   bool (*sink)(void* context, const char* data, size_t n), void* context,
                   const std::string& trusted_certificates) {
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  Sink target{sink, context};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // Redirects are followed, but never from https down to plain http.
  const bool secure = url.compare(0, 8, "https://") == 0;
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!trusted_certificates.empty())
    curl_easy_setopt(curl, CURLOPT_CAINFO, posix::native_path(trusted_certificates).c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_piece);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
  // libcurl itself fails a body shorter than its Content-Length.
  const bool transferred = curl_easy_perform(curl) == CURLE_OK;
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  return transferred && status == 200;
}

std::string update_library_path() {
  return program_files_folder() + "/HU/libhu.so";
}

void* load_library(const std::string& full_path) {
  const std::string path = posix::native_path(full_path);
  if (path.empty() || path[0] != '/') return nullptr;  // full paths only, never a search
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* library_entry(void* library, const char* name) {
  return library ? dlsym(library, name) : nullptr;
}

void free_library(void* library) {
  if (library) dlclose(library);
}

}  // namespace platform
