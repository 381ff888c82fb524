#!/usr/bin/env python3
# Writes the made-up collection the screenshot scripts check: WORK/bookmarks.html
# and, in WORK/site/, the pages a loopback server on port 8765 serves for it.
# Most links answer, some pages are gone (404, which the wizard's project
# fixes) and some sites are down (nothing listens on port 9: quarantined).
# Usage: scripts/demo_bookmarks.py WORK
import os
import sys
work = sys.argv[1]
os.makedirs(work + "/site", exist_ok=True)
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
