#include "bookmarks/chromium_bookmarks.h"

#include <cstring>
#include <exception>

#include "bookmarks/bookmark_file_reader.h"
#include "core/md5.h"
#include "core/message.h"
#include "core/project.h"
#include "platform/platform.h"

namespace {

const char kDamaged[] =
    "The Chromium bookmarks file cannot be read: it is damaged or not a bookmarks file.";

// Deeper nesting is refused before parsing, so that every walk over the tree
// stays shallow. The browsers' own reader has the same limit.
constexpr int kMaxDepth = 200;
// No bookmarks file comes near this; a larger one is refused, not loaded.
constexpr int64_t kMaxFileSize = int64_t{1} << 28;

bool read_whole(const std::string& path, std::string& text) {
  platform::File file = platform::open_file(path, platform::FileAccess::read);
  if (!file.is_open()) return false;
  const int64_t size = file.size();
  if (size < 0 || size > kMaxFileSize) return false;
  text.resize(static_cast<size_t>(size));
  return file.read(&text[0], text.size()) == text.size();
}

// The deepest nesting of objects and arrays, strings skipped.
int nesting_depth(const std::string& text) {
  int depth = 0, deepest = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      if (++depth > deepest) deepest = depth;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return deepest;
}

const ChromiumJson* root_of(const ChromiumJson& tree, const char* key) {
  const auto roots = tree.find("roots");
  if (roots == tree.end() || !roots->is_object()) return nullptr;
  const auto root = roots->find(key);
  return root != roots->end() && root->is_object() ? &*root : nullptr;
}

const ChromiumJson* children_of(const ChromiumJson& folder) {
  const auto found = folder.find("children");
  return found != folder.end() && found->is_array() ? &*found : nullptr;
}

void walk_folder(const ChromiumJson& folder, const std::string& folders,
                 const ChromiumVisit& visit) {
  const ChromiumJson* children = children_of(folder);
  if (!children) return;
  for (const ChromiumJson& child : *children) {
    if (!child.is_object()) continue;
    if (chromium_is(child, "url")) {
      visit(child, folders);
    } else if (chromium_is(child, "folder")) {
      std::string inner = folders;
      const std::string name = chromium_text(child, "name");
      open_folder(inner, name.data(), name.size());
      walk_folder(child, inner, visit);
    }
  }
}

// Appends text as UTF-16LE. The parser has checked that it is UTF-8.
void add_utf16(Md5& md5, const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  auto unit = [&bytes](uint32_t u) {
    bytes += static_cast<char>(u & 0xff);
    bytes += static_cast<char>(u >> 8);
  };
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xe0 ? 1 : lead < 0xf0 ? 2 : 3;
    uint32_t code = extra == 0 ? lead : lead & (0x3f >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
    i += static_cast<size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xd800 + (code >> 10));
      unit(0xdc00 + (code & 0x3ff));
    } else {
      unit(code);
    }
  }
  md5.update(bytes);
}

void checksum_node(Md5& md5, const ChromiumJson& node) {
  md5.update(chromium_text(node, "id"));
  add_utf16(md5, chromium_text(node, "name"));
  if (chromium_is(node, "url")) {
    md5.update("url");
    md5.update(chromium_text(node, "url"));
    return;
  }
  md5.update("folder");
  if (const ChromiumJson* children = children_of(node))
    for (const ChromiumJson& child : *children)
      if (child.is_object() && (chromium_is(child, "url") || chromium_is(child, "folder")))
        checksum_node(md5, child);
}

}  // namespace

bool chromium_nesting_too_deep(const std::string& text) { return nesting_depth(text) > kMaxDepth; }

bool chromium_is(const ChromiumJson& node, const char* type) {
  if (!node.is_object()) return false;
  const auto found = node.find("type");
  return found != node.end() && found->is_string() && found->get_ref<const std::string&>() == type;
}

std::string chromium_text(const ChromiumJson& node, const char* key) {
  if (!node.is_object()) return std::string();
  const auto found = node.find(key);
  return found != node.end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool looks_like_chromium_bookmarks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string::npos && text[first] == '{' &&
         text.find("\"roots\"") != std::string::npos;
}

bool is_chromium_bookmarks_file(const char* path) {
  // The first bytes tell most files apart without reading them whole.
  {
    platform::File file = platform::open_file(path, platform::FileAccess::read);
    char head[512];
    const std::string start(head, file.read(head, sizeof head));
    const size_t first = start.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && start[first] != '{') return false;
  }
  try {
    std::string text;
    return read_whole(path, text) && looks_like_chromium_bookmarks(text);
  } catch (const std::exception&) {
    return false;
  }
}

bool load_chromium_bookmarks(const std::string& path, ChromiumJson& tree, std::string& problem) {
  problem = kDamaged;
  try {
    std::string text;
    if (!read_whole(path, text) || chromium_nesting_too_deep(text)) return false;
    tree = ChromiumJson::parse(text, nullptr, false);
  } catch (const std::exception&) {
    // Too large for this machine's memory: refused like a damaged file.
    tree = ChromiumJson();
    return false;
  }
  if (tree.is_discarded() || !tree.is_object()) return false;
  const auto roots = tree.find("roots");
  if (roots == tree.end() || !roots->is_object()) return false;
  problem.clear();
  return true;
}

void walk_chromium_bookmarks(const ChromiumJson& tree, const ChromiumVisit& visit) {
  for (const char* key : kChromiumRoots) {
    const ChromiumJson* root = root_of(tree, key);
    if (!root) continue;
    const std::string name = chromium_text(*root, "name");
    std::string folders;
    open_folder(folders, name.data(), name.size());
    walk_folder(*root, folders, visit);
  }
}

void chromium_record(const ChromiumJson& node, const std::string& folders, LVK_URL& record) {
  const std::string url = chromium_text(node, "url");
  const std::string name = chromium_text(node, "name");
  make_link_record(record, folders, url.data(), url.size(), name.data(), name.size());
}

std::string chromium_checksum(const ChromiumJson& tree) {
  Md5 md5;
  for (const char* key : kChromiumRoots)
    if (const ChromiumJson* root = root_of(tree, key)) checksum_node(md5, *root);
  return md5.hex_digest();
}

bool read_chromium_bookmarks(const char* path) {
  ChromiumJson tree;
  std::string problem;
  if (!load_chromium_bookmarks(path, tree, problem)) {
    show_message_line(problem, platform::MessageIcon::error);
    return false;
  }
  walk_chromium_bookmarks(tree, [](const ChromiumJson& node, const std::string& folders) {
    LVK_URL record;
    chromium_record(node, folders, record);
    append_record(record);
  });
  return true;
}
