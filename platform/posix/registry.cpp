// The registry on POSIX: one private-profile file, "registry.ini", in the
// user's configuration folder. A key is the section "HKCU\<key>" (or HKLM,
// HKCR); its values are the section's entries, stored in quotes so that
// blanks at either end survive.
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/stat.h>

#include "core/ascii.h"
#include "platform/platform.h"
#include "platform/common/ini_text.h"
#include "platform/posix/posix_support.h"
#include "platform/posix/profile_lock.h"

namespace platform {

namespace {

std::string store_folder() {
  std::string folder = posix::non_empty_env("LORVANE_REGISTRY_DIR");
  if (!folder.empty()) return folder;
  folder = posix::non_empty_env("XDG_CONFIG_HOME");
  if (!folder.empty()) return folder + "/lorvane";
  folder = posix::non_empty_env("HOME");
  if (folder.empty()) return std::string();
  return folder + "/.config/lorvane";
}

std::string store_file() {
  const std::string folder = store_folder();
  return folder.empty() ? std::string() : folder + "/registry.ini";
}

std::string section_for(RegistryRoot root, const std::string& key) {
  const char* prefix = root == RegistryRoot::current_user    ? "HKCU"
                       : root == RegistryRoot::local_machine ? "HKLM"
                                                             : "HKCR";
  // Keys are written with single backslashes and no separator at the ends.
  std::string name = prefix;
  std::string part;
  for (size_t i = 0; i <= key.size(); ++i) {
    if (i == key.size() || key[i] == '\\' || key[i] == '/') {
      if (!part.empty()) name += "\\" + part;
      part.clear();
    } else {
      part += key[i];
    }
  }
  return name;
}

bool is_at_or_below(const std::string& name, const std::string& section) {
  if (equal_ignoring_case(name, section)) return true;
  return name.size() > section.size() && name[section.size()] == '\\' &&
         equal_ignoring_case(name.substr(0, section.size()), section);
}

bool load(std::string& text) {
  const std::string file = store_file();
  if (file.empty()) return false;
  return posix::read_whole_file(file, text);
}

}  // namespace

bool registry_key_opens(RegistryRoot root, const std::string& key) {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(posix::profile_mutex());
    if (!load(text)) return false;
  }
  // A key exists when it was written to, or when a key below it was.
  const std::string section = section_for(root, key);
  for (const std::string& name : common::ini_section_names(text))
    if (is_at_or_below(name, section)) return true;
  return false;
}

bool registry_read_string(RegistryRoot root, const std::string& key,
                          const std::string& value, std::string& out) {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(posix::profile_mutex());
    if (!load(text)) return false;
  }
  return common::ini_find(text, section_for(root, key), value, out);
}

bool registry_write_string(RegistryRoot root, const std::string& key,
                           const std::string& value, const std::string& data) {
  // One entry is one line: line breaks cannot be stored.
  if (data.find_first_of("\r\n") != std::string::npos ||
      value.find_first_of("\r\n=[") != std::string::npos)
    return false;
  const std::string folder = store_folder();
  if (folder.empty() || !posix::make_folders(folder)) return false;
  const std::string file = folder + "/registry.ini";
  std::lock_guard<std::mutex> lock(posix::profile_mutex());
  std::string text;
  struct stat st;
  if (!posix::read_whole_file(file, text) && ::stat(file.c_str(), &st) == 0) return false;
  return posix::replace_file_content(
      file, common::ini_set(text, section_for(root, key), value, "\"" + data + "\""), 0600);
}

bool registry_delete_key(RegistryRoot root, const std::string& key) {
  const std::string section = section_for(root, key);
  // Deleting a whole root is not a key deletion.
  if (section.find('\\') == std::string::npos) return false;
  const std::string file = store_file();
  if (file.empty()) return false;
  std::lock_guard<std::mutex> lock(posix::profile_mutex());
  std::string text;
  if (!posix::read_whole_file(file, text)) return false;
  bool found = false;
  const std::string kept = common::ini_remove_sections(text, [&](const std::string& name) {
    const bool below = is_at_or_below(name, section);
    found = found || below;
    return below;
  });
  if (!found) return false;
  return posix::replace_file_content(file, kept, 0600);
}

}  // namespace platform
