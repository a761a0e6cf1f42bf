#!/usr/bin/env python3
"""Fails when a file includes a header its layer must not see.

A file belongs to the layer of the longest path in OWNERS that starts its
path. A layer may include its own headers and those of the layers it lists in
MAY_INCLUDE; the libraries the platform wraps (SYSTEM) only where they are
used. Tests, benchmarks and fuzz targets sit outside the layers and may
include anything. cmake/README.md explains the layers.

Usage: check_layers.py [ROOT]   (default: the repository this script is in)
"""
import pathlib
import re
import sys

# Path (a folder ends in "/") -> layer.
OWNERS = {
    "include/": "kit",
    "kvSys/": "kit",
    "kvImage/": "kit",
    "kvf3D/": "kit",
    "platform/win/": "win",
    # The host interface belongs to the stand-ins, which ask it of the machine;
    # the hosts implement it.
    "platform/host/host.h": "win",
    "platform/host/host.cpp": "win",
    "platform/host/host_window.cpp": "win",
    "platform/ddraw/": "ddraw",
    "platform/d3d/": "d3d",
    "platform/raster/": "raster",
    "platform/gl/": "gl",
    "platform/host/headless/": "headless host",
    "platform/host/png.": "headless host",
    "platform/host/sdl/": "sdl host",
    "platform/launcher/": "launcher",
    "demo/": "program",
    "examples/": "program",
    "tools/": "tool",
}

# Layer -> the other layers it may include. The arrows point down only.
MAY_INCLUDE = {
    "raster": set(),
    "win": set(),
    "ddraw": {"win"},
    "d3d": {"ddraw", "win", "raster"},
    "kit": {"d3d", "ddraw", "win"},
    "headless host": {"d3d", "ddraw", "win"},
    "sdl host": {"d3d", "ddraw", "win"},
    # The hardware device: a product of the Direct3D stand-in's device list.
    "gl": {"d3d", "ddraw", "win", "raster"},
    # The launcher chooses a host, then calls the kit's entry point.
    # It also hears from the Direct3D stand-in which device is in use.
    "launcher": {"headless host", "sdl host", "gl", "kit", "d3d", "win"},
    # A program speaks the kit's API and states its facts to the launcher.
    "program": {"kit", "launcher"},
    # kvinfo and kvconv run the kit on the headless host and print its log;
    # kvview is a program and states its facts to the launcher.
    "tool": {"kit", "headless host", "win", "launcher"},
}

# System header (start of its name) -> the layers that may include it.
SYSTEM = {
    "SDL": {"sdl host"},
    "imgui": {"sdl host"},
    "X11/": {"sdl host"},
    "GL/": {"gl", "sdl host"},
    "EGL/": {"gl"},
    "iconv.h": {"win"},
    "zlib.h": {"headless host"},
}

SOURCES = ("*.h", "*.hpp", "*.c", "*.cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def owner(path):
    """The layer of a path from the root, or None outside the layers."""
    best = max((p for p in OWNERS if path.startswith(p)), key=len, default=None)
    return OWNERS[best] if best else None


def violations(root):
    root = pathlib.Path(root)
    found = []
    tops = sorted({p.split("/")[0] for p in OWNERS})
    files = sorted(f for top in tops for pattern in SOURCES for f in (root / top).rglob(pattern))
    for file in files:
        path = file.relative_to(root).as_posix()
        layer = owner(path)
        if layer is None:
            continue
        lines = file.read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quoted, name = match.group(1) == '"', match.group(2)
            target = None
            if quoted:
                # As the compiler looks: beside the file, then from the root,
                # include/ (the kit's public header) and tools/ (the tools'
                # shared sources).
                for base in (file.parent, root, root / "include", root / "tools"):
                    if (base / name).is_file():
                        target = (base / name).resolve().relative_to(root.resolve()).as_posix()
                        break
            if target is not None:
                other = owner(target)
                if other not in (None, layer) and other not in MAY_INCLUDE[layer]:
                    found.append(f"{path}:{number}: the {layer} layer must not include "
                                 f"{target} (the {other} layer)")
                continue
            for prefix, users in SYSTEM.items():
                if name.startswith(prefix) and layer not in users:
                    found.append(f"{path}:{number}: the {layer} layer must not include "
                                 f"<{name}> (only {', '.join(sorted(users))})")
    return found


def main(argv):
    root = argv[1] if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) cross the layers (cmake/README.md says which may)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
