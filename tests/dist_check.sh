#!/bin/bash
# The distribution as a Windows user gets it.
#   dist_check.sh contents BUILD_DIR   the staged folder and the ZIP hold exactly the
#                                      deliverables of BUILD_DIR/dist-deliverables.txt
#   dist_check.sh imports BUILD_DIR OBJDUMP
#                                      every program and library of the folder imports only
#                                      DLLs that come with Windows
set -uo pipefail
mode=${1:-}
build=${2:-}
[ -n "$mode" ] && [ -d "$build" ] || { echo "usage: $0 contents|imports BUILD_DIR [OBJDUMP]" >&2; exit 2; }
dist="$build/dist"
manifest="$build/dist-deliverables.txt"
status=0
fail() { echo "FAIL: $*"; status=1; }

[ -f "$manifest" ] || { echo "FAIL: no $manifest (configure the Windows build)"; exit 1; }
[ -d "$dist" ] || { echo "FAIL: no $dist (build the target dist)"; exit 1; }

# Sorted lists of relative paths, compared case-insensitively as Windows would.
expected() {
    while read -r kind name; do
        case $kind in
        target) echo "$name.exe|$name.dll" ;;
        file) echo "$name" ;;
        esac
    done <"$manifest"
}

staged() { (cd "$dist" && find . -type f | sed 's|^\./||' | sort); }

zipped() {
    python3 - "$1" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad:
        print("CORRUPT:" + bad)
    for n in sorted(z.namelist()):
        if not n.endswith('/'):
            print(n)
PY
}

# Compares a list of files (stdin) with the manifest: each deliverable once, nothing else.
# Runs in a pipeline's subshell: the caller takes its status.
compare() { # what
    local what=$1 files missing=() extra=()
    files=$(cat)
    local -A seen=()
    while IFS= read -r f; do [ -n "$f" ] && seen[${f,,}]=1; done <<<"$files"
    local -A wanted=()
    while IFS= read -r alternatives; do
        local found=""
        IFS='|' read -ra names <<<"$alternatives"
        for n in "${names[@]}"; do
            wanted[${n,,}]=1
            [ -n "${seen[${n,,}]:-}" ] && found=$n
        done
        [ -n "$found" ] || missing+=("${names[0]%.exe}")
    done < <(expected)
    while IFS= read -r f; do
        [ -n "$f" ] && [ -z "${wanted[${f,,}]:-}" ] && extra+=("$f")
    done <<<"$files"
    [ ${#missing[@]} -eq 0 ] || fail "$what lacks: ${missing[*]}"
    [ ${#extra[@]} -eq 0 ] || fail "$what holds files that are no deliverable: ${extra[*]}"
    [ ${#missing[@]} -eq 0 ] && [ ${#extra[@]} -eq 0 ] || return 1
    echo "ok: $what holds the $(expected | wc -l) deliverables"
}

case $mode in
contents)
    staged | compare "$dist" || status=1
    zip=$(ls "$build"/taviro-win*.zip 2>/dev/null | head -1)
    if [ -z "$zip" ]; then
        fail "no taviro-win64.zip or taviro-win32.zip in $build"
    else
        list=$(zipped "$zip") || fail "$zip cannot be read"
        grep -q '^CORRUPT:' <<<"$list" && fail "$zip: damaged entry $(grep '^CORRUPT:' <<<"$list")"
        grep -v '^CORRUPT:' <<<"$list" | compare "$zip" || status=1
        # Byte for byte the staged files.
        python3 - "$zip" "$dist" <<'PY' || fail "$zip differs from the folder"
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for n in z.namelist():
        if n.endswith('/'):
            continue
        with open(os.path.join(sys.argv[2], n), 'rb') as f:
            if f.read() != z.read(n):
                print("differs: " + n)
                sys.exit(1)
PY
    fi
    # The help pages: UTF-8 as they declare, every element closed in order, every link to a
    # page and an anchor that exist.
    python3 - "$dist/help" <<'PY' || fail "help pages"
import html.parser, os, re, sys
folder = sys.argv[1]
VOID = {"meta", "br", "img", "hr", "link", "input", "col", "area", "base", "wbr", "source"}
ids, links, bad = {}, [], []
for name in sorted(os.listdir(folder)):
    raw = open(os.path.join(folder, name), "rb").read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        bad.append(f"{name}: not UTF-8 ({e})"); continue
    if not re.search(r'<meta charset="utf-8">', text, re.I):
        bad.append(f"{name}: no utf-8 charset declaration")
    if not text.startswith("<!DOCTYPE html>"):
        bad.append(f"{name}: no doctype")
    stack, page_ids = [], set()
    class P(html.parser.HTMLParser):
        def handle_starttag(self, tag, attrs):
            a = dict(attrs)
            if "id" in a: page_ids.add(a["id"])
            if tag == "a" and "href" in a: links.append((name, a["href"]))
            if tag not in VOID: stack.append((tag, self.getpos()[0]))
        def handle_endtag(self, tag):
            if not stack or stack[-1][0] != tag:
                bad.append(f"{name}:{self.getpos()[0]}: </{tag}> closes {stack[-1] if stack else 'nothing'}")
            else:
                stack.pop()
    P().feed(text)
    if stack: bad.append(f"{name}: unclosed {stack}")
    ids[name] = page_ids
for page, href in links:
    target, _, anchor = href.partition("#")
    target = target or page
    if target not in ids:
        bad.append(f"{page}: link to missing page {href}")
    elif anchor and anchor not in ids[target]:
        bad.append(f"{page}: link to missing anchor {href}")
for b in bad: print(b)
sys.exit(1 if bad else 0)
PY
    ;;
imports)
    objdump=${3:-objdump}
    # The DLLs of every Windows installation the suite runs on.
    system="kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 comdlg32 comctl32 winmm
            msvfw32 avifil32 msacm32 shlwapi version msvcrt imm32 uxtheme winspool ws2_32"
    count=0
    while IFS= read -r -d '' f; do
        count=$((count + 1))
        dlls=$("$objdump" -p "$f" 2>/dev/null | sed -n 's/^\s*DLL Name: //p' | tr -d '\r')
        [ -n "$dlls" ] || { fail "$f: no import table read"; continue; }
        while IFS= read -r d; do
            base=${d,,}
            base=${base%.dll}
            grep -qw -- "$base" <<<"$system" || fail "$(basename "$f") imports $d"
        done <<<"$dlls"
    done < <(find "$dist" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    [ "$count" -gt 0 ] || fail "no program in $dist"
    [ $status -eq 0 ] && echo "ok: $count programs and libraries import only system DLLs"
    ;;
*)
    echo "usage: $0 contents|imports BUILD_DIR [OBJDUMP]" >&2
    exit 2
    ;;
esac
exit $status
