# Shared by the scripts: the project root and installing what a fresh Debian machine lacks.
# shellcheck shell=bash

LUMIVEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Everything the build, the tests and the program need, by Debian package name.
LUMIVEX_PACKAGES=(
    cmake ninja-build g++ pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-format fonts-dejavu-core ccache
    libmosquitto-dev libcpp-httplib-dev mosquitto libsystemd-dev libssl-dev openssl
    chromium chromium-driver python3-selenium
    zlib1g-dev  # the gateway's pictures
    dpkg-dev file  # dpkg-shlibdeps and file: the Debian packages' dependencies
)

# What running the program needs beyond that: Qt's Wayland platform (X11's comes with Qt).
LUMIVEX_RUN_PACKAGES=(
    qt6-wayland
)

# Installs the named packages that are not installed yet; does nothing when all are there.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}
