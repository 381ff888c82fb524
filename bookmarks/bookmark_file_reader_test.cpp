// The bookmark file reader, held against a plain scan that searches afresh at
// every step. Its stress cases are in favorites_reader_test.cpp.
#include "bookmarks/bookmark_file_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/globals.h"
#include "tests/support/project_builder.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<Link> read_text(const std::string& text, const TempDir& work = TempDir()) {
  return links_of(create_project_from(work.write("scan.htm", text), work.file("scan.lvn")));
}

// The scan written plainly. Values are cut as the reader cuts them: URLs and
// folder names to 999 characters, a relative path longer than 999 to its
// first 995 characters and ".URL".
std::vector<Link> plain_scan(std::string text) {
  constexpr size_t npos = std::string::npos;
  text = text.substr(0, text.find('\0'));
  std::vector<Link> out;
  std::string folder;
  for (size_t position = 0;;) {
    const size_t dt = text.find("<DT>", position), dl = text.find("</DL>", position);
    if (dt != npos && dl < dt) {
      if (!folder.empty() && folder.back() == '\\') folder.pop_back();
      const size_t cut = folder.rfind('\\');
      folder.resize(cut == npos ? 0 : cut);
      position = dl + 1;
      continue;
    }
    if (dt == npos) break;
    const size_t entry = dt + 4;
    const bool link = entry + 1 < text.size() && text[entry] == '<' && (text[entry + 1] | 0x20) == 'a';
    const size_t href = link ? text.find("HREF=", entry) : npos;
    const size_t from = !link ? entry : href == npos ? npos : text.find('"', href + 6);
    const size_t gt = from == npos ? npos : text.find('>', from);
    const size_t lt = gt == npos ? npos : text.find('<', gt + 1);
    if (lt == npos) {
      position = dt + 1;
      continue;
    }
    std::string name = text.substr(gt + 1, lt - gt - 1);
    if (link) {
      for (char& c : name)
        if (std::strchr("?*/:\"><|", c)) c = '_';
      std::string path = folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
      if (path.size() + 4 > 999) path.resize(995);
      out.push_back({text.substr(href + 6, std::min<size_t>(from - href - 6, 999)), path + ".URL"});
    } else {
      if (!folder.empty() && folder.back() != '\\') folder += '\\';
      folder += name.substr(0, 999);
    }
    position = lt;
  }
  return out;
}

// An empty text, a missing file and a folder give no records.
TEST(BookmarkFileReader, NoTextNoRecords) {
  TempDir work;
  EXPECT_TRUE(read_text("", work).empty());
  record_total = 0;
  for (const std::string& path : {work.file("missing.htm"), work.path()}) read_bookmark_file(path.c_str());
  EXPECT_EQ(record_total, 0u);
}

// Many small files of the markers (in both cases, with a blank after <DT>, a
// missing quote) and the characters that matter, some long enough to be cut.
TEST(BookmarkFileReader, MatchesThePlainScanOnGeneratedFiles) {
  const std::string pieces[] = {"<DT>", "</DL>", "<DL><p>", "<A ", "<a ", "HREF=\"", "href=\"", "\"", ">", "<",
                                "<H3>", "</H3>", "</A>", "x", "Name", "\\", "/", ":", "?", " ", "\n", "<DT><A HREF=\"",
                                "<DT><H3>", "</DL", "<D", "<dt>", "</dl>", std::string(1, '\0'), std::string(300, 'L'),
                                "<DT> <A HREF=\"", "HREF=", "*|"};
  std::mt19937 random(20240613);
  TempDir work;
  for (int round = 0; round < 600; ++round) {
    std::string text;
    for (int i = static_cast<int>(random() % 60); i > 0; --i) text += pieces[random() % std::size(pieces)];
    ASSERT_EQ(read_text(text, work), plain_scan(text)) << "round " << round;
  }
}

// The digests (64-bit FNV-1a of every record byte) were worked out apart
// from this program, by a plain scan in another language: the same file
// gives the same project bytes on every platform.
TEST(BookmarkFileReader, RealBrowserExportsMatchThePlainScan) {
  const struct {
    const char* name;
    uint64_t digest;
  } files[] = {
      {"graystuido__chrome_bookmarklets.html", 0x3af7059e4503947eull},
      {"gtkbookmark__netscape4_bookmark.htm", 0x33c0e77bc3bff179ull},
      {"kafene__chromium_nested.htm", 0x9e750c406c6d488dull},
      {"kafene__delicious.htm", 0xd8f3d242bff055caull},
      {"kafene__firefox_flat.htm", 0x16e717529216bb09ull},
      {"kafene__internet_explorer_11_nested.htm", 0x6787262acd291695ull},
      {"kafene__shaarli.htm", 0x37eca75ff0d9086bull},
      {"virtualtam__safari_folded.htm", 0xdaf7aebcbdd85d10ull},
      {"xia1990__ie_family_bookmark.htm", 0xac995fb801f77b3eull},
  };
  TempDir work;
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = realworld(std::string("html/") + f.name);
    const std::vector<Link> got = links_of(create_project_from(path, work.file("real.lvn")));
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : TempDir::read(work.file("real.lvn")).substr(kHeaderSize))
      hash = (hash ^ c) * 0x100000001b3ull;
    EXPECT_EQ(hash, f.digest);
    EXPECT_EQ(got, plain_scan(TempDir::read(path)));
  }
}

}  // namespace
