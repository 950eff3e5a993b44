#!/usr/bin/env bash
# Builds, once, the Windows x64 forms of the third-party parts the client links: Qt's base
# modules (shared, as DLLs beside the exe), OpenSSL's libcrypto and jsoncpp (both static).
# The sources are Debian's own source packages, fetched with apt-get, which checks them against
# the signed archive; the machine's apt configuration is left alone (a private one lives in the
# cache). The result goes into a cache outside the build tree, named after a hash of this script
# and the toolchain file, so any change of version or option builds afresh and nothing else does.
#
# usage: thirdparty.sh            prints the cache folder on its last line
# env:   TAVO_WIN_CACHE           the cache folder (default ~/.cache/tavo/win64-<hash>)
#        TAVO_JOBS                parallel jobs (default: the number of cores)
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
JOBS="${TAVO_JOBS:-$(nproc 2>/dev/null || echo 2)}"
TRIPLE=x86_64-w64-mingw32

# Source package, and the upstream version this configuration was made for.
QT_SRC=qtbase-opensource-src QT_VERSION=5.15.8
SSL_SRC=openssl SSL_VERSION=3.0
JSON_SRC=libjsoncpp JSON_VERSION=1.9.5

log() { printf 'tavo win: %s\n' "$*" >&2; }
fail() { log "$*"; exit 1; }

hash=$(cat "$HERE/thirdparty.sh" "$HERE/mingw-w64-posix.cmake" | sha256sum | cut -c1-12)
CACHE="${TAVO_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavo/win64-$hash}"
if [ -f "$CACHE/complete" ]; then
    log "third-party parts already built: $CACHE"
    echo "$CACHE"
    exit 0
fi

started=$(date +%s)
mkdir -p "$CACHE/logs" "$CACHE/src" "$CACHE/bin"

# Qt's build takes a compiler prefix, not a compiler: this folder gives the posix thread model's
# compilers the plain names (on Debian the plain names are the win32 model, which Qt cannot use).
for tool in gcc g++; do
    ln -sf "$(command -v $TRIPLE-$tool-posix)" "$CACHE/bin/$TRIPLE-$tool"
done
for tool in ar ranlib nm strip objcopy objdump windres dlltool ld; do
    ln -sf "$(command -v $TRIPLE-$tool)" "$CACHE/bin/$TRIPLE-$tool"
done
PREFIX="$CACHE/bin/$TRIPLE-"

# Runs a long step with its output in a log, a line at least every minute, and the log's tail on
# failure.
step() {
    local name=$1; shift
    local out="$CACHE/logs/$name.log" t0 pid status=0
    # A step that finished before an interrupted run is not done again.
    if [ -f "$CACHE/logs/$name.done" ]; then
        log "$name: done before"
        return 0
    fi
    t0=$(date +%s)
    log "$name: started (log: $out)"
    ("$@") >"$out" 2>&1 &
    pid=$!
    while ! wait_for "$pid" 60; do
        log "$name: still going after $(( ($(date +%s) - t0) / 60 )) min"
    done
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$out" >&2
        fail "$name failed (status $status); the whole log is $out"
    fi
    touch "$CACHE/logs/$name.done"
    log "$name: done in $(( $(date +%s) - t0 )) s"
}

# True once the process has ended, false if it is still running after the given seconds.
wait_for() {
    local pid=$1 left=$2
    while [ "$left" -gt 0 ]; do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 1
        left=$((left - 1))
    done
    ! kill -0 "$pid" 2>/dev/null
}

# --- sources --------------------------------------------------------------------------------

# The private apt configuration lists the machine's own Debian archives as source archives.
APT="$CACHE/apt"
make_source_list() {
    local codename parts="$APT/sources.list.d" f
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || fail "cannot tell this Debian release's code name from /etc/os-release"
    rm -rf "$APT"
    mkdir -p "$parts" "$APT/lists/partial" "$APT/cache/archives/partial"
    : >"$APT/sources.list"
    if [ -f /etc/apt/sources.list ]; then
        sed -n -E "s/^[[:space:]]*deb([[:space:]]+\[[^]]*\])?[[:space:]]+(.*[[:space:]]$codename[-[:alnum:]]*[[:space:]].*)/deb-src\1 \2/p" \
            /etc/apt/sources.list >>"$APT/sources.list"
    fi
    for f in /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -n -E "s/^[[:space:]]*deb([[:space:]]+\[[^]]*\])?[[:space:]]+(.*[[:space:]]$codename[-[:alnum:]]*[[:space:]].*)/deb-src\1 \2/p" \
            "$f" >>"$APT/sources.list"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        # Whole stanzas of this release, turned into source stanzas.
        awk -v rel="$codename" '
            function flush() { if (keep && !off && text != "") print text; text = ""; keep = 0; off = 0 }
            /^[[:space:]]*$/ { flush(); next }
            /^[[:space:]]*#/ { next }
            /^Types:/ { text = text "Types: deb-src\n"; next }
            /^Suites:/ { if ($0 ~ ("[[:space:]]" rel "([-[:alnum:]]*)?([[:space:]]|$)")) keep = 1 }
            /^Enabled:[[:space:]]*no/ { off = 1 }
            { text = text $0 "\n" }
            END { flush() }' "$f" >"$parts/$(basename "$f")"
    done
    if ! grep -q . "$APT/sources.list" "$parts"/* 2>/dev/null; then
        fail "found no $codename archive in /etc/apt to fetch source packages from"
    fi
}

APT_OPTS=()
fetch_sources() {
    make_source_list
    APT_OPTS=(-o "Dir::Etc::SourceList=$APT/sources.list" -o "Dir::Etc::SourceParts=$APT/sources.list.d"
              -o "Dir::State::Lists=$APT/lists" -o "Dir::Cache=$APT/cache" -o "Debug::NoLocking=1")
    # As root, apt hands downloads to its sandbox user, who cannot write into this cache.
    if [ "$(id -u)" -eq 0 ]; then APT_OPTS+=(-o "APT::Sandbox::User=root"); fi
    apt-get "${APT_OPTS[@]}" -q update
    cd "$CACHE/src"
    local pkg version
    for pkg in "$QT_SRC" "$SSL_SRC" "$JSON_SRC"; do
        # Newest first; an archive that lists a version it cannot serve (a mirror part-way
        # through an update) falls back to the one before it.
        for version in $(apt-cache "${APT_OPTS[@]}" showsrc "$pkg" | sed -n 's/^Version: //p' | sort -urV); do
            if apt-get "${APT_OPTS[@]}" -q source --download-only "$pkg=$version"; then
                continue 2
            fi
            echo "tavo win: $pkg $version could not be fetched; trying the version before it"
            rm -f "${pkg}_${version#*:}".dsc
        done
        return 1
    done
}

# Unpacks a source package with Debian's patches applied into src/<package>.
unpack() {
    local pkg=$1 want=$2 dsc version
    dsc=$(ls "$CACHE/src/${pkg}_"*.dsc | sort -V | tail -n 1)
    version=$(sed -n 's/^Version: //p' "$dsc")
    case "$version" in
        "$want"*|[0-9]:"$want"*) ;;
        *) fail "$pkg is at $version in the archive; this build was made for $want" ;;
    esac
    rm -rf "$CACHE/src/$pkg"
    # apt has checked the files against the signed archive; the signer keys are not needed.
    dpkg-source --no-copy -x "$dsc" "$CACHE/src/$pkg" >>"$CACHE/logs/unpack.log" 2>&1
    echo "$pkg $version" >>"$CACHE/versions"
}

# --- builds ---------------------------------------------------------------------------------

build_jsoncpp() {
    cmake -S "$CACHE/src/$JSON_SRC" -B "$CACHE/build/jsoncpp" \
        -DCMAKE_TOOLCHAIN_FILE="$HERE/mingw-w64-posix.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$CACHE/jsoncpp" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
        -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
        -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON
    cmake --build "$CACHE/build/jsoncpp" -j "$JOBS"
    cmake --install "$CACHE/build/jsoncpp"
}

build_openssl() {
    rm -rf "$CACHE/build/openssl"
    mkdir -p "$CACHE/build/openssl"
    cd "$CACHE/build/openssl"
    # libcrypto only, static, with no loadable modules: the client uses ECDH and SHA-512. The
    # legacy provider is built in for the tests, whose known answers come from its SEED.
    "$CACHE/src/$SSL_SRC/Configure" mingw64 --cross-compile-prefix="$PREFIX" \
        --prefix="$CACHE/openssl" --libdir=lib no-shared no-module no-engine no-tests \
        no-ssl no-tls no-dtls
    make -j "$JOBS" build_libs
    make install_dev
}

build_qt() {
    rm -rf "$CACHE/build/qt"
    mkdir -p "$CACHE/build/qt"
    cd "$CACHE/build/qt"
    # Only what the client and its tests use. Debian's tarball has no wintab header, so no
    # tablet support; FreeType is built in so the offscreen platform runs the GUI tests.
    "$CACHE/src/$QT_SRC/configure" -prefix "$CACHE/qt" -opensource -confirm-license -release \
        -shared -xplatform win32-g++ -device-option CROSS_COMPILE="$PREFIX" \
        -nomake examples -nomake tests -no-compile-examples \
        -no-opengl -no-icu -no-dbus -no-openssl -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql \
        -no-feature-sql -no-feature-concurrent -no-feature-tabletevent \
        -qt-zlib -qt-libpng -no-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -no-fontconfig \
        -silent
    make -j "$JOBS"
    make install
}

unpack_all() {
    rm -f "$CACHE/versions"
    unpack "$JSON_SRC" "$JSON_VERSION"
    unpack "$SSL_SRC" "$SSL_VERSION"
    unpack "$QT_SRC" "$QT_VERSION"
}

log "building the third-party parts into $CACHE (about 15 to 20 minutes on two cores, once)"
step fetch fetch_sources
step unpack unpack_all
step jsoncpp build_jsoncpp
step openssl build_openssl
step qtbase build_qt
# The sources and intermediate files are not needed again.
rm -rf "$CACHE/build" "$CACHE/src"
touch "$CACHE/complete"
log "third-party parts built in $(( ($(date +%s) - started) / 60 )) min: $(tr '\n' ' ' <"$CACHE/versions")"
echo "$CACHE"
