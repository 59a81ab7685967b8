# Shared by tools/run-card and tools/run-tests: installs the Debian packages
# the project needs when any is missing, and configures and builds.

# What the card, its tests and its tools need from Debian.
CARD_PACKAGES="cmake g++ make pkg-config libstb-dev libgl-dev libsdl2-dev libx11-dev fonts-dejavu-core \
libosmesa6-dev libgtest-dev xvfb xauth xdotool x11-utils imagemagick g++-mingw-w64-x86-64-posix wine wine64 \
clang libclang-rt-14-dev libbenchmark-dev"

card_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
card_build="$card_root/build"
card_build_sanitized="$card_root/build-sanitize"
card_build_fuzz="$card_root/build-fuzz"

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

build_card_fuzzers() {
    CC=clang CXX=clang++ cmake -S "$card_root" -B "$card_build_fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCARD_FUZZ=ON >/dev/null
    cmake --build "$card_build_fuzz" -j "$(nproc)" --target fuzz_name fuzz_png
}

# run_fuzzer TARGET SEEDS SECONDS: fuzzes from the committed seeds; a crash
# leaves its input under build-fuzz/crashes/ and fails the run.
run_fuzzer() {
    local corpus="$card_build_fuzz/corpus/$1" crashes="$card_build_fuzz/crashes"
    mkdir -p "$corpus" "$crashes"
    local status=0
    "$card_build_fuzz/tests/fuzz/$1" -max_total_time="$3" -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$crashes/$1-" "$corpus" "$card_root/tests/fuzz/corpus/$2" "$card_root/tests/fuzz/regressions" \
        >"$card_build_fuzz/$1.log" 2>&1 || status=$?
    grep -E '^(Done|==[0-9]+==|SUMMARY|artifact_prefix|Test unit written)' "$card_build_fuzz/$1.log" || true
    [ "$status" -eq 0 ] || tail -n 40 "$card_build_fuzz/$1.log"
    return "$status"
}
