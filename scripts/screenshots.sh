#!/usr/bin/env bash
# Regenerates the wizard screenshots in docs/screenshots/ (one PNG per page).
#
# Each page of resources/pages/ is rendered by headless Chromium at 1000 pixels
# wide. The "Ready!" (5) and "Results" (8) pages get their statistics table the
# way the wizard fills them: a small program linked with the Linux build makes
# a project over a made-up bookmark file, checks it against a web server on
# loopback inside a network namespace of its own (so no link leaves the
# machine), and puts write_summary's table in place of the page's "%s", once
# before the run and once after it. The running page (7) is shown with its bar
# at 42%. The PNGs are then cut to at most 256 colours (the rare anti-aliasing
# shades take the nearest kept colour) and, when optipng is installed, packed
# further.
#
# Made once by hand, not in CI. Needs: Debian's chromium, python3, g++ and
# what the build needs (scripts/install-deps.sh), unshare and ip, and root or
# unprivileged user namespaces. Optional: optipng. Usage: scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
pages=$root/resources/pages
out=$root/docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/filled" "$work/site"

command -v chromium >/dev/null || { echo "chromium is needed: apt-get install chromium" >&2; exit 1; }
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target lvn_core >/dev/null

# The filler: the project, its check and the two filled pages.
cat >"$work/fill.cpp" <<'EOF'
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "checker/statistics.h"
#include "console/run_progress.h"
#include "core/globals.h"
#include "core/project.h"
#include "core/records.h"

// Copies page `name` from `pages` to `out` with the table of this moment.
static bool fill(const std::string& pages, const std::string& out, const char* name) {
  std::ifstream in(pages + "/" + name, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char table[10000];
  write_summary(table, sizeof table);
  const size_t at = text.find("%s");
  if (at == std::string::npos || table[0] == '\0') return false;
  text.replace(at, 2, table);
  std::ofstream file(out + "/" + name, std::ios::binary);
  return static_cast<bool>(file << text);
}

// bookmark-file project-file pages-folder output-folder
int main(int argc, char** argv) {
  if (argc != 5) return 2;
  copy_field(source_path, sizeof source_path, argv[1]);
  copy_field(project_path, sizeof project_path, argv[2]);
  on_http_error = fix;
  on_no_connection = quarantine;
  threads = 4;
  dead_links_folder = 1;
  dead_links_text = 0;
  if (!create_project(true) || !fill(argv[3], argv[4], "5.htm") || !start_run()) return 1;
  watch_run(stderr);
  while (running_workers.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return fill(argv[3], argv[4], "8.htm") ? 0 : 1;
}
EOF
g++ -std=c++17 -O1 -I"$root" "$work/fill.cpp" build/linux/liblvn_core.a -lcurl -pthread \
  -o "$work/fill"

# A small collection: most links answer, some pages are gone (404, which this
# project fixes) and one site is down (nothing listens on port 9: quarantined).
python3 - "$work" <<'EOF'
import sys
work = sys.argv[1]
folders = {
    "News": ["World", "Science", "Technology", "Weather", "Sport", "Local paper", "Markets"],
    "Recipes": ["Bread", "Soups", "Curry", "Pasta", "Cakes", "Pickles"],
    "Travel": ["Trains", "Maps", "Hostels", "Ferries", "Phrasebook", "Museums", "Visas"],
    "Work": ["Calendar", "Wiki", "Tickets", "Style guide", "Expenses"],
    "Music": ["Radio", "Lyrics", "Tabs", "Concerts", "Vinyl"],
}
gone = {"Weather", "Pickles", "Ferries", "Visas", "Tabs"}
down = {"Local paper", "Hostels", "Concerts"}
lines = ["<DL><p>"]
for folder, names in folders.items():
    lines += ["<DT><H3>%s</H3>" % folder, "<DL><p>"]
    for name in names:
        page = name.lower().replace(" ", "-") + ".html"
        if name in down:
            url = "http://127.0.0.1:9/" + page
        else:
            url = "http://127.0.0.1:8765/" + page
            if name not in gone:
                open("%s/site/%s" % (work, page), "w").write("<p>%s</p>\n" % name)
        lines.append('<DT><A HREF="%s">%s</A>' % (url, name))
    lines.append("</DL><p>")
lines.append("</DL><p>")
open(work + "/bookmarks.html", "w", newline="").write("\r\n".join(lines) + "\r\n")
EOF

# The check, with loopback as the only network.
isolate=(unshare -n)
[ "$(id -u)" -ne 0 ] && isolate=(unshare -rn)
WORK=$work PAGES=$pages "${isolate[@]}" bash -c '
  set -euo pipefail
  ip link set lo up
  python3 -m http.server 8765 --bind 127.0.0.1 --directory "$WORK/site" >/dev/null 2>&1 &
  server=$!
  trap "kill $server" EXIT
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection((\"127.0.0.1\", 8765), 1)" 2>/dev/null && break
    sleep 0.1
  done
  "$WORK/fill" "$WORK/bookmarks.html" "$WORK/demo.lvn" "$PAGES" "$WORK/filled"
'

# The running page with its bar part way.
sed 's/style.visibility = "visible";/&\n  setCount(42);/' "$pages/7.htm" >"$work/filled/7.htm"
grep -q 'setCount(42);' "$work/filled/7.htm"

# page, height: the tall page gets a taller window so that nothing is cut off.
# cgi.htm is left out: it is the blank target of the forms.
shots=(1:760 2:760 3:920 4:760 5:760 7:760 8:760 9:760 i1:760 help:760 eula:760)
for shot in "${shots[@]}"; do
  page=${shot%%:*}
  height=${shot##*:}
  source=$pages/$page.htm
  [ -f "$work/filled/$page.htm" ] && source=$work/filled/$page.htm
  chromium --headless --no-sandbox --hide-scrollbars --user-data-dir="$work/chromium" \
    --window-size=1000,"$height" --screenshot="$out/$page.png" "file://$source" >/dev/null 2>&1
done

# At most 256 colours: the most frequent ones are kept, every other pixel takes
# the nearest kept colour; then a paletted PNG, packed with zlib at level 9.
python3 - "$out"/*.png <<'EOF'
import struct, sys, zlib
from collections import Counter

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

def rows_of(data):
    pos, idat = 8, b""
    while pos < len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        pos += 12 + size
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    if depth != 8 or colour not in (2, 6) or interlace:
        return None
    bpp = 3 if colour == 2 else 4
    raw, stride = zlib.decompress(idat), width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + ((a + b) >> 1)) & 255
            elif kind == 4:
                c = prev[x - bpp] if x >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([bytes(line[x:x + 3]) for x in range(0, stride, bpp)])
        prev = line
    return width, height, rows

for path in sys.argv[1:]:
    decoded = rows_of(open(path, "rb").read())
    if decoded is None:
        continue
    width, height, rows = decoded
    counts = Counter(pixel for row in rows for pixel in row)
    palette = [pixel for pixel, _ in counts.most_common(256)]
    index = {pixel: i for i, pixel in enumerate(palette)}
    for pixel in counts:
        if pixel not in index:
            index[pixel] = min(range(len(palette)), key=lambda i: sum(
                (p - q) ** 2 for p, q in zip(pixel, palette[i])))
    raw = b"".join(b"\0" + bytes(index[pixel] for pixel in row) for row in rows)
    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n")
        png.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)))
        png.write(chunk(b"PLTE", b"".join(palette)))
        png.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        png.write(chunk(b"IEND", b""))
EOF
if command -v optipng >/dev/null; then optipng -quiet -o7 -strip all "$out"/*.png; fi
ls -l "$out"
