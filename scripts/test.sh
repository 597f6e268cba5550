#!/usr/bin/env bash
# Builds and checks the library in stages; with no --stage it runs them all, in this order:
#   release   g++, warnings as errors: every test suite, the examples and the tour
#   package   the installed tree and the Debian packages: contents, control fields, SONAME,
#             lintian errors, and consumer programs built against them (nothing is installed
#             on or removed from this machine: the packages are unpacked into scratch trees)
#   docs      the API reference with Doxygen, any warning fails
#   asan      clang with AddressSanitizer and UndefinedBehaviorSanitizer: every suite and the
#             fuzz targets' short runs over their seed corpora
#   fuzz      the fuzz targets (in the asan build) for 30 s each after their seed corpora
#   tsan      g++ with ThreadSanitizer: every suite
#   coverage  g++ with gcov: every suite, then line and branch coverage of src/ with floors
#   windows   mingw-w64 cross build for 64-bit Windows: every suite, the examples and the tour
#             under Wine (each case counted), and the ZIP package's contents
#   aarch64   cross-built for aarch64 Linux, every suite under qemu-aarch64 (all optional
#             instructions), then the codec suites again with the portable code paths
#   s390x     cross-built for s390x Linux (big-endian), every suite under qemu-s390x
# A stage that needs another stage's build (package and docs need release, fuzz needs asan)
# builds it when it is missing. Each stage installs the Debian packages it lacks (apt's
# output goes to a log file), keeps its build and test logs under the output directory and
# ends with one summary line; the run ends with a table of the stages and the line
# "N passed, N failed, N skipped". The exit status is non-zero when anything failed.
#
# Usage: scripts/test.sh [--stage NAME]... [--help]
# Environment: ORLIX_TEST_DIR (build trees and logs; default build-test/), ORLIX_JOBS.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ORLIX_ROOT" || exit 1

ALL_STAGES=(release package docs asan fuzz tsan coverage windows aarch64 s390x)
COVERAGE_LINE_FLOOR=95
COVERAGE_BRANCH_FLOOR=85
FUZZ_SECONDS="${ORLIX_FUZZ_SECONDS:-30}"

usage() {
    cat <<EOF
usage: scripts/test.sh [--stage NAME]... [--help]

Runs the named stages (several --stage options run several), or all of them in this order:
  release   g++ with warnings as errors: every test suite, the examples and the tour
  package   install tree and Debian packages: contents, control fields, SONAME, lintian
            errors, consumers built against unpacked copies (needs the release build)
  docs      the API reference with Doxygen; any warning fails (needs the release build)
  asan      clang, AddressSanitizer + UndefinedBehaviorSanitizer: every suite and the
            fuzz targets over their seed corpora
  fuzz      every fuzz target for ${FUZZ_SECONDS} s after its seed corpus (needs the asan build)
  tsan      g++, ThreadSanitizer: every suite
  coverage  g++ with gcov: every suite, then lines >= ${COVERAGE_LINE_FLOOR}% and branches >= ${COVERAGE_BRANCH_FLOOR}% of src/
  windows   mingw-w64 build for 64-bit Windows: every suite, the examples and the tour
            under Wine (cases counted one by one), and the contents of the ZIP package
  aarch64   cross build for aarch64 Linux: every suite under qemu-aarch64 with all optional
            instructions (CRC32, PMULL, SHA1), the codec suites again on the portable paths
  s390x     cross build for s390x Linux (big-endian): every suite under qemu-s390x

Build trees and logs go to \${ORLIX_TEST_DIR:-build-test}; ORLIX_JOBS sets the parallelism.
The last line reads "N passed, N failed, N skipped"; the exit status is non-zero on failure.
EOF
}

selected=()
while [ $# -gt 0 ]; do
    case "$1" in
    -h | --help)
        usage
        exit 0
        ;;
    --stage)
        [ $# -ge 2 ] || { usage >&2; exit 2; }
        selected+=("$2")
        shift 2
        ;;
    --stage=*)
        selected+=("${1#--stage=}")
        shift
        ;;
    *)
        echo "unknown argument: $1" >&2
        usage >&2
        exit 2
        ;;
    esac
done
if [ "${#selected[@]}" -eq 0 ]; then
    selected=("${ALL_STAGES[@]}")
fi
for name in "${selected[@]}"; do
    case " ${ALL_STAGES[*]} " in
    *" $name "*) ;;
    *)
        echo "unknown stage: $name (stages: ${ALL_STAGES[*]})" >&2
        exit 2
        ;;
    esac
done

OUT="${ORLIX_TEST_DIR:-$ORLIX_ROOT/build-test}"
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
export ORLIX_INSTALL_LOG="$OUT/apt.log"

# Per stage: counts, time and a note, for the final table.
declare -A S_PASSED S_FAILED S_SKIPPED S_TIME S_NOTE
# The stage that is running now, its counts and the names of what it skipped.
CUR=""
passed=0
failed=0
skipped=0
skipped_names=()
failed_names=()

pass() { passed=$((passed + 1)); }
fail() { # <what>
    failed=$((failed + 1))
    failed_names+=("$1")
    echo "  FAILED: $1"
}

# need_packages <package...>: the Debian packages this stage needs; a failure counts as one.
need_packages() {
    orlix_install_packages "$@" || { fail "installing $*"; return 1; }
}

duration() { # <seconds>
    printf '%dm%02ds' $(($1 / 60)) $(($1 % 60))
}

# configure_build <name> <cmake args...>
#   Configures $OUT/<name> (once) and builds it; the logs are <name>.configure.log and
#   <name>.build.log next to it. False (with the log's tail shown) on failure.
configure_build() {
    local name="$1"
    shift
    local dir="$OUT/$name"
    if [ ! -f "$dir/build.ninja" ]; then
        echo "  configure $dir"
        if ! cmake -S . -B "$dir" -G Ninja -DORLIX_WERROR=ON "$@" >"$dir.configure.log" 2>&1; then
            tail -n 40 "$dir.configure.log"
            fail "$name: configure (log: $dir.configure.log)"
            rm -f "$dir/build.ninja"
            return 1
        fi
    fi
    echo "  build     $dir (log: $dir.build.log)"
    if ! cmake --build "$dir" -j "$ORLIX_JOBS" >"$dir.build.log" 2>&1; then
        grep -E -A12 'error:|FAILED:' "$dir.build.log" | head -n 60
        fail "$name: build (log: $dir.build.log)"
        return 1
    fi
}

# run_ctest <name> <log> [ctest args...]
#   Runs the tests of $OUT/<name> with their whole output in <log> and counts each test as
#   passed, failed or skipped (GTEST_SKIP and disabled tests); prints only what failed,
#   with its output, and the names of the skipped tests.
run_ctest() {
    local name="$1" log="$2"
    shift 2
    local dir="$OUT/$name"
    local total
    total="$( (cd "$dir" && ctest -N "$@") 2>/dev/null | sed -n 's/^Total Tests: //p')"
    echo "  test      ${total:-?} tests, $ORLIX_JOBS at a time (log: $log)"
    (cd "$dir" && ctest --output-on-failure --no-label-summary -j "$ORLIX_JOBS" "$@") >"$log" 2>&1
    local rc=$?

    # One status line per test: " 12/340 Test  #17: Suite.name ....   Passed    0.01 sec".
    local results
    results="$(awk '
        /^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: / {
            line = $0
            sub(/^.*Test +#[0-9]+: /, "", line)
            split(line, words, " ")
            if ($0 ~ / Passed /) print "P " words[1]
            else if ($0 ~ /\*\*\*Skipped|Not Run \(Disabled\)/) print "S " words[1]
            else print "F " words[1]
        }' "$log")"
    local p s f
    p="$(grep -c '^P ' <<<"$results")"
    s="$(grep -c '^S ' <<<"$results")"
    f="$(grep -c '^F ' <<<"$results")"
    passed=$((passed + p))
    skipped=$((skipped + s))
    if [ "$f" -gt 0 ]; then
        # Each failed test's status line and its output, up to the next test's status line
        # (60 lines of it at most; the first ten failed tests; the rest are in the log).
        awk '
            /^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: / {
                show = ($0 !~ / Passed / && $0 !~ /\*\*\*Skipped|Not Run \(Disabled\)/)
                shown = 0
                if (show && ++failures > 10) show = 0
            }
            /^ *Start +[0-9]+: / || /^[0-9]+% tests passed/ { show = 0 }
            show && shown < 60 { print "  | " $0; shown++ }
            END { if (failures > 10) print "  | ... and " failures - 10 " more failed tests" }
        ' "$log"
        local n
        while read -r n; do
            failed=$((failed + 1))
            failed_names+=("$n")
        done < <(sed -n 's/^F //p' <<<"$results")
    elif [ "$rc" -ne 0 ]; then
        tail -n 20 "$log"
        fail "$name: ctest exited with status $rc (log: $log)"
    fi
    if [ "$s" -gt 0 ]; then
        local n
        while read -r n; do
            skipped_names+=("$n")
        done < <(sed -n 's/^S //p' <<<"$results")
    fi
    echo "  tests     $p passed, $f failed, $s skipped"
}

begin_stage() { # <name>
    CUR="$1"
    passed=0
    failed=0
    skipped=0
    skipped_names=()
    failed_names=()
    STAGE_START=$SECONDS
    echo
    echo "==== stage $CUR ===="
}

end_stage() { # [note]
    local t=$((SECONDS - STAGE_START))
    S_PASSED[$CUR]=$passed
    S_FAILED[$CUR]=$failed
    S_SKIPPED[$CUR]=$skipped
    S_TIME[$CUR]=$t
    S_NOTE[$CUR]="${1:-}"
    if [ "$skipped" -gt 0 ]; then
        echo "  skipped: ${skipped_names[*]}"
    fi
    local verdict="passed"
    if [ "$failed" -gt 0 ]; then
        verdict="FAILED (${failed_names[*]:0:8}"
        [ "$failed" -le 8 ] || verdict+=" and $((failed - 8)) more"
        verdict+=")"
    fi
    echo "stage $CUR: $verdict: $passed passed, $failed failed, $skipped skipped in $(duration "$t")${1:+; $1}"
}

# ---------------------------------------------------------------------------------------
# The build trees.
# ---------------------------------------------------------------------------------------
build_release() {
    configure_build release -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
}

build_asan() {
    need_packages "${ORLIX_CLANG_PACKAGES[@]}" || return 1
    configure_build asan -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DORLIX_SANITIZE=address,undefined -DORLIX_BUILD_FUZZ=ON
}

# ---------------------------------------------------------------------------------------
# The stages.
# ---------------------------------------------------------------------------------------
stage_release() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" || return
    build_release || return
    run_ctest release "$OUT/release.ctest.log"
}

stage_asan() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" || return
    build_asan || return
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
        UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
        run_ctest asan "$OUT/asan.ctest.log"
}

stage_tsan() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" || return
    configure_build tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
        -DORLIX_SANITIZE=thread || return
    TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}" \
        run_ctest tsan "$OUT/tsan.ctest.log"
}

stage_fuzz() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" || return
    build_asan || return
    local log="$OUT/fuzz.log"
    if [ -f scripts/fuzz.sh ]; then
        echo "  fuzz      every target for ${FUZZ_SECONDS} s (log: $log)"
        if bash scripts/fuzz.sh "$OUT/asan" "$FUZZ_SECONDS" "$ORLIX_JOBS" >"$log" 2>&1; then
            pass
        else
            fail "fuzz: findings or errors (log: $log)"
        fi
        # The script's table: what ran, for how long, what it found.
        tail -n 25 "$log" | sed 's/^/  | /'
    else
        echo "  fuzz      scripts/fuzz.sh is missing: the fuzz targets' seed-corpus runs instead"
        run_ctest asan "$log" -L fuzz
    fi
}

stage_coverage() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" "${ORLIX_COVERAGE_PACKAGES[@]}" || return
    local dir="$OUT/coverage"
    configure_build coverage -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DORLIX_COVERAGE=ON || return
    # Counters of an earlier run would add to this one's.
    find "$dir" -name '*.gcda' -delete
    run_ctest coverage "$OUT/coverage.ctest.log"

    # Branches that only an exception could take (every call that may throw has one) and
    # branches the compiler proved unreachable are not branches of the code as written.
    local report="$OUT/coverage.txt" log="$OUT/coverage.gcovr.log"
    # A kernel for instructions this CPU lacks cannot run here: it is not counted (its tests
    # hold it to the portable path on a CPU that has them).
    local uncounted=()
    if ! grep -qw avx512bw /proc/cpuinfo 2>/dev/null || ! grep -qw avx512vbmi /proc/cpuinfo 2>/dev/null; then
        uncounted+=(--exclude 'src/utils/x86/base64_avx512\.cpp')
        echo "  not counted: src/utils/x86/base64_avx512.cpp (this CPU has no AVX-512 VBMI)"
    fi
    echo "  gcovr     src/ (report: $report, log: $log)"
    if ! gcovr --root . --filter 'src/' "${uncounted[@]}" --object-directory "$dir" \
        --exclude-throw-branches --exclude-unreachable-branches \
        -j "$ORLIX_JOBS" --print-summary --output "$report" "$dir" >"$log" 2>&1; then
        tail -n 20 "$log"
        fail "coverage: gcovr (log: $log)"
        return
    fi
    local lines branches
    lines="$(sed -n 's/^lines: *\([0-9.]*\)%.*/\1/p' "$log" | tail -1)"
    branches="$(sed -n 's/^branches: *\([0-9.]*\)%.*/\1/p' "$log" | tail -1)"
    echo "coverage: lines ${lines:-?}%, branches ${branches:-?}%"
    COVERAGE_NOTE="lines ${lines:-?}%, branches ${branches:-?}%"
    if [ -z "$lines" ] || [ -z "$branches" ]; then
        fail "coverage: no summary from gcovr (log: $log)"
    elif awk -v l="$lines" -v b="$branches" -v lf="$COVERAGE_LINE_FLOOR" -v bf="$COVERAGE_BRANCH_FLOOR" \
        'BEGIN { exit !(l + 0 >= lf && b + 0 >= bf) }'; then
        pass
    else
        fail "coverage below the floors (lines ${COVERAGE_LINE_FLOOR}%, branches ${COVERAGE_BRANCH_FLOOR}%); per-file figures and missed lines in $report"
    fi
}

# The package stage. Nothing is installed on this machine: the install tree goes to a
# scratch prefix, the .deb files are inspected with dpkg-deb and lintian and unpacked into
# a scratch root, and consumer programs are built against both.

check() { # <description> <command...>: one counted check, its output to the package log
    local what="$1"
    shift
    if "$@" >>"$PKG_LOG" 2>&1; then
        pass
        echo "  ok        $what"
    else
        fail "$what (log: $PKG_LOG)"
    fi
}

# consumer_cmake <prefix> <build dir>: examples/consumer configured with find_package(Orlix)
# against the prefix; both of its programs (shared and static) run.
consumer_cmake() {
    local prefix="$1" dir="$2" libdir
    libdir="$(dirname "$(find "$prefix" -name 'liborlix.so.1' | head -1)")"
    rm -rf "$dir"
    cmake -S examples/consumer -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" &&
        cmake --build "$dir" &&
        LD_LIBRARY_PATH="$libdir" "$dir/consumer" &&
        "$dir/consumer_static"
}

# consumer_pkgconfig <prefix> <build dir>: the README's pkg-config command, with the run
# path it recommends for a private prefix; the program starts without LD_LIBRARY_PATH.
consumer_pkgconfig() {
    local prefix="$1" dir="$2" pcdir
    pcdir="$(dirname "$(find "$prefix" -name orlix.pc | head -1)")"
    mkdir -p "$dir"
    export PKG_CONFIG_PATH="$pcdir"
    # shellcheck disable=SC2046 # pkg-config's output is a list of options
    g++ -std=c++17 -o "$dir/consumer_pc" examples/consumer/consumer.cpp \
        $(pkg-config --cflags --libs orlix) -Wl,-rpath,"$(pkg-config --variable=libdir orlix)" &&
        env -u LD_LIBRARY_PATH "$dir/consumer_pc"
    local rc=$?
    unset PKG_CONFIG_PATH
    return $rc
}

# deb_field <deb> <field>
deb_field() { dpkg-deb --field "$1" "$2"; }

# deb_has <deb> <path...>: every path is in the package.
deb_has() {
    local deb="$1" path listing
    shift
    listing="$(dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')"
    for path in "$@"; do
        grep -qxF "$path" <<<"$listing" || { echo "$(basename "$deb") lacks $path"; return 1; }
    done
}

# deb_control <deb> <package> <section> <depends regex>: the control fields a user's apt sees.
deb_control() {
    local deb="$1" arch
    arch="$(dpkg --print-architecture)"
    dpkg-deb --info "$deb"
    [ "$(deb_field "$deb" Package)" = "$2" ] &&
        [ "$(deb_field "$deb" Version)" = "$VERSION" ] &&
        [ "$(deb_field "$deb" Architecture)" = "$arch" ] &&
        [ "$(deb_field "$deb" Section)" = "$3" ] &&
        [ -n "$(deb_field "$deb" Maintainer)" ] &&
        [ -n "$(deb_field "$deb" Description)" ] &&
        grep -Eq "$4" <<<"$(deb_field "$deb" Depends)"
}

# deps_satisfied <deb>: every dependency outside this project is installed here in a version
# that satisfies it (what apt would check before installing the package).
deps_satisfied() {
    local deb="$1" dep name op version have ok=0
    while read -r dep; do
        [ -n "$dep" ] || continue
        name="${dep%% *}"
        case "$name" in liborlix*) continue ;; esac
        have="$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null)" ||
            { echo "$name: not installed"; ok=1; continue; }
        if [[ "$dep" =~ \((<<|<=|=|>=|>>)\ *([^\)]*)\) ]]; then
            op="${BASH_REMATCH[1]}"
            version="${BASH_REMATCH[2]}"
            case "$op" in
            '<<') op=lt ;; '<=') op=le ;; '=') op=eq ;; '>=') op=ge ;; '>>') op=gt ;;
            esac
            dpkg --compare-versions "$have" "$op" "$version" ||
                { echo "$name $have does not satisfy $dep"; ok=1; }
        fi
        echo "$dep: $have"
    done < <(deb_field "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ *|.*//')
    return $ok
}

# soname_is <library> <soname>
soname_is() {
    local found
    found="$(objdump -p "$1" | awk '$1 == "SONAME" { print $2 }')"
    echo "SONAME of $1: $found"
    [ "$found" = "$2" ]
}

# lintian: errors fail the check, except two accepted ones; warnings are kept in the log.
# Accepted errors, both because the packages are made by cpack from the build tree rather
# than from a Debian source package: no-copyright-file (no /usr/share/doc/<package>/copyright;
# the licence travels with the sources) and no-changelog (there is no Debian changelog to
# install). Warnings, accepted for the same reason: maintscript-calls-ldconfig (cpack writes postinst/postrm calling
# ldconfig next to the package's ldconfig trigger), no-manual-page (the orlix command is
# documented in docs/cli.md and by its --help), synopsis-too-long and
# extended-description-line-too-long (the summary is the project's one-line description),
# pkg-config-unavailable-for-cross-compilation (a tree configured for /usr/local puts
# orlix.pc in lib/, not in the multiarch directory).
lintian_errors() { # <deb...>
    lintian --tag-display-limit 0 --suppress-tags no-copyright-file,no-changelog \
        "$@" >"$OUT/lintian.log" 2>&1
    grep -v 'running with root privileges' "$OUT/lintian.log"
    ! grep -q '^E: ' "$OUT/lintian.log"
}

stage_package() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" "${ORLIX_PACKAGE_PACKAGES[@]}" || return
    build_release || return
    PKG_LOG="$OUT/package.log"
    : >"$PKG_LOG"
    echo "  checks    (log: $PKG_LOG)"
    VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/release/CMakeCache.txt")"

    local prefix="$OUT/package/prefix" root="$OUT/package/debroot"
    rm -rf "$OUT/package"
    mkdir -p "$OUT/package"
    check "install tree: cmake --install into a scratch prefix" \
        cmake --install "$OUT/release" --prefix "$prefix"
    check "install tree: a CMake consumer (shared and static) builds and runs" \
        consumer_cmake "$prefix" "$OUT/package/consumer-install"
    check "install tree: the README's pkg-config command builds a program that starts" \
        consumer_pkgconfig "$prefix" "$OUT/package/consumer-install-pc"

    rm -f "$OUT"/release/*.deb
    check "cpack makes the Debian packages" bash -c "cd '$OUT/release' && cpack -G DEB"
    local lib dev
    lib="$(ls "$OUT"/release/liborlix1_*.deb 2>/dev/null | head -1)"
    dev="$(ls "$OUT"/release/liborlix-dev_*.deb 2>/dev/null | head -1)"
    if [ -z "$lib" ] || [ -z "$dev" ]; then
        fail "package: liborlix1 and liborlix-dev .deb files"
        return
    fi
    local multiarch
    multiarch="$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$OUT/release/CMakeCache.txt")"
    check "liborlix1: control fields (name, version $VERSION, architecture, section, depends on libc6)" \
        deb_control "$lib" liborlix1 libs '(^|, )libc6( |,|$)'
    check "liborlix-dev: control fields (depends on liborlix1 (= $VERSION))" \
        deb_control "$dev" liborlix-dev libdevel "liborlix1 \(= $VERSION\)"
    check "liborlix1: contents (the shared library, its SONAME link, the orlix command)" \
        deb_has "$lib" "/usr/$multiarch/liborlix.so.$VERSION" "/usr/$multiarch/liborlix.so.1" \
        /usr/bin/orlix
    check "liborlix-dev: contents (headers, link, static library, CMake package, orlix.pc)" \
        deb_has "$dev" /usr/include/infra/orlix.h "/usr/$multiarch/liborlix.so" \
        "/usr/$multiarch/liborlix.a" "/usr/$multiarch/cmake/Orlix/OrlixConfig.cmake" \
        "/usr/$multiarch/cmake/Orlix/OrlixTargets.cmake" "/usr/$multiarch/pkgconfig/orlix.pc"
    check "liborlix1: its dependencies are satisfiable on this system" deps_satisfied "$lib"
    check "lintian: no errors but the accepted no-copyright-file, no-changelog" \
        lintian_errors "$lib" "$dev"

    check "unpack both packages into a scratch root" \
        bash -c "dpkg-deb -x '$lib' '$root' && dpkg-deb -x '$dev' '$root'"
    check "liborlix.so.1 has the SONAME liborlix.so.1" \
        soname_is "$root/usr/$multiarch/liborlix.so.1" liborlix.so.1
    check "unpacked packages: a CMake consumer (shared and static) builds and runs" \
        consumer_cmake "$root/usr" "$OUT/package/consumer-deb"
    check "unpacked packages: the pkg-config command builds a program that starts" \
        consumer_pkgconfig "$root/usr" "$OUT/package/consumer-deb-pc"
    check "unpacked packages: the orlix command runs" \
        bash -c "echo hello | LD_LIBRARY_PATH='$root/usr/$multiarch' '$root/usr/bin/orlix' base64"
}

stage_docs() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" "${ORLIX_DOCS_PACKAGES[@]}" || return
    # Doxygen may have been installed just now: the build tree looks for it again.
    if [ -f "$OUT/release/CMakeCache.txt" ] &&
        ! grep -q '^DOXYGEN_EXECUTABLE:FILEPATH=/' "$OUT/release/CMakeCache.txt"; then
        cmake "$OUT/release" -U 'DOXYGEN_*' >>"$OUT/release.configure.log" 2>&1
    fi
    build_release || return
    local log="$OUT/docs.log"
    echo "  doxygen   (log: $log)"
    if cmake --build "$OUT/release" --target docs >"$log" 2>&1; then
        pass
        echo "  ok        API reference in $OUT/release/docs/api/html/index.html"
    else
        cat "$log" "$OUT/release/docs/api/warnings.log" 2>/dev/null | head -n 50
        fail "docs: Doxygen warnings or errors (log: $log)"
    fi
}

# =======================================================================================
# The windows stage (begin). A cross build for 64-bit Windows with mingw-w64 (the toolchain
# file cmake/toolchains/x86_64-w64-mingw32.cmake); ctest starts the programs through Wine.
# Each suite executable is one ctest entry that runs its cases one process each
# (cmake/OrlixRunSuite.cmake) and lists them in suite-results/<suite>.txt: the stage counts
# those cases, not the ctest entries, and names the skipped ones with their reasons. The
# Wine prefix lives in the build tree; the stage ends with wineserver -k, so no Wine process
# outlives it. Last, cpack -G ZIP makes the Windows package, whose contents are checked.
# =======================================================================================
# windows_count <build dir> <ctest log>: counts the cases of every suite and the other ctest
# entries (examples, tour) into passed/failed/skipped.
windows_count() {
    local dir="$1" log="$2" f kind name rest
    for f in "$dir"/suite-results/*.txt; do
        [ -f "$f" ] || continue
        while read -r kind name rest; do
            case "$kind" in
            passed) passed=$((passed + 1)) ;;
            failed)
                failed=$((failed + 1))
                failed_names+=("$name")
                ;;
            skipped)
                skipped=$((skipped + 1))
                skipped_names+=("$name")
                ;;
            excluded)
                skipped=$((skipped + 1))
                skipped_names+=("$name")
                echo "  skip      $name: $rest"
                ;;
            esac
        done <"$f"
    done
    # The entries that are no suite: one program each.
    local entry
    while read -r entry; do
        case "$entry" in
        "P "*) passed=$((passed + 1)) ;;
        "F "*)
            failed=$((failed + 1))
            failed_names+=("${entry#F }")
            ;;
        esac
    done < <(awk '
        /^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: / {
            line = $0
            sub(/^.*Test +#[0-9]+: /, "", line)
            split(line, words, " ")
            if (words[1] ~ /^(test_|wine_session_)/) next
            print (($0 ~ / Passed /) ? "P " : "F ") words[1]
        }' "$log")
    # A suite whose runner failed before writing its results (a listing that crashed).
    local suite
    while read -r suite; do
        if [ ! -f "$dir/suite-results/$suite.txt" ]; then
            failed=$((failed + 1))
            failed_names+=("$suite")
        fi
    done < <(awk '/^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: test_/ && !/ Passed / {
            line = $0; sub(/^.*Test +#[0-9]+: /, "", line); split(line, w, " "); print w[1] }' "$log")
}

stage_windows() {
    need_packages "${ORLIX_WINDOWS_PACKAGES[@]}" || return
    local dir="$OUT/windows"
    mkdir -p "$dir"
    export WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all
    configure_build windows -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ORLIX_ROOT/cmake/toolchains/x86_64-w64-mingw32.cmake" || return
    local log="$OUT/windows.ctest.log"
    rm -rf "$dir/suite-results"
    echo "  test      every suite, the examples and the tour under Wine (log: $log)"
    (cd "$dir" && ctest --output-on-failure --no-label-summary -j "$ORLIX_JOBS") >"$log" 2>&1
    local rc=$?
    local before=$failed
    windows_count "$dir" "$log"
    if [ "$failed" -gt "$before" ]; then
        grep -E -A25 '^---- ' "$log" | head -n 80 | sed 's/^/  | /'
    elif [ "$rc" -ne 0 ]; then
        tail -n 20 "$log"
        fail "windows: ctest exited with status $rc (log: $log)"
    fi
    wineserver -k 2>/dev/null || true
    echo "  tests     $passed passed, $((failed - before)) failed, $skipped skipped"

    # The ZIP package: the DLL and its import library, the static library, the headers, the
    # CMake package and orlix.exe.
    local zlog="$OUT/windows.cpack.log"
    echo "  package   cpack -G ZIP (log: $zlog)"
    rm -f "$dir"/orlix-*.zip
    if ! (cd "$dir" && cpack -G ZIP) >"$zlog" 2>&1; then
        tail -n 20 "$zlog"
        fail "windows: cpack -G ZIP (log: $zlog)"
        return
    fi
    local zip
    zip="$(ls "$dir"/orlix-*.zip 2>/dev/null | head -n 1)"
    local listing
    listing="$(unzip -l "$zip" 2>>"$zlog")"
    local want
    for want in bin/liborlix.dll bin/orlix.exe lib/liborlix.dll.a lib/liborlix.a \
        include/infra/orlix.h include/infra/defs.h lib/cmake/Orlix/OrlixConfig.cmake \
        lib/cmake/Orlix/OrlixConfigVersion.cmake lib/cmake/Orlix/OrlixTargets.cmake; do
        if grep -qE "/$want\$" <<<"$listing"; then
            pass
        else
            fail "windows: $(basename "$zip") lacks $want"
        fi
    done
    echo "  package   $(basename "$zip"): $(grep -cE '^ +[0-9]+ ' <<<"$listing") files"
}
# The windows stage (end).
# =======================================================================================

# ---------------------------------------------------------------------------------------
# Cross stages: aarch64 and s390x Linux, built with Debian's cross compilers and the
# toolchain files of cmake/toolchains, the tests run under qemu-user (no binfmt needed: ctest
# starts every test through the toolchain's emulator). Peers the machine has no target build
# of (libcrypto, zlib, the C library's code page modules) are left out by the test tree; the
# golden-vector suite holds every codec to the bytes recorded on x86-64 instead.
# ---------------------------------------------------------------------------------------

# build_cross <package...>: installs the packages and builds $OUT/$CROSS_ARCH with the
# toolchain file of $CROSS_TRIPLE: the library, the orlix tool and the test suites (no
# examples, benchmarks or fuzz targets: the cross builds are about running the suites).
build_cross() {
    need_packages "${ORLIX_BUILD_PACKAGES[@]}" "$@" || return 1
    # -O2 without debug information: the same code as the release build's, built faster.
    configure_build "$CROSS_ARCH" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DCMAKE_TOOLCHAIN_FILE="$ORLIX_ROOT/cmake/toolchains/$CROSS_TRIPLE.cmake" \
        -DORLIX_BUILD_EXAMPLES=OFF -DORLIX_BUILD_BENCH=OFF -DORLIX_BUILD_FUZZ=OFF
}

stage_aarch64() {
    CROSS_ARCH=aarch64 CROSS_TRIPLE=aarch64-linux-gnu
    build_cross "${ORLIX_AARCH64_PACKAGES[@]}" || return
    # Every suite on the emulator's fullest CPU: the ARMv8 CRC32, PMULL and SHA1 paths run.
    QEMU_CPU=max run_ctest aarch64 "$OUT/aarch64.ctest.log"
    # The codec suites once more with the library held to its portable paths (qemu has no
    # CPU model without those instructions): the dispatch's other side.
    echo "  codecs    again with ORLIX_CPU=portable"
    QEMU_CPU=cortex-a53 ORLIX_CPU=portable run_ctest aarch64 "$OUT/aarch64.portable.ctest.log" -L codec
}

stage_s390x() {
    CROSS_ARCH=s390x CROSS_TRIPLE=s390x-linux-gnu
    build_cross "${ORLIX_S390X_PACKAGES[@]}" || return
    run_ctest s390x "$OUT/s390x.ctest.log"
}
# ------------------------------------------------------------- end of the cross stages --

# ---------------------------------------------------------------------------------------
RUN_START=$SECONDS
COVERAGE_NOTE=""
for name in "${selected[@]}"; do
    begin_stage "$name"
    "stage_$name"
    if [ "$name" = coverage ]; then
        end_stage "$COVERAGE_NOTE"
    else
        end_stage
    fi
done

total_p=0
total_f=0
total_s=0
echo
echo "==== summary ===="
printf '%-10s %7s %7s %8s %9s\n' stage passed failed skipped time
for name in "${selected[@]}"; do
    printf '%-10s %7d %7d %8d %9s  %s\n' "$name" "${S_PASSED[$name]}" "${S_FAILED[$name]}" \
        "${S_SKIPPED[$name]}" "$(duration "${S_TIME[$name]}")" "${S_NOTE[$name]}"
    total_p=$((total_p + S_PASSED[$name]))
    total_f=$((total_f + S_FAILED[$name]))
    total_s=$((total_s + S_SKIPPED[$name]))
done
echo "whole run: $(duration $((SECONDS - RUN_START))); logs in $OUT"
echo "$total_p passed, $total_f failed, $total_s skipped"
[ "$total_f" -eq 0 ]
