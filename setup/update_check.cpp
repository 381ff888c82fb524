#include "setup/update_check.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/maker.h"
#include "core/records.h"
#include "platform/platform.h"
#include "setup/setup_roles.h"

namespace {

constexpr char kAgent[] = "HalvexGyn";
constexpr char kProductCode[] = "LVN";
constexpr char kProductId[] = "{7D3E91C4-2B5A-4F08-9C6E-1A4B8D2F5E73}";
constexpr char kLanguage[] = "EN";
constexpr char kLibraryDownload[] = "/cgi-bin/download.cgi?file=hu";
constexpr char kEntryPoint[] = "HU_Update";

std::mutex update_sources_lock;  // guards test_sources
UpdateSources test_sources;

// Every address the library is given, and the download, go over https.
std::string maker_address(const char* path_and_query) {
  return std::string("https://") + kMakerUpdateServer + path_and_query;
}

void fill_entry(UpdateFileEntry& entry, const std::string& path, const char* download,
                const char* checksum, const char* label) {
  entry.size = kUpdateFileEntrySize;
  entry.constant_100 = 100;
  entry.constant_1 = 1;
  copy_field(entry.local_path, sizeof entry.local_path, path);
  copy_field(entry.download_url, sizeof entry.download_url, maker_address(download));
  copy_field(entry.checksum_url, sizeof entry.checksum_url, maker_address(checksum));
  copy_field(entry.label, sizeof entry.label, label);
}

UpdateSources current_sources() {
  std::lock_guard<std::mutex> lock(update_sources_lock);
  return test_sources.library_path.empty() ? default_update_sources() : test_sources;
}

// Makes every missing folder on the way to `file`; failures show in the write.
void make_folders_for(const std::string& file) {
  for (size_t at = file.find_first_of("\\/", 1); at != std::string::npos;
       at = file.find_first_of("\\/", at + 1))
    platform::create_directory(file.substr(0, at));
}

struct Download {
  platform::File file;
  uint64_t bytes = 0;
};

bool write_piece(void* context, const char* data, size_t n) {
  auto* download = static_cast<Download*>(context);
  download->bytes += n;
  return download->file.write(data, n);
}

}  // namespace

UpdateSources default_update_sources() {
  return {platform::update_library_path(), maker_address(kLibraryDownload), std::string()};
}

void set_update_sources_for_tests(const UpdateSources& sources) {
  std::lock_guard<std::mutex> lock(update_sources_lock);
  test_sources = sources;
}

void build_update_request(UpdateRequestBlock& block, const std::string& library_path,
                          const std::string& executable_path) {
  std::memset(&block, 0, sizeof block);
  UpdateRequest& request = block.request;
  request.size = kUpdateRequestSize;
  request.constant_100 = 100;
  copy_field(request.product_code, sizeof request.product_code, kProductCode);
  copy_field(request.product_id, sizeof request.product_id, kProductId);
  copy_field(request.language, sizeof request.language, kLanguage);
  request.entry_count = kUpdateFileCount;
  request.entries = block.entries;
  fill_entry(block.entries[0], library_path, kLibraryDownload, "/hash.php?file=./hu/hu.dll",
             "HU Library");
  fill_entry(block.entries[1], executable_path, "/lvn/files/LVN.EXE",
             "/hash.php?file=./lvn/files/LVN.EXE", "LVN executable");
}

bool download_file(const std::string& target, const std::string& url) {
  make_folders_for(target);
  const std::string partial = platform::temporary_path_beside(target);
  Download download;
  download.file = platform::open_file(partial, platform::FileAccess::create_new);
  if (!download.file.is_open()) return false;
  bool complete = platform::http_download(kAgent, url, write_piece, &download,
                                          current_sources().trusted_certificates);
  complete = download.file.flush() && complete;
  download.file.close();
  // Only a whole, non-empty body ever takes the library's name.
  if (complete && download.bytes > 0 && platform::replace_file(partial, target)) return true;
  platform::delete_file(partial);
  return false;
}

bool ensure_update_library() {
  const UpdateSources sources = current_sources();
  if (void* library = platform::load_library(sources.library_path)) {
    platform::free_library(library);
    return true;
  }
  return download_file(sources.library_path, sources.download_url);
}

int32_t run_update(UpdateRequest& request) {
  ensure_update_library();
  void* library = platform::load_library(current_sources().library_path);
  int32_t result = 0;
  if (auto entry = reinterpret_cast<HuUpdateEntry>(platform::library_entry(library, kEntryPoint)))
    result = entry(&request);
  platform::free_library(library);
  return result;
}

int32_t run_update_sequence() {
  UpdateRequestBlock block;
  build_update_request(block, current_sources().library_path, platform::module_path());
  return run_update(block.request);
}

void start_update_check(void* /*window*/) {
  // Not waited for; a check still running when the process ends ends with it.
  std::thread(run_update_sequence).detach();
}
