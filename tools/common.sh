# Shared by tools/run-card and tools/run-tests: installs the Debian packages
# the project needs when any is missing, and configures and builds.

# What the card, its tests and its tools need from Debian.
CARD_PACKAGES="cmake g++ make pkg-config libstb-dev libgl-dev libsdl2-dev libx11-dev fonts-dejavu-core \
libosmesa6-dev libgtest-dev xvfb xauth xdotool x11-utils imagemagick g++-mingw-w64-x86-64-posix wine wine64"

card_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
card_build="$card_root/build"
card_build_sanitized="$card_root/build-sanitize"

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

build_card() {
    cmake -S "$card_root" -B "$card_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$card_build" -j "$(nproc)"
}

build_card_sanitized() {
    cmake -S "$card_root" -B "$card_build_sanitized" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCARD_SANITIZE=ON >/dev/null
    cmake --build "$card_build_sanitized" -j "$(nproc)"
}
