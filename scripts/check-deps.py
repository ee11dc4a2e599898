#!/usr/bin/env python3
"""Checks that each folder includes only from the folders it may depend on.

The table below is the one in the top-level README's layout section and in each folder's README;
change them together. Besides the project folders, the widget-free parts (core, link, the command
line, the virtual instrument and every `*_core` library) must not include Qt Widgets, Qt Gui or
Qt PrintSupport headers, so the window and the command line can share them (the one exception,
GUI_ALLOWED_FILES, lets kviro-cli make a QGuiApplication for drawing a PDF).

Exit 0 when every include is allowed, 1 with one line per offending include otherwise.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# folder -> project folders it may include from (itself always allowed)
ALLOWED = {
    "src/core": set(),
    "src/link": {"core"},
    "src/widgets": set(),
    "src/journal": {"core", "link", "widgets"},
    "src/reader": {"core", "link", "widgets"},
    "src/bdts": {"core", "link", "widgets"},
    "src/firmware": {"core", "link", "widgets"},
    "src/cli": {"core", "link", "reader", "bdts", "firmware"},
    "src/app": {"core", "link", "widgets", "journal", "reader", "bdts", "firmware"},
    "sim": {"core", "bdts"},
}
# Folders whose every file is widget-free.
WIDGET_FREE_FOLDERS = {"src/core", "src/link", "src/cli", "sim"}
PROJECT_FOLDERS = {"core", "link", "widgets", "journal", "reader", "bdts", "firmware", "cli", "app", "sim"}
GUI_MODULES = ("QtWidgets", "QtGui", "QtPrintSupport")
# Widget-free files that may still include Qt Gui (never Widgets or PrintSupport): kviro-cli makes
# its QGuiApplication (offscreen) in this one file, for the protocol drawn as PDF.
GUI_ALLOWED_FILES = {"src/cli/application.cpp": {"QtGui"}}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def qt_include_dirs():
    dirs = []
    for base in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6", "/usr/include/qt6"):
        p = pathlib.Path(base)
        if p.is_dir():
            dirs.append(p)
    return dirs


def gui_module(name, qt_dirs):
    """The Qt module that needs a display whose header <name> is, or None."""
    head = name.split("/")[0]
    if head in GUI_MODULES:
        return head
    if "/" in name:
        return None
    for m in GUI_MODULES:
        if any((d / m / name).is_file() for d in qt_dirs):
            return m
    return None


def core_library_sources(folder):
    """Sources listed in the folder's `*_core` libraries (widget-free by contract)."""
    cmake = ROOT / folder / "CMakeLists.txt"
    if not cmake.is_file():
        return set()
    text = cmake.read_text(encoding="utf-8")
    files = set()
    for m in re.finditer(r"add_library\(\s*\w+_core\b([^)]*)\)", text):
        for word in m.group(1).split():
            if word.endswith((".cpp", ".h")):
                files.add(word)
    return files


def main():
    qt_dirs = qt_include_dirs()
    if not qt_dirs:
        print("check-deps: no Qt 6 headers found; the widget-free check needs qt6-base-dev", file=sys.stderr)
        return 1
    problems = []
    for folder, allowed in ALLOWED.items():
        base = ROOT / folder
        if not base.is_dir():
            continue
        own = folder.split("/")[-1]
        core_files = core_library_sources(folder)
        for path in sorted(base.rglob("*")):
            if path.suffix not in (".h", ".cpp") or not path.is_file():
                continue
            rel = path.relative_to(ROOT)
            widget_free = folder in WIDGET_FREE_FOLDERS or path.name in core_files
            for lineno, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                quote, name = m.groups()
                if quote == '"':
                    top = name.split("/")[0] if "/" in name else None
                    if top in PROJECT_FOLDERS and top != own and top not in allowed:
                        problems.append(f"{rel}:{lineno}: includes {name}, but {folder} may not depend on {top}")
                elif widget_free and gui_module(name, qt_dirs) not in (None, *GUI_ALLOWED_FILES.get(rel.as_posix(), ())):
                    problems.append(f"{rel}:{lineno}: includes <{name}> in widget-free code")
    for p in problems:
        print(p)
    if problems:
        print(f"check-deps: {len(problems)} include(s) break the folder rules", file=sys.stderr)
        return 1
    print("check-deps: every include keeps to the folder rules")
    return 0


if __name__ == "__main__":
    sys.exit(main())
