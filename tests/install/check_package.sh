#!/usr/bin/env bash
# The packages as a user meets them:
#  - a DESTDIR install (make install), the .deb and the .tar.gz hold exactly
#    the expected files;
#  - as root: the .deb installs with the system's package tool, the installed
#    programs, man pages and completion work, and the package is removed again
#    (never left behind, even when a step fails);
#  - the Windows zip holds the .exe files and CRLF text, and its .exe files
#    run under Wine when Wine is there.
#
# Usage: tests/install/check_package.sh <native build dir> <windows build dir>
# Both built and packaged already (make package package-windows).
set -euo pipefail
export LC_ALL=C

build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

failures=0
passed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failures=$((failures + 1)); echo "FAIL $1"; }

work=$(mktemp -d)
installed_here=no
cleanup() {
    if [[ $installed_here == yes ]]; then
        echo "removing the tavrel package again"
        apt-get purge -y -qq tavrel >/dev/null 2>&1 || dpkg --purge tavrel >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A value of the CPack configuration written into a build dir.
cpack_value() { sed -n "s/^set($2 \"\(.*\)\")\$/\1/p" "$1/CPackConfig.cmake"; }

# The expected list of a list file, its comments dropped, each docs/*.md of
# the source added as $2NAME$3, every line prefixed with $4.
expected_list() {
    {
        grep -v '^#' "$here/$1"
        for page in "$source_dir"/docs/*.md; do
            name=$(basename "$page" .md)
            echo "$2$name$3"
        done
    } | sed "s|^|$4|" | sort
}

# Compares a file list with an expected one; shows the difference. Called
# in this shell (not at the end of a pipe) so that the tally counts it.
same_files() {  # NAME EXPECTED_FILE ACTUAL_FILE
    sort "$3" >"$work/actual"
    if diff -u "$2" "$work/actual" >"$work/diff"; then
        pass "$1"
    else
        fail "$1 (- expected, + found):"
        sed -n '3,$p' "$work/diff"
    fi
}

version=$(cpack_value "$build" CPACK_PACKAGE_VERSION)
if [[ -z $version ]]; then
    echo "no package configuration in $build: run make package first"
    exit 1
fi
echo "tavrel $version"

# ---- make install into a DESTDIR ----------------------------------------
expected_list installed_files.txt share/doc/tavrel/docs/ .md usr/ >"$work/expected-usr"
make -s -C "$source_dir" install BUILD="$build" DESTDIR="$work/stage" PREFIX=/usr >/dev/null
same_files "make install DESTDIR=... PREFIX=/usr file list" "$work/expected-usr" \
    <(cd "$work/stage" && find . ! -type d | sed 's|^\./||')
for program in tavrel-play tavrel tavrel-sim; do
    if [[ -x $work/stage/usr/bin/$program ]]; then
        pass "$program installed executable"
    else
        fail "$program installed executable"
    fi
done

# ---- the Debian package -------------------------------------------------
deb=$build/$(cd "$build" && ls "tavrel_${version}_"*.deb 2>/dev/null | head -n 1)
if [[ ! -f $deb ]]; then
    echo "no tavrel_${version}_*.deb in $build: run make package first"
    exit 1
fi
echo "--- contents of $(basename "$deb") ---"
dpkg-deb -c "$deb" | tee "$work/deb-contents"
echo "---"
same_files ".deb file list" "$work/expected-usr" \
    <(awk '{ print $6 }' "$work/deb-contents" | grep -v '/$' | sed 's|^\./||')
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Taken from the binaries by dpkg-shlibdeps: the C library at the least.
if [[ $depends == *libc6* ]]; then
    pass ".deb depends on what its binaries link"
else
    fail ".deb depends on what its binaries link (Depends: '$depends')"
fi

# ---- the .tar.gz --------------------------------------------------------
tarball=$build/$(cpack_value "$build" CPACK_PACKAGE_FILE_NAME).tar.gz
top=$(basename "$tarball" .tar.gz)/
expected_list installed_files.txt share/doc/tavrel/docs/ .md "$top" >"$work/expected-tgz"
same_files ".tar.gz file list" "$work/expected-tgz" <(tar -tzf "$tarball" | grep -v '/$')

# ---- installed on this machine ------------------------------------------
# Container images often keep dpkg from unpacking /usr/share/man and
# /usr/share/doc (path-exclude in /etc/dpkg/dpkg.cfg.d). The exclusion is
# lifted for this package's own paths only, so that `man tavrel-play` is
# tried on the files the package really installs.
dpkg_includes=(
    -o 'DPkg::Options::=--path-include=/usr/share/man/man1/tavrel*'
    -o 'DPkg::Options::=--path-include=/usr/share/doc/tavrel/*'
)
installed_status=$(dpkg-query -W -f='${Status}' tavrel 2>/dev/null || true)
if [[ $(id -u) != 0 ]]; then
    echo "SKIPPED installing the .deb: that needs root (the file lists above were checked)"
elif [[ $installed_status == *" installed" ]]; then
    echo "SKIPPED installing the .deb: a tavrel package is already installed here, and is left as it is"
else
    installed_here=yes
    if apt-get install -y -qq --no-install-recommends "${dpkg_includes[@]}" "$deb" >"$work/apt.log" 2>&1; then
        pass "apt-get install $(basename "$deb")"
    else
        fail "apt-get install $(basename "$deb"):"
        cat "$work/apt.log"
    fi

    # tavrel-play without arguments: its usage, exit status 1.
    set +e
    /usr/bin/tavrel-play >"$work/out" 2>&1
    status=$?
    set -e
    if [[ $status == 1 ]] && grep -q '^Usage: ' "$work/out"; then
        pass "installed tavrel-play prints its usage and exits 1"
    else
        fail "installed tavrel-play prints its usage and exits 1 (status $status):"
        cat "$work/out"
    fi

    answer=$(/usr/bin/tavrel --version 2>&1 || true)
    if [[ $answer == "tavrel $version" ]]; then
        pass "installed tavrel --version: $answer"
    else
        fail "installed tavrel --version: '$answer', wanted 'tavrel $version'"
    fi

    if /usr/bin/tavrel-sim --help 2>&1 | grep -q '^Usage: '; then
        pass "installed tavrel-sim --help"
    else
        fail "installed tavrel-sim --help"
    fi

    # man finds each page by name and renders it.
    for page in tavrel-play tavrel tavrel-sim; do
        where=$(man -w "$page" 2>&1 || true)
        if [[ $where == "/usr/share/man/man1/$page.1"* ]] &&
            MANWIDTH=80 man "$page" 2>/dev/null | grep -q "^NAME"; then
            pass "man $page renders ($where)"
        else
            fail "man $page renders (man -w: '$where')"
        fi
    done

    if bash -c 'source /usr/share/bash-completion/completions/tavrel && complete -p tavrel' \
        >/dev/null 2>&1; then
        pass "installed bash completion registers for tavrel"
    else
        fail "installed bash completion registers for tavrel"
    fi

    if apt-get purge -y -qq tavrel >"$work/apt.log" 2>&1; then
        installed_here=no
    else
        cat "$work/apt.log"
    fi
    if ! dpkg-query -W -f='${Status}' tavrel 2>/dev/null | grep -q ' installed$' &&
        [[ ! -e /usr/bin/tavrel-play && ! -e /usr/share/man/man1/tavrel.1 ]]; then
        pass "package removed again, files gone"
    else
        fail "package removed again, files gone"
    fi
fi

# ---- the Windows zip ----------------------------------------------------
zip=$win_build/$(cpack_value "$win_build" CPACK_PACKAGE_FILE_NAME).zip
if [[ ! -f $zip ]]; then
    echo "no $zip: run make package-windows first"
    exit 1
fi
top=$(basename "$zip" .zip)/
expected_list windows_zip_files.txt docs/ .txt "$top" >"$work/expected-zip"
same_files "Windows zip file list" "$work/expected-zip" <(unzip -Z1 "$zip" | grep -v '/$')

unzip -q "$zip" -d "$work/zip"
unpacked=$work/zip/$top
crlf_only=yes
txt_names=yes
for text in "$unpacked"README.txt "$unpacked"docs/*.txt; do
    # Every line ends in CRLF: no LF without its CR.
    if [[ $(grep -c $'\r$' "$text") != $(grep -c '' "$text") ]]; then
        crlf_only=no
        echo "  not CRLF throughout: ${text#"$unpacked"}"
    fi
    # The pages are .txt in the zip, and so are the names that link them.
    if grep -n '[A-Za-z0-9]\.md\b' "$text"; then
        txt_names=no
        echo "  names a .md page: ${text#"$unpacked"}"
    fi
done
if [[ $crlf_only == yes ]]; then pass "zipped text has CRLF line ends"; else fail "zipped text has CRLF line ends"; fi
if [[ $txt_names == yes ]]; then pass "zipped text names its pages .txt"; else fail "zipped text names its pages .txt"; fi

if command -v wine >/dev/null; then
    # The prefix that make test-windows sets up; made here if missing.
    export WINEPREFIX=$win_build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
    set +e
    wine "$unpacked"tavrel-play.exe >"$work/out" 2>&1 </dev/null
    status=$?
    answer=$(wine "$unpacked"tavrel.exe --version 2>&1 </dev/null | tr -d '\r')
    set -e
    wineserver -k 2>/dev/null || true
    if [[ $status == 1 ]] && grep -q '^Usage: ' "$work/out"; then
        pass "zipped tavrel-play.exe under Wine prints its usage and exits 1"
    else
        fail "zipped tavrel-play.exe under Wine prints its usage and exits 1 (status $status):"
        cat "$work/out"
    fi
    if [[ $answer == "tavrel $version" ]]; then
        pass "zipped tavrel.exe --version under Wine: $answer"
    else
        fail "zipped tavrel.exe --version under Wine: '$answer'"
    fi
else
    echo "SKIPPED running the zipped .exe files: no wine here"
fi

echo "check-package: $passed passed, $failures failed"
[[ $failures == 0 ]]
