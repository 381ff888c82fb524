#include "bookmarks/places_reader.h"

#include "bookmarks/places_database.h"
#include "core/globals.h"
#include "core/message.h"
#include "core/project.h"

bool read_places_database(const char* path) {
  PlacesTree tree;
  std::string reason;
  if (!read_places_tree(path, project_path, tree, reason)) {
    show_message_line("Cannot read the Firefox bookmark database: " + reason + ".",
                      platform::MessageIcon::error);
    return false;
  }
  LVK_URL record;
  for (const PlacesLink& link : places_links(tree)) {
    make_places_record(tree, link, record);
    append_record(record);
  }
  return true;
}
