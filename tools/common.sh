# Shared by tools/run-card and tools/run-tests: installs the Debian packages
# that are missing, and configures and builds.

# What building and running the card needs; the virtual display's tools,
# for machines without a display; and what the tests add (the offscreen
# renderer, test and benchmark libraries, the Windows cross-compiler and
# Wine, clang for the fuzzer, the asset generator's font).
CARD_PACKAGES="cmake g++ make pkg-config libstb-dev libgl-dev libsdl2-dev"
DISPLAY_PACKAGES="xvfb xauth xdotool x11-utils imagemagick"
TEST_PACKAGES="$CARD_PACKAGES $DISPLAY_PACKAGES libx11-dev fonts-dejavu-core libosmesa6-dev libgtest-dev \
libbenchmark-dev g++-mingw-w64-x86-64-posix wine wine64 clang libclang-rt-14-dev"

WEB_PACKAGES="cmake make libstb-dev emscripten ffmpeg zopfli"
# The page's still is the card drawn offscreen by a native build.
STILL_PACKAGES="$CARD_PACKAGES libosmesa6-dev"
# The browser tests drive Debian's chromium and firefox-esr with
# puppeteer-core, and WebKitGTK's MiniBrowser through its WebDriver with
# selenium-webdriver, both from npm (Node.js from Debian where there is
# none); Firefox and WebKit draw on a virtual display and play into a
# silent PulseAudio. The tune is AAC: Firefox decodes it with the system's
# libavcodec, WebKitGTK with GStreamer's libav plugin. Names in the world's
# scripts need fonts for them (Noto, with colour emoji), and the tests read
# them back with Tesseract's OCR in each script's language. WebKitGTK takes
# the reader's language from the system's locale, which must be installed.
BROWSER_PACKAGES="chromium firefox-esr webkit2gtk-driver pulseaudio xvfb xauth libavcodec59 gstreamer1.0-libav locales \
fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji tesseract-ocr tesseract-ocr-rus tesseract-ocr-ell tesseract-ocr-pol \
tesseract-ocr-chi-sim tesseract-ocr-jpn tesseract-ocr-kor tesseract-ocr-ara tesseract-ocr-heb tesseract-ocr-hin tesseract-ocr-tha"

card_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
card_build="$card_root/build"
card_build_sanitized="$card_root/build-sanitize"
card_build_fuzz="$card_root/build-fuzz"
card_build_web="$card_root/build-web"
card_build_still="$card_root/build-still"

# install_missing [--no-install-recommends] PACKAGE...
install_missing() {
    local missing=() options=()
    [ "${1:-}" != --no-install-recommends ] || { options=("$1"); shift; }
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}

# install_locales LOCALE...: each of them (de_DE) in UTF-8, where missing.
install_locales() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    for name in "$@"; do
        locale -a 2>/dev/null | grep -qx "$name.utf8" || $sudo localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
}

# Debian's emcc runs on Debian's own Python and its JavaScript modules, even
# where another python3 or node comes first on the PATH: also for every
# later "cmake --build build-web". Its Closure pass runs the compiler that
# web/package.json pins (Debian's is too old for Emscripten's JavaScript).
use_debian_emscripten() {
    export EMSDK_PYTHON=/usr/bin/python3 NODE_PATH=/usr/share/nodejs \
        EM_CLOSURE_COMPILER="$card_root/web/node_modules/google-closure-compiler-linux/compiler"
}

# build_in FOLDER CMAKE-OPTIONS... [-- BUILD-OPTIONS...]
build_in() {
    local folder=$1 configure=()
    shift
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do configure+=("$1"); shift; done
    [ $# -eq 0 ] || shift
    cmake -S "$card_root" -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
    cmake --build "$folder" -j "$(nproc)" "$@"
}

# run_fuzzer SECONDS: fuzzes from the committed seeds and what earlier runs
# found; a crash leaves its input under build-fuzz/crashes/ and fails.
run_fuzzer() {
    local corpus="$card_build_fuzz/corpus" crashes="$card_build_fuzz/crashes" status=0
    mkdir -p "$corpus" "$crashes"
    "$card_build_fuzz/tests/fuzz/fuzz_card" -max_total_time="$1" -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" "$card_root/tests/fuzz/corpus" "$card_root/tests/fuzz/regressions" \
        >"$card_build_fuzz/fuzz.log" 2>&1 || status=$?
    grep -E '^(Done|==[0-9]+==|SUMMARY|artifact_prefix|Test unit written)' "$card_build_fuzz/fuzz.log" || true
    [ "$status" -eq 0 ] || tail -n 40 "$card_build_fuzz/fuzz.log"
    return "$status"
}
