// Building project files in tests: records made from a few fields, written
// as a header and 2012-byte records exactly as a project holds them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

// An all-zero record with the given fields.
LVK_URL make_record(const std::string& url, const std::string& path, uint32_t checked = 0,
                    uint32_t action = 0, uint32_t result = 0);

// The header every written bookmark file must begin with, byte for byte.
extern const char kWrittenBookmarkFileHeader[];

// Writes a project file: the header, then the records.
void write_project_bytes(const std::string& file, const ProjectHeader& header,
                         const std::vector<LVK_URL>& records);

// Writes a project file with a zero header (source as given) and the records.
void write_project_file(const std::string& file, const std::vector<LVK_URL>& records,
                        const std::string& source = "");

// Replaces the records of an existing project file, keeping its header.
void replace_project_records(const std::string& file, const std::vector<LVK_URL>& records);

// Reads every whole record of a project file (the header skipped).
std::vector<LVK_URL> read_project_file(const std::string& file);
