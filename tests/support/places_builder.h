// Firefox bookmark databases for tests, with the browser's own schema, roots
// and guids. The builder keeps its connection open in write-ahead-log mode,
// so everything it adds stays in the "-wal" file, as with a running browser.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct sqlite3;

class PlacesBuilder {
 public:
  // The ids of the roots the builder makes.
  static constexpr int64_t kMenu = 2, kToolbar = 3, kTags = 4, kUnfiled = 5, kMobile = 6;

  explicit PlacesBuilder(const std::string& path);
  ~PlacesBuilder();
  PlacesBuilder(const PlacesBuilder&) = delete;
  PlacesBuilder& operator=(const PlacesBuilder&) = delete;

  int64_t folder(int64_t parent, const std::string& title);
  int64_t bookmark(int64_t parent, const std::string& title, const std::string& url);
  int64_t separator(int64_t parent);
  // A tag on a URL: an entry in the tag's folder below the tags root.
  void tag(const std::string& url, const std::string& name);
  void keyword(const std::string& url, const std::string& word);
  void charset(const std::string& url, const std::string& name);
  // Runs SQL on the open connection; false on an error.
  bool exec(const std::string& sql);
  sqlite3* connection() const { return db_; }
  // The item's guid ("guid" + its id, 12 characters).
  static std::string guid(int64_t id);

 private:
  int64_t item(int64_t parent, int type, const std::string& title, int64_t place);
  int64_t place(const std::string& url);

  sqlite3* db_ = nullptr;
  std::map<std::string, int64_t> places_, tags_;
  std::map<int64_t, int64_t> children_;
  int64_t attribute_ = 0;
  int64_t last_id_ = kMobile;
};
