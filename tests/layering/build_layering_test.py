#!/usr/bin/env python3
"""The build itself refuses an include that points up the layers: a file
compiled with a library's include path finds the headers of the folders it
may use and no others, and the toolkit's headers only in the skin library.

    build_layering_test.py <c++ compiler> <folder of include-path-*.txt> <source root>
"""

import os
import subprocess
import sys
import unittest

CXX, PATHS, ROOT = sys.argv[1:4]

# (library, folder of ours or <toolkit header>, found through its include path)
CASES = [
    ("brx_util", "runtime/platform", True),
    ("brx_util", "runtime/base", False),
    ("ob_core", "runtime/io", True),
    ("ob_core", "client/web", False),
    ("ob_core", "uilib", False),
    ("ob_web", "client/core", True),
    ("ob_web", "client/video", False),
    ("ob_ui", "client/web", True),
    ("ob_ui", "uilib", True),
    ("ob_ui", "client/video", False),
    ("ob_ui", "client/app", False),
    ("ob_ui", "client/host", False),
    ("ob_ui", "<gtk/gtk.h>", False),
    ("uilib", "runtime/base", True),
    ("uilib", "client/core", False),
    ("ob_launcher", "uilib", True),
    ("ob_launcher", "client/core", False),
    ("ob_host", "client/video", True),
]


def any_header(folder):
    for directory, dirs, files in sorted(os.walk(os.path.join(ROOT, folder))):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(".h"):
                return os.path.relpath(os.path.join(directory, name), ROOT)
    raise AssertionError(f"no header under {folder}")


def include_path(library):
    with open(os.path.join(PATHS, f"include-path-{library}.txt")) as f:
        return [line.strip() for line in f if line.strip()]


def preprocess(library, include):
    flags = [f"-I{d}" for d in include_path(library)]
    return subprocess.run([CXX, "-std=c++20", "-E", "-o", os.devnull, *flags, "-x", "c++", "-"],
                          input=f"#include {include}\n", capture_output=True, text=True)


class BuildLayeringTest(unittest.TestCase):
    def test_each_library_finds_only_what_it_may_include(self):
        for library, what, found in CASES:
            include = what if what.startswith("<") else f'"{any_header(what)}"'
            with self.subTest(library=library, include=include):
                result = preprocess(library, include)
                missing = "No such file" in result.stderr
                if found:
                    self.assertEqual(result.returncode, 0, result.stderr[-2000:])
                else:
                    self.assertTrue(missing, f"{library} reached {include}")

    def test_the_source_root_is_on_no_librarys_path(self):
        for library in sorted({c[0] for c in CASES}):
            with self.subTest(library=library):
                self.assertNotIn(os.path.realpath(ROOT), [os.path.realpath(d) for d in include_path(library)])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
