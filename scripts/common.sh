# Shared by the scripts in this directory: package installation and build settings.
# Sourced, not run.

ORLIX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ORLIX_JOBS="${ORLIX_JOBS:-$(nproc 2>/dev/null || echo 2)}"

# orlix_install_packages <package...>
#   Installs the Debian packages that are not installed yet (with apt-get, through sudo when
#   not root). Does nothing when all are present, so repeated runs stay fast and offline.
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
    echo "== installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What building and testing the library needs on a fresh Debian machine.
ORLIX_BUILD_PACKAGES=(
    build-essential g++ cmake ninja-build pkg-config dpkg-dev file
    libgtest-dev libgmock-dev googletest
    clang libclang-rt-14-dev llvm
    libssl-dev zlib1g-dev
    doxygen
)
