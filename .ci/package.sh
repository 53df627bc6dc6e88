#!/usr/bin/env bash
# The packaging half of CI; run it by hand as well:  .ci/package.sh
#
# 1. install: `cmake --install` of the development build (which also holds the
#    tests and the generators) into a temporary prefix: exactly the programs,
#    manual pages, README, licence and example are installed; the installed
#    programs convert the installed example to the committed outputs; every
#    page reads cleanly with `man -l`.
# 2. deb and tar.gz (cmake --workflow --preset package): the .deb's contents
#    and control fields (dpkg-deb -c, -f); the programs run from the folder
#    dpkg-deb -x extracts it to, and from the unpacked .tar.gz.
# 3. zip (cmake --workflow --preset package-windows): holds the three static
#    programs, the README, the licence and the example; under wine they write
#    the same lines as the native programs, each ending in CR LF.
#
# Every check runs even after one has failed; the failures are listed at the
# end and the script exits 1. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
start=$(date +%s)

.ci/install-missing.sh cmake make g++ libgtest-dev dpkg-dev man-db groff-base unzip \
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64

step() { echo; echo "== $1 ($(( $(date +%s) - start )) s)"; }
failures=()
check() { # check DESCRIPTION COMMAND...: runs the command, records a failure
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures+=("$what"); fi
}

scratch=$(mktemp -d)
wine_started=
cleanup() {
  [ -z "$wine_started" ] || wine_env sh cmake/wine-session.sh stop "$wineserver" "$wine64" || true
  rm -rf "$scratch"
}
trap cleanup EXIT

programs=(meshconv animconv md5inspect)
example_files=(character.lwo character.lws character.md5anim character.md5mesh)

# The files an installation holds, relative to its prefix (the Unix layout).
unix_files() {
  local p
  for p in "${programs[@]}"; do echo "bin/$p"; echo "share/man/man1/$p.1.gz"; done
  echo share/doc/lwmd5/LICENSE
  echo share/doc/lwmd5/README.md
  for p in "${example_files[@]}"; do echo "share/doc/lwmd5/examples/$p"; done
}

# same_list NAME EXPECTED ACTUAL: both are lists of lines, order aside.
same_list() {
  if diff <(sort <<<"$2") <(sort <<<"$3") >"$scratch/list.diff"; then return 0; fi
  echo "   $1 differs (< expected, > found):"
  sed 's/^/     /' "$scratch/list.diff"
  return 1
}

# Runs one program in the folder $work: stdout, stderr and status kept.
run_in() { # run_in WORK NAME COMMAND...
  local work=$1 name=$2
  shift 2
  local status=0
  (cd "$work" && "$@" >"$name.out" 2>"$name.err") || status=$?
  echo "$status" >"$work/$name.status"
}
status_is() { [ "$(cat "$1.status")" = "$2" ] || { echo "   status $(cat "$1.status"), stderr:"; sed 's/^/     /' "$1.err"; return 1; }; }
last_line_is() { [ "$(tail -n 1 "$1" | tr -d '\r')" = "$2" ] || { echo "   last line: '$(tail -n 1 "$1")'"; return 1; }; }

# Converts the example an installation holds with the programs it holds, and
# checks the outputs against the committed ones:
#   convert_example LABEL BINDIR EXAMPLEDIR
convert_example() {
  local label=$1 bin=$2 examples=$3
  local work
  work=$(mktemp -d "$scratch/run.XXXX")
  for f in "${example_files[@]}"; do
    check "$label: examples/$f is the committed one" cmp "$examples/$f" "examples/$f"
  done
  cp "$examples/character.lws" "$examples/character.lwo" "$work/"
  run_in "$work" meshconv "$bin/meshconv" character.lws character.lwo
  run_in "$work" animconv "$bin/animconv" character.lws character.lwo
  check "$label: meshconv converts the example" status_is "$work/meshconv" 0
  check "$label: animconv converts the example" status_is "$work/animconv" 0
  check "$label: its md5mesh is the committed one" cmp "$work/character.md5mesh" examples/character.md5mesh
  check "$label: its md5anim is the committed one" cmp "$work/character.md5anim" examples/character.md5anim
  run_in "$work" inspect "$bin/md5inspect" character.md5mesh character.md5anim
  check "$label: md5inspect finds no error in the outputs" status_is "$work/inspect" 0
  check "$label: md5inspect reports on stdout" test -s "$work/inspect.out"
  for p in "${programs[@]}"; do
    run_in "$work" "$p-version" "$bin/$p" --version
    check "$label: $p --version" status_is "$work/$p-version" 0
    check "$label: $p --version ends in '$p $version'" last_line_is "$work/$p-version.out" "$p $version"
  done
}

# man -l shows the page without a warning, with every section a page needs.
check_manual_page() { # check_manual_page PAGE.1.gz PROGRAM
  local page=$1 program=$2 text="$scratch/page.txt"
  [ -f "$page" ] || { echo "   no $page"; return 1; }
  # The C locale: plain ASCII, so that awk counts columns.
  LC_ALL=C MANWIDTH=80 MANPAGER=cat PAGER=cat man --warnings -l "$page" >"$text" 2>"$text.err" || { cat "$text.err"; return 1; }
  if [ -s "$text.err" ]; then sed 's/^/   /' "$text.err"; return 1; fi
  zcat "$page" | groff -man -ww -z 2>"$text.err"
  if [ -s "$text.err" ]; then sed 's/^/   /' "$text.err"; return 1; fi
  local section
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
    grep -qx "$section" "$text" || { echo "   no section $section"; return 1; }
  done
  grep -qE "^ +$program - " "$text" || { echo "   NAME does not begin with $program"; return 1; }
  grep -q "lwmd5 $version" "$text" || { echo "   the footer does not name lwmd5 $version"; return 1; }
  awk 'length > 80 { print "   line longer than 80 columns: " $0; bad = 1 } END { exit bad }' "$text"
}

# ------------------------------------------------------------------ install
step "install: the development build into a temporary prefix"
cmake --preset dev >/dev/null
cmake --build --preset dev
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/dev/CMakeCache.txt)
echo "project version: $version"
prefix=$scratch/prefix
cmake --install build/dev --prefix "$prefix"
check "install: exactly the programs, pages, README, licence and example" \
  same_list "installed files" "$(unix_files)" "$(cd "$prefix" && find . -type f -printf '%P\n')"
convert_example install "$prefix/bin" "$prefix/share/doc/lwmd5/examples"
for p in "${programs[@]}"; do
  check "install: man -l $p.1" check_manual_page "$prefix/share/man/man1/$p.1.gz" "$p"
done

# ---------------------------------------------------------- deb and tar.gz
step "deb and tar.gz: cmake --workflow --preset package"
cmake --workflow --preset package
deb=build/package/lwmd5_${version}_amd64.deb
tgz=build/package/lwmd5-${version}-linux-x86_64.tar.gz
check "deb: $deb was made" test -f "$deb"
check "tar.gz: $tgz was made" test -f "$tgz"
if [ -f "$deb" ]; then
  dpkg-deb -c "$deb" >"$scratch/deb.list"
  check "deb: holds exactly the programs, pages, README, licence and example under /usr" \
    same_list "dpkg-deb -c" "$(unix_files | sed 's|^|./usr/|')" "$(awk '/^-/ { print $6 }' "$scratch/deb.list")"
  check "deb: programs are root's, mode 755" \
    test "$(awk '/^-/ && $6 ~ "^./usr/bin/" { print $1, $2 }' "$scratch/deb.list" | sort -u)" = "-rwxr-xr-x root/root"
  field() { dpkg-deb -f "$deb" "$1"; }
  check "deb: Package lwmd5" test "$(field Package)" = lwmd5
  check "deb: Version $version" test "$(field Version)" = "$version"
  check "deb: Architecture amd64" test "$(field Architecture)" = amd64
  check "deb: a Maintainer with an address" grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$(field Maintainer)"
  # dpkg-shlibdeps names the C and C++ runtimes, with versions.
  check "deb: Depends filled in by dpkg-shlibdeps" grep -qE 'libc6 \(>= [0-9.]+\).*libstdc\+\+6 \(>= [0-9.]+\)' <<<"$(field Depends)"
  check "deb: a Description with a summary and a paragraph" test "$(field Description | wc -l)" -ge 3
  dpkg-deb -f "$deb" | sed 's/^/   /'
  dpkg-deb -x "$deb" "$scratch/deb"
  convert_example deb "$scratch/deb/usr/bin" "$scratch/deb/usr/share/doc/lwmd5/examples"
  for p in "${programs[@]}"; do
    check "deb: man -l $p.1" check_manual_page "$scratch/deb/usr/share/man/man1/$p.1.gz" "$p"
  done
fi
if [ -f "$tgz" ]; then
  top=lwmd5-${version}-linux-x86_64
  check "tar.gz: holds exactly the programs, pages, README, licence and example in $top/" \
    same_list "tar -t" "$(unix_files | sed "s|^|$top/|")" "$(tar -tzf "$tgz" | grep -v '/$')"
  mkdir "$scratch/tgz"
  tar -xzf "$tgz" -C "$scratch/tgz"
  convert_example tar.gz "$scratch/tgz/$top/bin" "$scratch/tgz/$top/share/doc/lwmd5/examples"
fi

# ---------------------------------------------------------------------- zip
step "zip: cmake --workflow --preset package-windows"
cmake --workflow --preset package-windows
zip=build/windows-release/lwmd5-${version}-windows-x86_64.zip
top=lwmd5-${version}-windows-x86_64
check "zip: $zip was made" test -f "$zip"
if [ -f "$zip" ]; then
  zip_files() {
    local p
    for p in "${programs[@]}"; do echo "$top/$p.exe"; done
    echo "$top/LICENSE"
    echo "$top/README.md"
    for p in "${example_files[@]}"; do echo "$top/examples/$p"; done
  }
  check "zip: holds exactly the three programs, README, licence and example in $top/" \
    same_list "unzip -Z1" "$(zip_files)" "$(unzip -Z1 "$zip" | grep -v '/$')"
  unzip -q "$zip" -d "$scratch/zip"
  windows=$scratch/zip/$top
  for f in "${example_files[@]}"; do
    check "zip: examples/$f is the committed one" cmp "$windows/examples/$f" "examples/$f"
  done
  # Static: no mingw runtime DLL is needed beside the programs.
  no_mingw_dll() {
    [ -f "$1" ] || return 1
    ! x86_64-w64-mingw32-objdump -p "$1" | grep -iE 'DLL Name: *lib(stdc\+\+|gcc|winpthread)'
  }
  for p in "${programs[@]}"; do
    check "zip: $p.exe needs no mingw runtime DLL" no_mingw_dll "$windows/$p.exe"
  done

  # The wine prefix of the Windows suite when CI has just made it, else one
  # for the release build (about 20 s and 700 MB, once).
  wine64=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver
  WINEPREFIX=$source/build/windows/wineprefix
  [ -f "$WINEPREFIX/system.reg" ] || WINEPREFIX=$source/build/windows-release/wineprefix
  wine_env() {
    env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$@"
  }
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the wine prefix $WINEPREFIX"
    wine_env "$wine64" wineboot --init >/dev/null 2>&1
    wine_env "$wineserver" --wait
  fi
  # One wine server for every run, its services' output away from the runs'.
  wine_env sh cmake/wine-session.sh start "$wineserver" "$wine64"
  wine_started=yes

  native=$(mktemp -d "$scratch/native.XXXX")
  wine=$(mktemp -d "$scratch/wine.XXXX")
  cp examples/character.lws examples/character.lwo "$native/"
  cp "$windows/examples/character.lws" "$windows/examples/character.lwo" "$wine/"
  runs=(meshconv animconv inspect meshconv-version animconv-version md5inspect-version)
  run_both() { # run_both NAME PROGRAM ARGUMENTS...
    local name=$1 program=$2
    shift 2
    run_in "$native" "$name" "$source/build/package/bin/$program" "$@"
    run_in "$wine" "$name" wine_env "$wine64" "$windows/$program.exe" "$@"
  }
  run_both meshconv meshconv character.lws character.lwo
  run_both animconv animconv character.lws character.lwo
  run_both inspect md5inspect character.md5mesh character.md5anim
  for p in "${programs[@]}"; do run_both "$p-version" "$p" --version; done

  # Every line ends in CR LF, and without the CRs the text is the native one.
  crlf_lines_as() { # crlf_lines_as WINDOWS-FILE NATIVE-FILE
    local lines crlf
    lines=$(wc -l <"$1")
    crlf=$(grep -c $'\r$' "$1" || true)
    [ "$lines" = "$crlf" ] || { echo "   $(basename "$1"): $crlf of $lines lines end in CR LF"; return 1; }
    [ ! -s "$1" ] || [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ] || { echo "   $(basename "$1"): no line end at the end"; return 1; }
    sed 's/\r$//' "$1" | diff "$2" - >"$scratch/crlf.diff" || { echo "   $(basename "$1") differs from the native one:"; head -n 20 "$scratch/crlf.diff" | sed 's/^/     /'; return 1; }
  }
  check "zip: meshconv.exe converts the example under wine" status_is "$wine/meshconv" 0
  check "zip: animconv.exe converts the example under wine" status_is "$wine/animconv" 0
  check "zip: md5inspect.exe finds no error in its outputs" status_is "$wine/inspect" 0
  check "zip: character.md5mesh: the native lines, in CR LF" crlf_lines_as "$wine/character.md5mesh" "$native/character.md5mesh"
  check "zip: character.md5anim: the native lines, in CR LF" crlf_lines_as "$wine/character.md5anim" "$native/character.md5anim"
  check "zip: the native build writes the committed files" cmp "$native/character.md5mesh" examples/character.md5mesh
  check "zip: ... and the committed md5anim" cmp "$native/character.md5anim" examples/character.md5anim
  for run in "${runs[@]}"; do
    check "zip: $run: the status of the native run" test "$(cat "$wine/$run.status")" = "$(cat "$native/$run.status")"
    check "zip: $run: stdout has the native lines, in CR LF" crlf_lines_as "$wine/$run.out" "$native/$run.out"
    check "zip: $run: stderr has the native lines, in CR LF" crlf_lines_as "$wine/$run.err" "$native/$run.err"
  done
fi

step "done"
echo "packages:"
ls -l "$deb" "$tgz" "$zip" 2>/dev/null | awk '{ print "  " $5 " bytes  " $NF }'
if [ ${#failures[@]} -gt 0 ]; then
  echo "${#failures[@]} check(s) failed:"
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "every packaging check passed"
