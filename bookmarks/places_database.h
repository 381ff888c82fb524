// Firefox's bookmark database (places.sqlite): its bookmark tree, read from
// a private copy of the database and its write-ahead log, so that a running
// browser is never disturbed and never sees a lock of ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

// The item kinds of the database ("type" column, the backup's "typeCode").
enum : int { places_bookmark = 1, places_folder = 2, places_separator = 3 };

struct PlacesItem {
  int64_t id = 0;
  int type = 0;
  int64_t date_added = 0;
  int64_t last_modified = 0;
  std::string guid, title, url, tags, keyword, charset;
  std::vector<size_t> children;  // indexes into PlacesTree::items, in position order
};

struct PlacesTree {
  std::vector<PlacesItem> items;  // items[0] is the root of everything
  int64_t largest_id = 0;
};

// The guids of the database's fixed folders.
constexpr char kPlacesRootGuid[] = "root________";
constexpr char kMenuGuid[] = "menu________";
constexpr char kToolbarGuid[] = "toolbar_____";
constexpr char kTagsGuid[] = "tags________";
constexpr char kUnfiledGuid[] = "unfiled_____";
constexpr char kMobileGuid[] = "mobile______";

// True when the file at `path` starts like an SQLite database.
bool is_sqlite_file(const std::string& path);

// Reads the whole tree of the database at `path` (a copy is made beside
// `scratch`, a path whose folder may take temporary files, and removed
// again). False with a reason fit for the user when it cannot be read.
bool read_places_tree(const std::string& path, const std::string& scratch, PlacesTree& tree,
                      std::string& reason);

// The bookmarks that become project records, in record order: the roots'
// content depth first, the tags root left out. Each comes with the folder
// path its record gets. Separators and folders are not records.
struct PlacesLink {
  size_t item;
  std::string folder;
};
std::vector<PlacesLink> places_links(const PlacesTree& tree);

// The project record of a link, built as the bookmark file reader builds it
// from the same bookmarks in a bookmark file: titles carry their "&", "<" and
// ">" as character references, which that reader keeps undecoded.
void make_places_record(const PlacesTree& tree, const PlacesLink& link, LVK_URL& record);
