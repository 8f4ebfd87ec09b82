#!/usr/bin/env python3
"""No include cycle between units under platform/.

A unit is a header and its source (a.h and a.cpp). Unit A depends on unit B when either file of A
includes B's header. A cycle (A needs B, B needs A, through any path) means neither can be read,
tested or moved without the other; each is reported with the units it runs through.
Usage: check-cycles.py SOURCE_DIR
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def units(root, top):
    deps = {}
    for folder, _, files in os.walk(os.path.join(root, top)):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(folder, name), root)
            unit = path.rsplit(".", 1)[0]
            needs = deps.setdefault(unit, set())
            with open(os.path.join(root, path), errors="replace") as f:
                for line in f:
                    m = INCLUDE.match(line)
                    if m and m.group(1).rsplit(".", 1)[0] != unit:
                        needs.add(m.group(1).rsplit(".", 1)[0])
    return {u: {d for d in ds if d in deps} for u, ds in deps.items()}


def cycles(deps):
    """Strongly connected components of more than one unit (Tarjan, without recursion)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(deps):
        if start in index:
            continue
        work = [(start, iter(sorted(deps[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            child = next(children, None)
            if child is not None:
                if child not in index:
                    index[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(deps[child]))))
                elif child in on_stack:
                    low[node] = min(low[node], index[child])
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    u = stack.pop()
                    on_stack.discard(u)
                    component.append(u)
                    if u == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    found = cycles(units(root, "platform"))
    for component in found:
        print("include cycle between units: " + " <-> ".join(component), file=sys.stderr)
    if found:
        print("FAILED: %d include cycle(s) under platform/" % len(found), file=sys.stderr)
        return 1
    print("include cycles: none between the units under platform/")
    return 0


if __name__ == "__main__":
    sys.exit(main())
