// Where the program's maker can be reached: the web site with its download,
// donation and forum pages, the bug-report address and the update server.
#pragma once

constexpr char kMakerSiteName[] = "www.example.com";
constexpr char kMakerSite[] = "http://www.example.com";
constexpr char kMakerBugAddress[] = "bugs@example.com";
constexpr char kMakerUpdateServer[] = "updates.example.com";
