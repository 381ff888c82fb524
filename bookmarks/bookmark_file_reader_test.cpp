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

// The rules that the real exports do not show.
TEST(BookmarkFileReader, MarkerScanCases) {
  using namespace std::string_literals;
  const std::string u999(999, 'u'), t995(995, 't');
  const struct {
    const char* what;
    std::string text;
    std::vector<Link> want;
  } cases[] = {
      {"the <A test ignores case, the other markers do not",
       "<DT><a HREF=\"u1\">lower a</a><dt><A HREF=\"u2\">lower dt</A>", {{"u1", "lower a.URL"}}},
      {"lower-case href runs on to the next link's HREF=, over folders; </dl> closes nothing",
       "<DT><H3>F</H3><DL><DT><A href=\"skipped\">Skipped</A>\n<DT><H3>Passed over</H3><DL>\n"
       "<DT><A HREF=\"taken\">Taken</A></dl><DT><A HREF=\"after\">After</A>",
       {{"taken", "F\\Taken.URL"}, {"after", "F\\After.URL"}}},
      {"a space after <DT> makes a heading of the link's text",
       "<DL><DT> <A HREF=\"x\">X</A><DT><A HREF=\"y\">Y</A></DL><DT><A HREF=\"z\">Z</A>",
       {{"y", "X\\Y.URL"}, {"z", "Z.URL"}}},
      {"reserved characters, an assumed quote, a title ending at the first <",
       "<DT><A HREF=xu\">1?2*3/4:5\"6|7\\8<b>c</A>", {{"u", "1_2_3_4_5_6_7\\8.URL"}}},
      {"an empty folder name opens a level that a </DL> closes with its parent",
       "<DT><H3 HREF=\"no\">P</H3><DL><DT><H3></H3><DL><DT><A HREF=\"u1\">In</A></DL><DT><A HREF=\"u2\">Out</A></DL>",
       {{"u1", "P\\In.URL"}, {"u2", "Out.URL"}}},
      {"a heading without its own '>' takes the next <DT>'s, and an empty name",
       "<DT><H3 no end<DT><H3>G</H3><DL><DT><A HREF=\"u\">T</A>", {{"u", "T.URL"}}},
      {"a NUL byte ends the text, and an entry it cuts is not taken",
       "<DT><H3>F</H3><DL><DT><A HREF=\"u1\">One</A></DL><DT><A HREF=\"u\">T\0</A>"s, {{"u1", "F\\One.URL"}}},
      // Every value is held in 1000 bytes; the ".URL" always ends a path.
      {"URL of 999 and 1000", "<DT><A HREF=\"" + u999 + "\">T</A><DT><A HREF=\"" + u999 + "u\">T</A>",
       {{u999, "T.URL"}, {u999, "T.URL"}}},
      {"title filling the path and one longer", "<DT><A HREF=\"u\">" + t995 + "</A><DT><A HREF=\"u\">" + t995 + "t</A>",
       {{"u", t995 + ".URL"}, {"u", t995 + ".URL"}}},
      {"folder and title share the path",
       "<DT><H3>" + std::string(500, 'f') + "</H3><DL><DT><A HREF=\"u\">" + t995 + "</A></DL>",
       {{"u", std::string(500, 'f') + "\\" + std::string(494, 't') + ".URL"}}},
  };
  TempDir work;
  for (const auto& c : cases) {
    EXPECT_EQ(read_text(c.text, work), c.want) << c.what;
    EXPECT_EQ(plain_scan(c.text), c.want) << c.what;
  }
  EXPECT_TRUE(read_text("", work).empty());
  // A missing file and a folder are no bookmark files.
  record_total = 0;
  for (const std::string& path : {work.file("missing.htm"), work.path()}) read_bookmark_file(path.c_str());
  EXPECT_EQ(record_total, 0u);
}

// Many small files of the markers (in both cases) and the characters that
// matter, some long enough to be cut.
TEST(BookmarkFileReader, MatchesThePlainScanOnGeneratedFiles) {
  const std::string pieces[] = {"<DT>", "</DL>", "<DL><p>", "<A ", "<a ", "HREF=\"", "href=\"", "\"", ">", "<",
                                "<H3>", "</H3>", "</A>", "x", "Name", "\\", "/", ":", "?", " ", "\n", "<DT><A HREF=\"",
                                "<DT><H3>", "</DL", "<D", "<dt>", "</dl>", std::string(1, '\0'), std::string(300, 'L')};
  std::mt19937 random(20240613);
  TempDir work;
  for (int round = 0; round < 600; ++round) {
    std::string text;
    for (int i = static_cast<int>(random() % 60); i > 0; --i) text += pieces[random() % std::size(pieces)];
    ASSERT_EQ(read_text(text, work), plain_scan(text)) << "round " << round;
  }
}

// The counts and digests (64-bit FNV-1a of every record byte) were worked out
// apart from this program, by a plain scan in another language: the same file
// gives the same project bytes on every platform.
TEST(BookmarkFileReader, RealBrowserExportsMatchThePlainScan) {
  const struct {
    const char* name;
    size_t count;
    uint64_t digest;
  } files[] = {
      {"graystuido__chrome_bookmarklets.html", 49, 0x3af7059e4503947eull},
      {"gtkbookmark__netscape4_bookmark.htm", 1231, 0x33c0e77bc3bff179ull},
      {"kafene__chromium_nested.htm", 18, 0x9e750c406c6d488dull},
      {"kafene__delicious.htm", 5, 0xd8f3d242bff055caull},
      {"kafene__firefox_flat.htm", 24, 0x16e717529216bb09ull},
      {"kafene__internet_explorer_11_nested.htm", 27, 0x6787262acd291695ull},
      {"kafene__shaarli.htm", 6, 0x37eca75ff0d9086bull},
      {"virtualtam__safari_folded.htm", 3, 0xdaf7aebcbdd85d10ull},
      {"xia1990__ie_family_bookmark.htm", 13, 0xac995fb801f77b3eull},
  };
  TempDir work;
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string path = realworld(std::string("html/") + f.name);
    const std::vector<Link> got = links_of(create_project_from(path, work.file("real.lvn")));
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : TempDir::read(work.file("real.lvn")).substr(kHeaderSize))
      hash = (hash ^ c) * 0x100000001b3ull;
    EXPECT_EQ(got.size(), f.count);
    EXPECT_EQ(hash, f.digest);
    EXPECT_EQ(got, plain_scan(TempDir::read(path)));
  }
}

}  // namespace
