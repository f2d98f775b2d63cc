#!/usr/bin/env python3
"""Fails when two units (a header and its source) of a folder include each other, directly or
through other units of the folder, or, given the order of its subfolders (rooms) from the top,
when a unit includes one of a room above its own. Prints what it found."""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit_graph(root):
    files = [p for p in root.rglob("*") if p.suffix in (".h", ".cpp")]
    units = {p.stem for p in files}
    rooms = {p.stem: p.parent.relative_to(root).as_posix() for p in files}
    graph = {u: set() for u in units}
    for p in files:
        for name in INCLUDE.findall(p.read_text(encoding="utf-8")):
            target = pathlib.PurePosixPath(name).stem
            if target in units and target != p.stem:
                graph[p.stem].add(target)
    return graph, rooms


def upward_includes(graph, rooms, order):
    rank = {room: i for i, room in enumerate(order)}
    return [f"{u} ({rooms[u]}) includes {v} ({rooms[v]})"
            for u in sorted(graph) for v in sorted(graph[u])
            if rank.get(rooms[v], -1) < rank.get(rooms[u], -1)]


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
    order = sys.argv[2].split(",") if len(sys.argv) > 2 else []
    graph, rooms = unit_graph(root)
    cycle = find_cycle(graph)
    if cycle:
        print("include cycle: " + " -> ".join(cycle))
        return 1
    upward = upward_includes(graph, rooms, order) if order else []
    for line in upward:
        print("include against the order of the rooms: " + line)
    if upward:
        return 1
    print(f"no include cycle among the units of {root}" + (", rooms in order" if order else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
