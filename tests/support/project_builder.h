// Project files in tests: records made from a few fields and written as a
// project holds them, and projects made by the real readers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"

// An all-zero record with the given fields.
LVK_URL make_record(const std::string& url, const std::string& path, uint32_t checked = 0,
                    uint32_t action = 0, uint32_t result = 0);

// The header every written bookmark file must begin with, byte for byte.
extern const char kWrittenBookmarkFileHeader[];

// Writes a project file: the header (a zero one with `source`), then the records.
void write_project_bytes(const std::string& file, const ProjectHeader& header,
                         const std::vector<LVK_URL>& records);
void write_project_file(const std::string& file, const std::vector<LVK_URL>& records,
                        const std::string& source = "");

// Reads every whole record of a project file (the header skipped).
std::vector<LVK_URL> read_project_file(const std::string& file);

// Makes a new project from `source` as the wizard does and gives its records,
// each checked to hold its two texts and nothing else (zero after them, zero
// state fields), as many as record_total.
std::vector<LVK_URL> create_project_from(const std::string& source, const std::string& project);

using Link = std::pair<std::string, std::string>;  // URL, relative path
std::vector<Link> links_of(const std::vector<LVK_URL>& records);

// A file or folder of the real collections (read only) in the platform's form.
std::string realworld(const std::string& relative);
