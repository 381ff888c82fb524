// The statistics of the current project: counts of its records by state,
// as a short text for the console or as an HTML table for the wizard pages.
#pragma once

#include <cstddef>

// Counts the records of the project named by project_path and prints the
// counts (total, checked, quarantined, fixed, and the header's threads) into
// `buffer`, never more than `size` bytes with the terminator. Text form when
// console_mode is set, else the HTML table. Sets record_total to the count.
// When the project cannot be opened the text is empty and record_total keeps
// its value.
void write_summary(char* buffer, size_t size);
