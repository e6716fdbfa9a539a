#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian machine.
# Idempotent: a second run changes nothing and finishes quickly.
set -euo pipefail

packages=(
  cmake ninja-build dpkg-dev
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest
  wine wine64 xvfb xauth xdotool x11-apps imagemagick
  osslsigncode openssl gcab nginx-light curl time python3 python3-pytest
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# Prints deb822 deb-src stanzas for every configured "deb" source that serves
# the given Debian suite: from *.sources files and from one-line *.list files.
derive_deb_src() {
  local codename=$1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      function flush() {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && enabled != "no" && suites ~ ("(^|[ \t])" want "([ \t-]|$)")) {
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", uris, suites, comps
          if (signed != "") printf "Signed-By: %s\n", signed
          printf "\n"
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      { key = tolower($1); sub(/^[^:]*:[ \t]*/, "") }
      key == "types:" { types = $0 } key == "uris:" { uris = $0 }
      key == "suites:" { suites = $0 } key == "components:" { comps = $0 }
      key == "signed-by:" { signed = $0 } key == "enabled:" { enabled = tolower($0) }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      $1 == "deb" {
        i = 2; opts = ""
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps (comps == "" ? "" : " ") $j
        if (suite !~ ("^" want "(-|$)")) next
        signed = ""
        if (match(opts, /signed-by=[^] ]+/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", uri, suite, comps
        if (signed != "") printf "Signed-By: %s\n", signed
        printf "\n"
      }' "$f"
  done
}

# The build compiles jansson and zlib from their Debian source packages (jansson
# has no mingw build; zlib's is not built for size), which needs deb-src entries. They are copied from the machine's own Debian
# sources (same URIs, suites, components and keyring), so whichever mirror
# the machine is set up for serves the sources too.
src_list=/etc/apt/sources.list.d/tarnix-deb-src.sources
need_update=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  stanzas=$(derive_deb_src "$codename")
  if [ -z "$stanzas" ]; then
    echo "install-deps: no Debian apt source for '$codename' to derive deb-src entries from" >&2
    exit 1
  fi
  printf '%s\n' "$stanzas" | "${sudo_cmd[@]}" tee "$src_list" >/dev/null
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  "${sudo_cmd[@]}" apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
