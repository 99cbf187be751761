# Shared by the scripts: project root, build folder, and installing what is missing.
KV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages the build, the tests and the program need.
KV_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgtest-dev libgmock-dev
    libbenchmark-dev xvfb xauth dbus-daemon at-spi2-core fonts-ipafont-gothic qt6-translations-l10n libgl-dev xdotool imagemagick
    dpkg-dev)

kv_missing_packages() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    echo "${missing[@]}"
}

kv_install_packages() {
    local missing
    missing=$(kv_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing: $missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then sudo=sudo; else
            echo "These Debian packages are missing and I am not root: $missing" >&2
            return 1
        fi
    fi
    $sudo apt-get update -q
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
}

# kv_build DIR [cmake options...]
kv_build() {
    local dir=$1; shift
    cmake -S "$KV_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir"
}
