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
mkdir -p "$out" "$work/filled"

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
  -lsqlite3 -ldl -o "$work/fill"

# The collection, checked with loopback as the only network.
scripts/demo_bookmarks.py "$work"
scripts/with_demo_site.sh "$work/site" \
  "$work/fill" "$work/bookmarks.html" "$work/demo.lvn" "$pages" "$work/filled"

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

# At most 256 colours, then packed further when optipng is there.
scripts/png_palette.py "$out"/*.png
if command -v optipng >/dev/null; then optipng -quiet -o7 -strip all "$out"/*.png; fi
ls -l "$out"
