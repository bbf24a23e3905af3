#!/usr/bin/env python3
"""The include rules of the product's rooms, checked over the source tree.

check_includes.py ROOT: no file under png/rows/ includes anything under
png/read/ (the rows' room reads from a row source, never from the reader),
and the includes inside png/ and inside winlayer/ form no circle. Prints
each violation and exits 1 when there is any, 0 otherwise.
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
ROOMS = ("png", "winlayer")
SOURCES = (".h", ".cpp")


def includes_of(root, rel):
    text = (root / rel).read_text(encoding="utf-8", errors="replace")
    return [name for name in INCLUDE.findall(text) if (root / name).is_file()]


def find_circle(graph):
    """One circle of the graph as a list of files, or None."""
    state = {}  # 1: on the current path, 2: done
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for nxt in graph.get(node, ()):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        path.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    if len(sys.argv) != 2:
        print("usage: check_includes.py ROOT", file=sys.stderr)
        return 2
    root = pathlib.Path(sys.argv[1])
    problems = []
    for room in ROOMS:
        files = sorted(p.relative_to(root).as_posix() for p in (root / room).rglob("*")
                       if p.suffix in SOURCES)
        if not files:
            problems.append(f"{room}/: no sources found under {root}")
            continue
        graph = {}
        for rel in files:
            # Only includes inside the room make its circles.
            graph[rel] = [n for n in includes_of(root, rel) if n.startswith(room + "/")]
            if rel.startswith("png/rows/"):
                for name in includes_of(root, rel):
                    if name.startswith("png/read/"):
                        problems.append(f"{rel} includes {name}: png/rows/ may not include png/read/")
        circle = find_circle(graph)
        if circle:
            problems.append(f"a circle of includes in {room}/: " + " -> ".join(circle))
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("includes: png/rows/ includes nothing of png/read/; no circle in png/ or winlayer/")
    return 0


if __name__ == "__main__":
    sys.exit(main())
