#!/usr/bin/env python3
"""Every link of README.md and docs/*.md leads somewhere.

A link to a file of the tree (a page, a manual, a source) must name a file or folder that
exists, relative to the page that links; a link to a heading (#anchor, alone or after a page)
must name a heading of that page, as the forge makes anchors of headings. Links to the web are
not followed. Usage: links.py SOURCE-DIR
"""
import os
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")


def anchor(heading):
    """The anchor a heading gets: lower case, punctuation dropped, spaces turned to hyphens."""
    text = heading.strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def prose(path):
    """The page's lines outside fenced code blocks, each with its number."""
    lines, fenced = [], False
    with open(path, encoding="utf-8") as page:
        for number, line in enumerate(page, 1):
            if line.lstrip().startswith("```"):
                fenced = not fenced
            elif not fenced:
                lines.append((number, line.rstrip("\n")))
    return lines


def anchors(path):
    """Every anchor the headings of a Markdown page give."""
    found = set()
    for _, line in prose(path):
        match = HEADING.match(line)
        if match:
            found.add(anchor(match.group(1)))
    return found


def broken_links(top, page):
    """Each link of PAGE that leads nowhere, as 'PAGE:LINE: TARGET: why'."""
    broken = []
    here = os.path.dirname(page)
    for number, line in prose(page):
        for target in LINK.findall(line):
            if re.match(r"^[a-z]+:", target):
                continue
            path, _, name = target.partition("#")
            file = os.path.normpath(os.path.join(here, path)) if path else page
            where = f"{os.path.relpath(page, top)}:{number}: {target}"
            if not os.path.exists(file):
                broken.append(f"{where}: no such file")
            elif name and not file.endswith(".md"):
                broken.append(f"{where}: an anchor in a page that is not Markdown")
            elif name and name not in anchors(file):
                broken.append(f"{where}: no such heading in {os.path.relpath(file, top)}")
    return broken


def main():
    top = os.path.abspath(sys.argv[1])
    docs = os.path.join(top, "docs")
    pages = [os.path.join(top, "README.md")]
    pages += sorted(os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    broken = [line for page in pages for line in broken_links(top, page)]
    for line in broken:
        print(line)
    print(f"{len(pages)} pages, {len(broken)} broken link(s)")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
