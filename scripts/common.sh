# Shared by the scripts in this directory: package installation and build settings.
# Sourced, not run.

ORLIX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ORLIX_JOBS="${ORLIX_JOBS:-$(nproc 2>/dev/null || echo 2)}"

# orlix_install_packages <package...>
#   Installs the Debian packages that are not installed yet (with apt-get, through sudo when
#   not root). Does nothing when all are present, so repeated runs stay fast and offline.
#   apt's own output goes to ORLIX_INSTALL_LOG (default: orlix-apt.log in the temporary
#   directory) and is shown only when the installation fails. Returns non-zero on failure.
orlix_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    local log="${ORLIX_INSTALL_LOG:-${TMPDIR:-/tmp}/orlix-apt.log}"
    echo "installing ${missing[*]} (apt log: $log)"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    if ! {
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
            $sudo env DEBIAN_FRONTEND=noninteractive \
                apt-get install -y -q --no-install-recommends "${missing[@]}"
    } >>"$log" 2>&1; then
        tail -n 40 "$log"
        echo "installing ${missing[*]} FAILED (whole apt log: $log)"
        return 1
    fi
}

# What building and running the release test suite needs on a fresh Debian machine (the
# openssl program is the peer the orlix command's DES tests compare with). The other stages
# of scripts/test.sh add their own lists below; scripts/bench.sh adds the benchmarks' peers.
ORLIX_BUILD_PACKAGES=(
    build-essential g++ cmake ninja-build pkg-config dpkg-dev file
    libgtest-dev libgmock-dev googletest
    libssl-dev zlib1g-dev openssl
)
# Sanitizer builds and the fuzz targets (clang, its runtime libraries, llvm-symbolizer).
ORLIX_CLANG_PACKAGES=(clang libclang-rt-14-dev llvm)
# The API reference.
ORLIX_DOCS_PACKAGES=(doxygen)
# Line and branch coverage reports.
ORLIX_COVERAGE_PACKAGES=(gcovr)
# Checks on the Debian packages.
ORLIX_PACKAGE_PACKAGES=(lintian binutils)
# Cross builds run under qemu-user: Debian's cross compilers (with their target C and C++
# libraries), the emulators, and GoogleTest's sources (built for the target).
ORLIX_AARCH64_PACKAGES=(g++-aarch64-linux-gnu qemu-user libgtest-dev)
ORLIX_S390X_PACKAGES=(g++-s390x-linux-gnu qemu-user libgtest-dev)
# The windows stage: the mingw-w64 cross compiler (POSIX thread model), Wine to run the
# programs, GoogleTest's sources (built for the target) and unzip for the package check.
ORLIX_WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 libgtest-dev unzip)
