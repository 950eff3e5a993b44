#!/usr/bin/env bash
# Builds, once, the Windows x64 forms of the third-party parts the client links: Qt's base
# modules (shared, as DLLs beside the exe), OpenSSL's libcrypto and jsoncpp (both static).
# The sources are Debian's own source packages, fetched with apt-get, which checks them against
# the signed archive; the machine's apt configuration is left alone (a private one lives in the
# cache). The result goes into a cache outside the build tree, named after a hash of this script
# and the toolchain file, so any change of version or option builds afresh and nothing else does.
#
# Besides the built parts, the cache keeps what a release must publish with them: the source
# packages as fetched (sources/), each part's debian/copyright (licenses/) and the configure
# lines used (sources/configure-lines.txt).
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
mkdir -p "$CACHE/logs" "$CACHE/src" "$CACHE/bin" "$CACHE/sources" "$CACHE/licenses"

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
    # What we ship is published with its exact source: the .dsc and the files it names.
    local f
    cp "$dsc" "$CACHE/sources/"
    for f in $(awk '/^Files:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $3 }' "$dsc"); do
        cp "$CACHE/src/$f" "$CACHE/sources/"
    done
    mkdir -p "$CACHE/licenses/$pkg"
    cp "$CACHE/src/$pkg/debian/copyright" "$CACHE/licenses/$pkg/copyright"
}

# The parts Qt builds into its DLLs carry their own licence files in Qt's source.
keep_qt_part_licenses() {
    local part f
    for part in freetype harfbuzz-ng libpng pcre2 zlib; do
        mkdir -p "$CACHE/licenses/$QT_SRC/$part"
        for f in "$CACHE/src/$QT_SRC/src/3rdparty/$part"/{LICENSE*,LICENCE*,COPYING*,qt_attribution.json} \
                 "$CACHE/src/$QT_SRC/src/3rdparty/$part"/docs/{LICENSE.TXT,FTL.TXT}; do
            [ -f "$f" ] && cp "$f" "$CACHE/licenses/$QT_SRC/$part/"
        done
        ls "$CACHE/licenses/$QT_SRC/$part"/* >/dev/null 2>&1 || fail "no licence file found for Qt's $part"
    done
}

# --- builds ---------------------------------------------------------------------------------

build_jsoncpp() {
    local configure=(cmake -S "$CACHE/src/$JSON_SRC" -B "$CACHE/build/jsoncpp"
        -DCMAKE_TOOLCHAIN_FILE="$HERE/mingw-w64-posix.cmake" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$CACHE/jsoncpp" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON
        -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF
        -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON
        "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$CACHE/=")
    record_configure jsoncpp "${configure[@]}"
    "${configure[@]}"
    cmake --build "$CACHE/build/jsoncpp" -j "$JOBS"
    cmake --install "$CACHE/build/jsoncpp"
}

# Where the shipped libcrypto would look for a configuration, engines and modules (ssl/ and lib/
# under it; a relative --openssldir is taken under the prefix). It loads none
# (the program initialises it without a configuration and it is built without DSO support), but
# the paths it holds must not be the build machine's, nor a folder an ordinary user may create:
# under Program Files only administrators write.
SSL_WIN_PREFIX="C:/Program Files/Nimbara Workspace/OpenSSL"

build_openssl() {
    rm -rf "$CACHE/build/openssl" "$CACHE/openssl"
    mkdir -p "$CACHE/build/openssl"
    cd "$CACHE/build/openssl"
    # libcrypto only, static, with no loadable modules and no DSO loader at all: the client uses
    # ECDH and SHA-512. The legacy provider is built in for the tests, whose known answers come
    # from its SEED.
    local configure=("$CACHE/src/$SSL_SRC/Configure" mingw64 --cross-compile-prefix="$PREFIX"
        --prefix="$SSL_WIN_PREFIX" --openssldir=ssl --libdir=lib
        no-shared no-module no-dso no-engine no-tests no-ssl no-tls no-dtls)
    record_configure openssl "${configure[@]}"
    SOURCE_DATE_EPOCH=$(source_date "$SSL_SRC") "${configure[@]}"
    SOURCE_DATE_EPOCH=$(source_date "$SSL_SRC") make -j "$JOBS" build_libs
    # The prefix is a Windows path, so the files the build links are copied rather than installed.
    mkdir -p "$CACHE/openssl/lib" "$CACHE/openssl/include"
    cp libcrypto.a "$CACHE/openssl/lib/"
    cp -r "$CACHE/src/$SSL_SRC/include/openssl" "$CACHE/openssl/include/"
    cp include/openssl/*.h "$CACHE/openssl/include/openssl/"
}

build_qt() {
    rm -rf "$CACHE/build/qt"
    mkdir -p "$CACHE/build/qt"
    cd "$CACHE/build/qt"
    # Only what the client and its tests use. Debian's tarball has no wintab header, so no
    # tablet support; FreeType is built in so the offscreen platform runs the GUI tests.
    # Qt is relocatable: beside a program that carries its DLLs it takes the program's folder as
    # its prefix (plugins, data, qtlogging.ini), so the prefix it is configured for is never
    # read; it only has to be no path of this machine and no folder a user may create. A qt.conf
    # with a relative prefix would not do: before the application object exists Qt resolves it
    # against the current directory, which for us is a folder every user may write. -extprefix
    # is where Qt really goes. The file prefix map keeps this cache's path out of the DLLs.
    local configure=("$CACHE/src/$QT_SRC/configure" -prefix "C:/Program Files/Nimbara Workspace/Qt"
        -extprefix "$CACHE/qt" -opensource -confirm-license -release
        -shared -xplatform win32-g++ -device-option CROSS_COMPILE="$PREFIX"
        -nomake examples -nomake tests -no-compile-examples
        -no-opengl -no-icu -no-dbus -no-openssl -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql
        -no-feature-sql -no-feature-concurrent -no-feature-tabletevent
        -qt-zlib -qt-libpng -no-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -no-fontconfig
        -silent
        "QMAKE_CFLAGS+=-ffile-prefix-map=$CACHE/=" "QMAKE_CXXFLAGS+=-ffile-prefix-map=$CACHE/=")
    record_configure qtbase "${configure[@]}"
    SOURCE_DATE_EPOCH=$(source_date "$QT_SRC") "${configure[@]}"
    SOURCE_DATE_EPOCH=$(source_date "$QT_SRC") make -j "$JOBS"
    make install
}

# The time of a source package's last changelog entry: the PE time stamp of what is built from
# it, so two builds of the same package give the same bytes.
source_date() {
    dpkg-parsechangelog -l "$CACHE/src/$1/debian/changelog" -S Timestamp
}

# The configure lines go with the sources, for whoever rebuilds what we ship. The cache path is
# written as $CACHE so the published line is no path of this machine.
record_configure() {
    local name=$1; shift
    sed -i "/^$name:/d" "$CACHE/sources/configure-lines.txt" 2>/dev/null || true
    { printf '%s:' "$name"; printf ' %q' "$@"; printf '\n'; } | sed "s|$CACHE|\$CACHE|g" \
        >>"$CACHE/sources/configure-lines.txt"
}

unpack_all() {
    rm -f "$CACHE/versions"
    unpack "$JSON_SRC" "$JSON_VERSION"
    unpack "$SSL_SRC" "$SSL_VERSION"
    unpack "$QT_SRC" "$QT_VERSION"
    keep_qt_part_licenses
}

log "building the third-party parts into $CACHE (about 15 to 20 minutes on two cores, once)"
step fetch fetch_sources
step unpack unpack_all
step jsoncpp build_jsoncpp
step openssl build_openssl
step qtbase build_qt
# The unpacked sources and intermediate files are not needed again; sources/ keeps the packages.
rm -rf "$CACHE/build" "$CACHE/src"
touch "$CACHE/complete"
log "third-party parts built in $(( ($(date +%s) - started) / 60 )) min: $(tr '\n' ' ' <"$CACHE/versions")"
echo "$CACHE"
