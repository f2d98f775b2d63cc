#!/usr/bin/env python3
"""Fails when two units (a header and its source) of a folder include each other,
directly or through other units of the folder. Prints each cycle found."""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit_graph(root):
    files = [p for p in root.rglob("*") if p.suffix in (".h", ".cpp")]
    units = {p.stem for p in files}
    graph = {u: set() for u in units}
    for p in files:
        for name in INCLUDE.findall(p.read_text(encoding="utf-8")):
            target = pathlib.PurePosixPath(name).stem
            if target in units and target != p.stem:
                graph[p.stem].add(target)
    return graph


def find_cycle(graph):
    state = {}

    def visit(u, path):
        state[u] = 1
        for v in sorted(graph[u]):
            if state.get(v) == 1:
                return path[path.index(v):] + [v]
            if v not in state:
                found = visit(v, path + [v])
                if found:
                    return found
        state[u] = 2
        return None

    for u in sorted(graph):
        if u not in state:
            found = visit(u, [u])
            if found:
                return found
    return None


def main():
    root = pathlib.Path(sys.argv[1])
    cycle = find_cycle(unit_graph(root))
    if cycle:
        print("include cycle: " + " -> ".join(cycle))
        return 1
    print(f"no include cycle among the units of {root}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
