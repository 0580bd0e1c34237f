#!/usr/bin/env python3
"""The includes between the program's modules, read from the sources.

  tools/includes.py --check [ROOT]    exit 1, naming each line, when engine/ or
                                      toon/ includes a header of a subsystem
                                      above it
  tools/includes.py --picture [ROOT]  write the picture of the modules into
                                      docs/architecture.md, between its markers

ROOT is the source tree (default: this script's parent folder).
"""
import os
import re
import sys

SUBSYSTEMS = ["host", "show", "editor", "engine", "toon"]
# What each lower subsystem must never include: everything above it.
FORBIDDEN = {
    "engine": {"host", "show", "editor"},
    "toon": {"host", "show", "editor", "engine"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')
BEGIN = "<!-- includes: begin -->"
END = "<!-- includes: end -->"


def sources(root):
    for folder in SUBSYSTEMS:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith((".cpp", ".h")):
                yield folder + "/" + name


def included(root, source):
    """(line number, header as a root-relative path) for each include of a
    header that lies in the tree; a name is looked up beside the including
    file first, as the compiler does for quoted includes."""
    here = os.path.dirname(source)
    with open(os.path.join(root, source), encoding="latin-1") as text:
        for number, line in enumerate(text, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            for base in (here, ""):
                candidate = os.path.normpath(os.path.join(base, match.group(1))).replace(os.sep, "/")
                if os.path.isfile(os.path.join(root, candidate)):
                    yield number, candidate
                    break


def subsystem(path):
    return path.split("/", 1)[0]


def module(path):
    return os.path.splitext(path)[0]


def check(root):
    faults = []
    for source in sources(root):
        banned = FORBIDDEN.get(subsystem(source), set())
        for number, header in included(root, source):
            if subsystem(header) in banned:
                faults.append("%s:%d includes %s" % (source, number, header))
    for fault in faults:
        print(fault)
    if faults:
        for lower, banned in sorted(FORBIDDEN.items()):
            print("%s/ must not include from %s" % (lower, ", ".join(b + "/" for b in sorted(banned))))
    return 1 if faults else 0


def edges(root):
    found = set()
    for source in sources(root):
        for _, header in included(root, source):
            if subsystem(header) in SUBSYSTEMS and module(header) != module(source):
                found.add((module(source), module(header)))
    return sorted(found)


def picture(root):
    links = edges(root)
    modules = sorted({m for link in links for m in link} | {module(s) for s in sources(root)})
    lines = ["```mermaid", "flowchart TB"]
    for folder in SUBSYSTEMS:
        members = [m for m in modules if subsystem(m) == folder]
        if not members:
            continue
        lines.append("  subgraph %s" % folder)
        for m in members:
            lines.append('    %s["%s"]' % (m.replace("/", "_"), m.split("/")[1]))
        lines.append("  end")
    for source, header in links:
        if subsystem(source) != subsystem(header):
            lines.append("  %s --> %s" % (source.replace("/", "_"), header.replace("/", "_")))
    lines.append("```")
    counts = {}
    for source, header in links:
        key = (subsystem(source), subsystem(header))
        if key[0] != key[1]:
            counts[key] = counts.get(key, 0) + 1
    lines.append("")
    lines.append("| modules of | include modules of | how many |")
    lines.append("|---|---|---|")
    for (source, header), count in sorted(counts.items(), key=lambda item: (
            SUBSYSTEMS.index(item[0][0]), SUBSYSTEMS.index(item[0][1]))):
        lines.append("| %s | %s | %d |" % (source, header, count))
    return "\n".join(lines)


def write_picture(root):
    path = os.path.join(root, "docs", "architecture.md")
    with open(path, encoding="utf-8") as text:
        page = text.read()
    start, stop = page.find(BEGIN), page.find(END)
    if start < 0 or stop < start:
        print("%s has no %s ... %s markers" % (path, BEGIN, END))
        return 1
    page = page[:start + len(BEGIN)] + "\n" + picture(root) + "\n" + page[stop:]
    with open(path, "w", encoding="utf-8") as text:
        text.write(page)
    return 0


def main(arguments):
    if not arguments or arguments[0] not in ("--check", "--picture") or len(arguments) > 2:
        print(__doc__.strip())
        return 2
    root = arguments[1] if len(arguments) == 2 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    return check(root) if arguments[0] == "--check" else write_picture(root)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
