// The update check: builds the update request, makes sure the maker's update
// library is in place (downloading it when missing) and hands it the request,
// on a thread of its own. Nothing is shown to the user.
#pragma once

#include <cstdint>
#include <string>

#include "setup/update_request.h"

// Where the check finds its library and downloads it from.
struct UpdateSources {
  std::string library_path;  // full path, never a bare name
  std::string download_url;
  std::string trusted_certificates;  // tests on Linux: a PEM file trusted for https
};
// The update server's library over https, into platform::update_library_path().
UpdateSources default_update_sources();
// Tests point the check at a library and a server of their own; an empty
// library_path puts the defaults back.
void set_update_sources_for_tests(const UpdateSources& sources);

// Fills a zeroed block with the request for this program and its two files.
void build_update_request(UpdateRequestBlock& block, const std::string& library_path,
                          const std::string& executable_path);

// Writes the body at `url` to `target` through a temporary file in the same
// folder, renamed over the target only when the transfer was complete and
// not empty. False leaves the target as it was.
bool download_file(const std::string& target, const std::string& url);
// True when the library loads, or was downloaded whole.
bool ensure_update_library();
// The library's result for the request, or 0 when the library or its entry
// point cannot be found.
int32_t run_update(UpdateRequest& request);
// The whole check, on the calling thread: build, ensure, run.
int32_t run_update_sequence();
