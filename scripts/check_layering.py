#!/usr/bin/env python3
"""Fails on an include that goes up the layers.

    scripts/check_layering.py [source root]
    scripts/check_layering.py --allowed <folder>...

The second form prints, one per line, the folders that files in the given
folders may include (their own included). The build makes each library's
include folder of exactly these, so the compiler refuses what this script
reports, and the table below stays the one place the layering is written.

Every source folder is listed in LAYERS with the folders its files may
include (a folder may always include itself and its sub folders). A file in
a folder that no rule covers is an error too, so a new top-level folder
gets its line here before it can build. Of the product's code only the
toolkit backends of the skin library may include GTK or WebKit, and only
tests and benchmarks include the skin library's test probes.

Exits 0 when every include points down, 1 with one line per offence.
"""

import os
import re
import sys

RUNTIME = ["runtime"]

# folder -> folders it may include. The longest matching folder decides.
# To add a folder: one line, naming what it sits on.
LAYERS = {
    # The runtime, bottom up.
    "runtime/platform": [],
    "runtime/util": ["runtime/platform"],
    "runtime/logmaker": ["runtime/platform", "runtime/util"],
    "runtime/base": ["runtime/platform", "runtime/util", "runtime/logmaker"],
    "runtime/io": ["runtime/platform", "runtime/util", "runtime/logmaker", "runtime/base"],
    "runtime/net": ["runtime/platform", "runtime/util", "runtime/logmaker", "runtime/base", "runtime/io"],
    "runtime/http": ["runtime/platform", "runtime/util", "runtime/logmaker", "runtime/base"],
    # The main client.
    "client/core": RUNTIME,
    "client/web": RUNTIME + ["client/core"],
    "client/video": RUNTIME + ["client/core"],
    "client/app": RUNTIME + ["client/core"],
    # The windows show what the web logic and the core hold; the video chat
    # and the application object reach them only through client/host.
    "client/ui": RUNTIME + ["client/core", "client/web", "uilib"],
    "client/host": RUNTIME + ["client", "uilib"],
    # The skin library sits on the runtime only. Inside it the window-system
    # emulation is the floor, painting stands on it, the control model on
    # both, and the skin builder on the controls; the backends implement
    # the window system's backend interface and see nothing above it; the
    # test probes may reach everything (uilib/README.md draws the map).
    "uilib": RUNTIME,
    "uilib/winsys": RUNTIME,
    "uilib/paint": RUNTIME + ["uilib/winsys"],
    "uilib/controls": RUNTIME + ["uilib/winsys", "uilib/paint"],
    "uilib/builder": RUNTIME + ["uilib/winsys", "uilib/paint", "uilib/controls"],
    "uilib/backend": RUNTIME + ["uilib/winsys"],
    "uilib/testing": RUNTIME + ["uilib"],
    # The programs around the main client never include it; the launcher's
    # tray icon and the uninstaller's dialog stand on the skin library.
    "daemon": RUNTIME,
    "launcher": RUNTIME + ["uilib"],
    "uninstaller": RUNTIME + ["uilib"],
    "bugreporter": RUNTIME,
    # Outside components stand-ins, tests and benchmarks sit on top.
    "standin": RUNTIME,
    "tests": None,  # anything
    "bench": None,
}

# Toolkit headers and the only folders that may include them.
TOOLKIT = re.compile(r'#\s*include\s*<(gtk|gdk|webkit2|webkitgtk|JavaScriptCore|jsc)/')
TOOLKIT_FOLDERS = ["uilib/backend/gtk", "uilib/backend/headless", "uilib/testing"]

# Folders only tests and benchmarks may include: the probes are not linked
# into any product.
TESTS_ONLY = ["uilib/testing"]

OUR_TOPS = {name.split("/")[0] for name in LAYERS}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".cc", ".cpp", ".hpp", ".inc")
SKIPPED_TOP = {".git", "cmake", "scripts", "skins", ".ci"}


def under(path, folder):
    return path == folder or path.startswith(folder + "/")


def rule_for(folder):
    best = None
    for name in LAYERS:
        if under(folder, name) and (best is None or len(name) > len(best)):
            best = name
    return best


def check_file(root, relative, offences):
    folder = os.path.dirname(relative)
    rule = rule_for(folder)
    if rule is None:
        offences.append(f"{relative}: no layering rule covers {folder or '.'}/ (add it to scripts/check_layering.py)")
        return
    allowed = LAYERS[rule]
    with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            toolkit_free = allowed is not None and not any(under(folder, t) for t in TOOLKIT_FOLDERS)
            if toolkit_free and TOOLKIT.search(line):
                offences.append(f"{relative}:{number}: toolkit header outside the uilib backends: {line.strip()}")
            m = INCLUDE.match(line)
            if not m or allowed is None:
                continue
            target = m.group(1)
            if "/" not in target:
                continue  # a header beside the file
            if any(under(target, t) for t in TESTS_ONLY) and not any(under(folder, t) for t in TESTS_ONLY):
                offences.append(f"{relative}:{number}: only tests may include {target}")
                continue
            if under(target, rule) or any(under(target, a) for a in allowed):
                continue
            if target.split("/")[0] not in OUR_TOPS:
                continue  # not one of ours (a library header in quotes)
            offences.append(f"{relative}:{number}: {rule}/ may not include {target}")


def check_tree(root):
    offences = []
    for top in sorted(os.listdir(root)):
        if top in SKIPPED_TOP or top.startswith("build") or top.startswith("."):
            continue
        top_path = os.path.join(root, top)
        if not os.path.isdir(top_path):
            continue
        for directory, dirs, files in os.walk(top_path):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    check_file(root, os.path.relpath(os.path.join(directory, name), root), offences)
    return offences


def allowed_folders(folders):
    """The folders that files in `folders` may include, the widest first
    removed where a wider one holds them; None when anything goes."""
    result = set()
    for folder in folders:
        rule = rule_for(folder)
        if rule is None:
            raise SystemExit(f"no layering rule covers {folder}/ (add it to scripts/check_layering.py)")
        if LAYERS[rule] is None:
            return None
        result.update([rule] + LAYERS[rule])
    return sorted(f for f in result if not any(f != g and under(f, g) for g in result))


def main(argv):
    if len(argv) > 1 and argv[1] == "--allowed":
        allowed = allowed_folders(argv[2:])
        print("\n".join(["."] if allowed is None else allowed))
        return 0
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    offences = check_tree(os.path.abspath(root))
    for line in offences:
        print(line)
    if offences:
        print(f"{len(offences)} include(s) against the layering", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
