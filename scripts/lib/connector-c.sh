# MariaDB Connector/C for the Windows build: Debian has no mingw package of
# it, so it is taken from Debian's own `mariadb` source package (its
# libmariadb/ folder) and cross-built as a static library that uses Windows'
# own TLS (Schannel). `apt-get source` runs on a private apt folder whose
# sources list has deb-src entries for the machine's configured suites; the
# machine's apt configuration is never changed. The unpacked source and the
# built library are kept in the deps folder, so later builds reuse them.
#
# connector_c_build DEPS ROOT: leaves the library in DEPS/connector-c/lib and
# its headers in DEPS/connector-c/include, and sets CONNECTOR_C_DIR.

connector_c_private_apt() {
  local apt=$1
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  : >"$apt/sources.list"
  local out=$apt/sources.list.d/pelvar-deb-src.sources list f
  : >"$out"
  # One-line entries: "deb [options] uri suite components" gets a deb-src twin.
  list=$apt/sources.list.d/pelvar-deb-src.list
  : >"$list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f" >>"$list"
  done
  # deb822 entries: the same stanza, of type deb-src.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -E 's/^Types:.*$/Types: deb-src/' "$f" >>"$out"
    printf '\n' >>"$out"
  done
}

# connector_c_apt APT_DIR apt-get|apt-cache ARGUMENTS...
connector_c_apt() {
  local apt=$1 command=$2
  shift 2
  local options=(
    -o "Dir::Etc::SourceList=$apt/sources.list"
    -o "Dir::Etc::SourceParts=$apt/sources.list.d"
    -o "Dir::State::Lists=$apt/lists"
    -o "Dir::Cache=$apt/cache"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
    -o "Debug::NoLocking=true"
  )
  # Root's downloads run as the _apt user, who may not write to our folder.
  if [ "$(id -u)" -eq 0 ]; then options+=(-o "APT::Sandbox::User=root"); fi
  "$command" "${options[@]}" "$@"
}

connector_c_source() {
  local deps
  deps=$(mkdir -p "$1" && cd "$1" && pwd)
  local src=$deps/connector-c-src
  if [ -f "$src/libmariadb/CMakeLists.txt" ]; then
    CONNECTOR_C_SOURCE=$src/libmariadb
    return
  fi
  local apt=$deps/apt download=$deps/download
  connector_c_private_apt "$apt"
  echo "build-windows: fetching Debian's mariadb source for Connector/C"
  # An unrelated repository without source indexes only warns here.
  connector_c_apt "$apt" apt-get -qq update || true
  mkdir -p "$download"
  # Newest first; a mirror may not hold every version its index lists.
  local version orig=
  while read -r version; do
    if (cd "$download" && connector_c_apt "$apt" apt-get -qq --download-only \
      source "mariadb=$version" >/dev/null 2>&1); then
      orig=$(find "$download" -maxdepth 1 -name 'mariadb_*.orig.tar.*' ! -name '*.asc' | head -n 1)
      [ -n "$orig" ] && break
    fi
  done < <(connector_c_apt "$apt" apt-cache showsrc mariadb 2>/dev/null |
    sed -n 's/^Version: //p' | sort -V -r -u)
  if [ -z "$orig" ]; then
    echo "build-windows: no mariadb source tarball was downloaded" >&2
    return 1
  fi
  rm -rf "$src.partial"
  mkdir -p "$src.partial"
  tar -xf "$orig" -C "$src.partial" --strip-components=1 --wildcards '*/libmariadb/*'
  rm -rf "$src"
  mv "$src.partial" "$src"
  rm -rf "$download" "$apt"
  CONNECTOR_C_SOURCE=$src/libmariadb
}

connector_c_build() {
  local deps root=$2
  deps=$(mkdir -p "$1" && cd "$1" && pwd)
  CONNECTOR_C_DIR=$deps/connector-c
  if [ -f "$CONNECTOR_C_DIR/lib/libmariadbclient.a" ]; then
    return
  fi
  connector_c_source "$deps"
  local build=$deps/connector-c-build
  echo "build-windows: cross-building Connector/C"
  cmake -S "$CONNECTOR_C_SOURCE" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$CONNECTOR_C_DIR.partial" -DINSTALL_LIBDIR=lib \
    -DINSTALL_INCLUDEDIR=include -DWITH_SSL=SCHANNEL -DWITH_UNIT_TESTS=OFF \
    -DWITH_CURL=OFF -DWITH_EXTERNAL_ZLIB=OFF -DCMAKE_C_FLAGS="-w" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target mariadbclient
  rm -rf "$CONNECTOR_C_DIR.partial"
  mkdir -p "$CONNECTOR_C_DIR.partial/lib" "$CONNECTOR_C_DIR.partial/include"
  cp "$(find "$build" -name libmariadbclient.a | head -n 1)" "$CONNECTOR_C_DIR.partial/lib/"
  cp -r "$CONNECTOR_C_SOURCE/include/." "$CONNECTOR_C_DIR.partial/include/"
  cp "$build"/include/*.h "$CONNECTOR_C_DIR.partial/include/"
  find "$CONNECTOR_C_DIR.partial/include" -type f ! -name '*.h' -delete
  rm -rf "$CONNECTOR_C_DIR"
  mv "$CONNECTOR_C_DIR.partial" "$CONNECTOR_C_DIR"
}
