// The "Bookmarks" file of Chromium browsers (Chrome, Edge, Chromium, Brave,
// Vivaldi): a JSON tree under "roots". Reading it into a project, and the
// pieces that writing it back shares: the walk over its bookmarks in the
// browser's order, the record each bookmark makes, and the checksum.
#pragma once

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/records.h"

// Keeps the order of every object's keys, so a file written back differs
// from the one read only where bookmarks changed.
using ChromiumJson = nlohmann::ordered_json;

// The roots whose bookmarks a project holds, in the browser's order.
constexpr const char* kChromiumRoots[] = {"bookmark_bar", "other", "synced"};

// The text of a Chromium bookmarks file: '{' after any white space, and a
// "roots" key.
bool looks_like_chromium_bookmarks(const std::string& text);
// The same test on a file's content.
bool is_chromium_bookmarks_file(const char* path);

// True for JSON text nested deeper than the browsers read (and this reader,
// which keeps every walk over a tree shallow).
bool chromium_nesting_too_deep(const std::string& text);

// Reads and parses a bookmarks file. False, with the message for the user in
// `problem`, when it cannot be read or is not a bookmarks tree.
bool load_chromium_bookmarks(const std::string& path, ChromiumJson& tree, std::string& problem);

// Calls `visit` for every bookmark (URL node), depth first through the roots
// "bookmark_bar", "other" and "synced" in that order, with the folder path
// that the bookmark-file reader would give it: each root's own name is its
// top folder.
using ChromiumVisit = std::function<void(const ChromiumJson& node, const std::string& folders)>;
void walk_chromium_bookmarks(const ChromiumJson& tree, const ChromiumVisit& visit);

// The pending project record of one bookmark.
void chromium_record(const ChromiumJson& node, const std::string& folders, LVK_URL& record);

// The checksum the browser keeps in the file: MD5 over each node's id, its
// title as UTF-16LE, "url" and its URL, or "folder" and then its children.
std::string chromium_checksum(const ChromiumJson& tree);

// True for an object node whose "type" is `type` ("url" or "folder").
bool chromium_is(const ChromiumJson& node, const char* type);

// A node's string field; empty when it is missing or not a string.
std::string chromium_text(const ChromiumJson& node, const char* key);

// Appends one record per bookmark to project_stream. False, with the reason
// shown, when the file cannot be read; then nothing is appended.
bool read_chromium_bookmarks(const char* path);
