// A fresh folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path in the platform's own form, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + separator + relative (relative may use '/' or '\\').
  std::string file(const std::string& relative) const;
  // Writes a file (creating its folders); returns its path.
  std::string write(const std::string& relative, const std::string& content) const;
  // Reads a whole file; empty when missing.
  static std::string read(const std::string& path);
  // The path with every '/' written as '\\', as the program writes paths.
  static std::string backslashed(std::string path);

 private:
  std::string path_;
};
