#!/usr/bin/env python3
"""Guards the layering of the sources: which folder may include which, and that only platform/
speaks to the operating system (its headers, its #ifdefs).

    include_rules.py SOURCE_DIR     checks the tree; exit 0 clean, 1 a rule broken, 2 cannot check
    include_rules.py --self-test    runs the rules on in-memory examples; exit 0 when they hold

The layers are described in docs/ARCHITECTURE.md. A rule that must change changes here, in the
tables below, and there.
"""

import os
import posixpath
import re
import sys

# Where a rule applies -> the includes it forbids, and why. "dir/" is a folder with everything
# below it; "dir/*" is only the files directly in that folder ("unzip/*": TUnZipper's own files,
# the top of the archive component). Every rule whose place matches a file applies to it.
LAYER_RULES = [
    ("platform/", ["unzip/", "signing/", "release/", "controls/", "resources/", "tools/", "app/"],
     "platform/ is the bottom layer and knows no user of it"),
    ("platform/*", ["platform/posix/", "platform/win32/"],
     "shared platform code reaches a system only through the contract headers"),
    ("platform/posix/", ["platform/win32/"], "one system's implementation never uses the other's"),
    ("platform/win32/", ["platform/posix/"], "one system's implementation never uses the other's"),
    ("unzip/", ["app/", "tools/", "signing/", "release/", "controls/", "resources/"],
     "the archive component stands on platform/ alone"),
    ("unzip/base/",
     ["unzip/records/", "unzip/collections/", "unzip/decoders/", "unzip/crypto/", "unzip/*"],
     "base is the archive component's lowest layer"),
    ("unzip/records/", ["unzip/collections/", "unzip/decoders/", "unzip/crypto/", "unzip/*"],
     "records stand on base"),
    ("unzip/collections/", ["unzip/decoders/", "unzip/crypto/", "unzip/*"],
     "collections stand on records and base"),
    ("unzip/decoders/", ["unzip/records/", "unzip/collections/", "unzip/crypto/", "unzip/*"],
     "decoders stand on base"),
    ("unzip/crypto/", ["unzip/records/", "unzip/collections/", "unzip/decoders/", "unzip/*"],
     "crypto stands on base"),
    ("signing/", ["app/", "tools/", "unzip/", "release/", "controls/", "resources/"],
     "signing/ stands on platform/ alone: the updater and the tools both link it"),
    ("release/", ["app/", "tools/", "unzip/", "controls/", "resources/"],
     "release/ stands on signing/ and platform/: the updater and update-pack both link it"),
    ("controls/", ["app/", "tools/", "unzip/", "signing/", "resources/"],
     "controls/ stands on platform/ at most"),
    ("resources/", ["app/", "tools/", "unzip/", "signing/", "controls/"],
     "resources/ holds values and pictures that others use"),
    ("tools/", ["app/", "controls/", "resources/"],
     "the tools stand on unzip/, signing/ and platform/, never on the updater"),
    ("app/", ["unzip/base/", "unzip/records/", "unzip/collections/", "unzip/decoders/",
              "unzip/crypto/"],
     "the updater reaches the archive component through its top (unzip/*.h)"),
]

# Single headers that a rule above lets through all the same: (place, header, why).
LAYER_EXCEPTIONS = [
    ("app/", "unzip/base/unzip_exceptions.h", "the exceptions the component raises"),
    ("app/", "unzip/base/zip_format.h", "the format's numbers that its entries carry"),
]

# Outside platform/, no header of an operating system, of its GUI toolkit, or of a library that a
# platform service wraps (crypto, JPEG). Matched on the name in <...>, letters in any case;
# "dir/" matches every header below it.
SYSTEM_HEADERS = [
    "windows.h", "winbase.h", "wincrypt.h", "bcrypt.h", "shlobj.h", "shellapi.h", "commctrl.h",
    "uxtheme.h", "dwmapi.h", "tlhelp32.h", "olectl.h",
    "unistd.h", "fcntl.h", "dirent.h", "spawn.h", "pthread.h", "sys/",
    "FL/", "X11/",
    "openssl/", "jpeglib.h",
]
SYSTEM_MACROS = ["_WIN32", "_WIN64", "__MINGW32__", "__MINGW64__", "_MSC_VER", "__linux__",
                 "__unix__", "__APPLE__"]
OS_RULE = "only platform/ includes system headers"
MACRO_RULE = "only platform/ branches on the system (no #ifdef _WIN32 in shared code)"

# The folders scanned; tests/, bench/ and fuzz/ are free to reach into any layer.
SCANNED = ["platform/", "unzip/", "signing/", "release/", "controls/", "resources/", "tools/",
           "app/"]
SOURCE_SUFFIXES = (".h", ".cpp")

INCLUDE_QUOTED = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
INCLUDE_ANGLED = re.compile(r"^\s*#\s*include\s*<([^>]+)>")
CONDITIONAL = re.compile(r"^\s*#\s*(?:if|ifdef|ifndef|elif|elifdef|elifndef)\b(.*)")


def Matches(path, place):
    """Whether `path` ("unzip/base/crc32.h") lies in `place` ("unzip/", or "unzip/*")."""
    if place.endswith("/*"):
        return posixpath.dirname(path) + "/" == place[:-1]
    return path.startswith(place)


def Shown(place):
    """A place as a person reads it in a finding."""
    return "files directly in " + place[:-1] if place.endswith("/*") else place


def Resolve(including, written, exists):
    """The root-relative path that `#include "written"` in `including` names: the tree's include
    directory is the source root; a name found only beside the including file is taken there."""
    if exists(written):
        return posixpath.normpath(written)
    beside = posixpath.normpath(posixpath.join(posixpath.dirname(including), written))
    if exists(beside):
        return beside
    return posixpath.normpath(written)


def Directives(text):
    """The preprocessor lines of a source file as (line number, line): lines that begin inside a
    comment or a raw string are none, and a line's own comments are cut off."""
    closing = None  # what ends the comment or raw string that the next line begins in
    for number, line in enumerate(text.splitlines(), 1):
        i = 0
        if closing is not None:
            end = line.find(closing)
            if end < 0:
                continue
            i = end + len(closing)
            closing = None
        elif line.lstrip().startswith("#"):
            yield number, WithoutComments(line)
        # Follow the rest of the line only to learn in what the next line begins.
        while i < len(line):
            if line.startswith("//", i):
                break
            if line.startswith("/*", i):
                end = line.find("*/", i + 2)
                if end < 0:
                    closing = "*/"
                    break
                i = end + 2
            elif line.startswith('R"', i) and (i == 0 or not IsNameChar(line[i - 1])):
                open_ = line.find("(", i + 2)
                if open_ < 0:
                    break  # not a raw string this script understands; the line ends here
                close = ")" + line[i + 2:open_] + '"'
                end = line.find(close, open_ + 1)
                if end < 0:
                    closing = close
                    break
                i = end + len(close)
            elif line[i] in "\"'":
                j = i + 1
                while j < len(line) and line[j] != line[i]:
                    j += 2 if line[j] == "\\" else 1
                i = j + 1
            else:
                i += 1


def IsNameChar(c):
    return c.isalnum() or c == "_"


def WithoutComments(line):
    """A directive without the comments after it (an include's name is kept whole)."""
    quoted = INCLUDE_QUOTED.match(line) or INCLUDE_ANGLED.match(line)
    if quoted:
        return line[:quoted.end()]
    line = re.sub(r"/\*.*?\*/", " ", line)
    return line.split("//")[0].split("/*")[0]


def CheckFile(path, text, exists):
    """The broken rules of one file: a list of (line number, what, rule)."""
    findings = []
    inPlatform = Matches(path, "platform/")
    for number, line in Directives(text):
        quoted = INCLUDE_QUOTED.match(line)
        if quoted:
            target = Resolve(path, quoted.group(1), exists)
            if any(Matches(path, place) and target == header
                   for place, header, _ in LAYER_EXCEPTIONS):
                continue
            for place, forbidden, why in LAYER_RULES:
                if not Matches(path, place):
                    continue
                for banned in forbidden:
                    if Matches(target, banned):
                        findings.append((number, '#include "%s"' % quoted.group(1),
                                         "%s must not include %s: %s" % (
                                             Shown(place), Shown(banned), why)))
            continue
        if inPlatform:
            continue
        angled = INCLUDE_ANGLED.match(line)
        if angled:
            name = angled.group(1).strip()
            for header in SYSTEM_HEADERS:
                if (name.lower().startswith(header.lower()) if header.endswith("/")
                        else name.lower() == header.lower()):
                    findings.append((number, "#include <%s>" % name, OS_RULE))
            continue
        conditional = CONDITIONAL.match(line)
        if conditional:
            for macro in SYSTEM_MACROS:
                if re.search(r"\b%s\b" % re.escape(macro), conditional.group(1)):
                    findings.append((number, line.strip(), MACRO_RULE))
    return findings


def PlacesOfRules():
    """Every folder the tables name, without the "*" of a place."""
    places = set(SCANNED)
    for place, forbidden, _ in LAYER_RULES:
        places.add(place)
        places.update(forbidden)
    return sorted(p[:-1] if p.endswith("*") else p for p in places)


def CheckTree(root):
    """Prints every broken rule of the tree at `root`; the exit status."""
    missing = [p for p in PlacesOfRules() if not os.path.isdir(os.path.join(root, p))]
    if missing:
        # A rule about a folder that is not there guards nothing: renamed, or a typing error.
        for place in missing:
            print("include_rules: the rules name %s, which %s does not have" % (place, root))
        return 2
    files = {}
    for top in SCANNED:
        for directory, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if name.endswith(SOURCE_SUFFIXES):
                    full = os.path.join(directory, name)
                    relative = os.path.relpath(full, root).replace(os.sep, "/")
                    with open(full, "rb") as f:
                        files[relative] = f.read().decode("utf-8", errors="replace")
    if not files:
        print("include_rules: no source files below %s" % root)
        return 2

    def Exists(path):
        return path in files or os.path.isfile(os.path.join(root, path))

    broken = 0
    for path in sorted(files):
        for number, what, rule in CheckFile(path, files[path], Exists):
            print("%s:%d: %s -- %s" % (path, number, what, rule))
            broken += 1
    if broken:
        print("include_rules: %d arrow(s) against the layering in %d files" % (broken, len(files)))
        return 1
    print("include_rules: %d files follow the layering" % len(files))
    return 0


# (file, line, whether a rule forbids it). The allowed ones are arrows the layering is built on;
# a table that forbids them, or lets a forbidden one through, is broken.
SELF_TEST_CASES = [
    ("unzip/records/entry_name.cpp", '#include "unzip/base/zip_format.h"', False),
    ("unzip/collections/sorted_zip.h", '#include "unzip/records/zip_header_info.h"', False),
    ("unzip/decoders/explode.cpp", '#include "unzip/base/buffered_stream.h"', False),
    ("unzip/crypto/aes_decryptor.h", '#include "platform/crypto.h"', False),
    ("unzip/unzipper.cpp", '#include "unzip/decoders/entry_decoder.h"', False),
    ("unzip/extraction_run.cpp", '#include "unzip/unzipper.h"', False),
    ("tools/unzipper.cpp", '#include "unzip/unzipper.h"', False),
    ("tools/update_sign.cpp", '#include "signing/update_signature.h"', False),
    ("signing/update_signature.cpp", '#include "platform/signature.h"', False),
    ("app/update_run.cpp", '#include "signing/update_signature.h"', False),
    ("app/update_form.h", '#include "controls/themed_progress_bar.h"', False),
    ("platform/win32/files.cpp", "#include <windows.h>", False),
    ("platform/win32/files.cpp", '#include "wide_text.h"', False),
    ("platform/posix/ui/window.cpp", "#include <FL/Fl_Window.H>", False),
    ("platform/posix/files.cpp", '#include "platform/files_internal.h"', False),
    ("unzip/base/crc32_zlib.cpp", "#include <zlib.h>", False),
    ("app/main.cpp", "#include <cstdio>  // <windows.h> is not needed", False),
    ("app/main.cpp", "// #ifdef _WIN32 would not be wanted here", False),
    ("app/main.cpp", "/* a comment that goes on\n#include <windows.h>\n*/", False),
    ("tools/usage.cpp", 'auto text = R"(usage\n#include <unistd.h>\n)";', False),
    ("app/main.cpp", 'const char* kGlob = "dir/*";\n#include <windows.h>', True),
    ("app/main.cpp", "#if 0  // not on _WIN32", False),
    ("unzip/base/crc32.h", '#include "unzip/records/zip_signatures.h"', True),
    ("unzip/base/messages.cpp", '#include "unzip/unzipper.h"', True),
    ("unzip/records/end_central.cpp", '#include "unzip/collections/sorted_zip.h"', True),
    ("unzip/collections/sorted_zip.cpp", '#include "unzip/wildcard.h"', True),
    ("unzip/decoders/explode.cpp", '#include "unzip/crypto/aes_decryptor.h"', True),
    ("unzip/crypto/aes_decryptor.cpp", '#include "../records/end_central.h"', True),
    ("unzip/unzipper.cpp", '#include "signing/update_signature.h"', True),
    ("platform/files_common.cpp", '#include "unzip/base/messages.h"', True),
    ("platform/files_common.cpp", '#include "platform/posix/ui/ui_state.h"', True),
    ("platform/posix/files.cpp", '#include "platform/win32/wide_text.h"', True),
    ("platform/win32/files.cpp", '#include "platform/posix/ui/ui_state.h"', True),
    ("resources/window_layout.h", '#include "controls/progress_look.h"', True),
    ("signing/update_signature.cpp", '#include "unzip/unzipper.h"', True),
    ("release/release_record.cpp", '#include "signing/update_signature.h"', False),
    ("release/release_record.cpp", '#include "app/update_run.h"', True),
    ("controls/rgb_canvas.cpp", '#include "app/window_picture.h"', True),
    ("tools/unzipper.cpp", '#include "app/update_run.h"', True),
    ("app/main.cpp", "#include <windows.h>", True),
    ("app/archive_check.cpp", '#include "unzip/decoders/entry_decoder.h"', True),
    ("app/run/stage_update.cpp", '#include "unzip/records/zip_header_info.h"', True),
    ("app/run/check_before_closing.cpp", '#include "unzip/base/buffered_stream.h"', True),
    ("app/run/stage_update.cpp", '#include "unzip/base/unzip_exceptions.h"', False),
    ("app/archive_check.cpp", '#include "unzip/base/zip_format.h"', False),
    ("app/release_check.cpp", '#include "unzip/entry_bytes.h"', False),
    ("unzip/base/directories.cpp", "#include <unistd.h>", True),
    ("controls/themed_control.cpp", "#  include <X11/Xlib.h>", True),
    ("app/update_form.cpp", "#include <FL/Fl.H>", True),
    ("tools/update_sign.cpp", "#include <sys/stat.h>", True),
    ("app/main.cpp", "#ifdef _WIN32", True),
    ("unzip/base/numbers.cpp", "#if defined(__linux__) || 0", True),
]

# The files the self-test's includes may name beside their including file.
SELF_TEST_TREE = {"platform/win32/wide_text.h", "unzip/records/end_central.h"}


def SelfTest():
    wrong = 0
    for path, line, forbidden in SELF_TEST_CASES:
        findings = CheckFile(path, line + "\n", lambda p: p in SELF_TEST_TREE)
        if bool(findings) != forbidden:
            wrong += 1
            print("include_rules self-test: %s: %s is %s, expected %s" % (
                path, line, "forbidden" if findings else "allowed",
                "forbidden" if forbidden else "allowed"))
    # Every rule must be reached by some forbidden example, or a broken place would go unnoticed.
    for place, forbidden, _ in LAYER_RULES:
        if not any(bad and Matches(path, place) for path, _, bad in SELF_TEST_CASES):
            wrong += 1
            print("include_rules self-test: no forbidden example for the rule on %s" % place)
    if wrong:
        print("include_rules self-test: %d of the rules' examples went wrong" % wrong)
        return 1
    print("include_rules self-test: %d examples as expected" % len(SELF_TEST_CASES))
    return 0


def main(argv):
    if argv == ["--self-test"]:
        return SelfTest()
    if len(argv) == 1 and not argv[0].startswith("-"):
        if not os.path.isdir(argv[0]):
            print("include_rules: %s is not a directory" % argv[0])
            return 2
        return CheckTree(argv[0])
    print(__doc__.strip())
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
