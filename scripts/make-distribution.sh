#!/usr/bin/env bash
# Makes a distributor's installer from configuration alone: builds the product
# with the hosts, trust keys and packages given in the environment, signs it,
# reserves room for the distribution tag and stamps the tag, then checks the
# signature and reads the tag back. docs/distributing.md explains each step.
#
#   TX_CDN_HOST=... TX_EXPERIMENTS_HOST=... TX_ABT_HOST=... TX_STATS_HOST=...
#   TX_STORAGE_HOST=... TX_CRASH_HOST=... TX_LEGAL_HOST=...
#   TX_DOWNLOAD_SITE_HOST=... TX_TRUST_KEYS_FILE=... TX_PACKAGES_DIR=... \
#   scripts/make-distribution.sh --cert CHAIN.pem --key KEY.pem \
#       --tag 'partner_id=42&banerid=7' --out DIR
#
# Options:
#   --cert CHAIN.pem   the code-signing certificate, then its issuers (PEM)
#   --key KEY.pem      the certificate's private key (PEM, not encrypted)
#   --tag TEXT         the distribution tag, key=value pairs joined by "&"
#                      (default: none; the room for one is reserved anyway)
#   --out DIR          where lite_installer.exe goes
#   --ca ROOT.pem      verify the signature against this root instead of the
#                      system's certificate bundle
#   --arch ARCH        i686 (default, the shipped 32-bit program) or x86_64
#   --build-dir DIR    the build folder (default: build/distribution-ARCH)
#   --allow-development-settings
#                      accept the development trust keys and the built-in
#                      default hosts (never for a release)
#
# ccache is used when it is installed and no compiler launcher is set.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
TAG_AREA=10240  # bytes reserved in the signature for the tag

die() { echo "make-distribution: error: $*" >&2; exit 1; }
note() { echo "make-distribution: $*"; }
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }

cert="" key="" tag="" tag_given=0 out="" ca="" arch=i686 build_dir="" allow_dev=0
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) cert=${2:?--cert needs a file}; shift 2 ;;
    --key) key=${2:?--key needs a file}; shift 2 ;;
    --tag) tag=${2?--tag needs a value}; tag_given=1; shift 2 ;;
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    --ca) ca=${2:?--ca needs a file}; shift 2 ;;
    --arch) arch=${2:?--arch needs i686 or x86_64}; shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --allow-development-settings) allow_dev=1; shift ;;
    -h|--help) usage ;;
    *) die "unknown argument '$1' (see --help)" ;;
  esac
done
[ -n "$cert" ] || die "--cert CHAIN.pem is required"
[ -n "$key" ] || die "--key KEY.pem is required"
[ -n "$out" ] || die "--out DIR is required"
case "$arch" in i686|x86_64) ;; *) die "--arch must be i686 or x86_64, not '$arch'" ;; esac
build_dir=${build_dir:-$root/build/distribution-$arch}

for tool in cmake ninja osslsigncode openssl gcab /usr/bin/python3 "$arch-w64-mingw32-g++-posix"; do
  command -v "$tool" > /dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
python=/usr/bin/python3

# --- The settings --------------------------------------------------------------

hosts=(TX_CDN_HOST TX_EXPERIMENTS_HOST TX_ABT_HOST TX_STATS_HOST TX_STORAGE_HOST
       TX_CRASH_HOST TX_LEGAL_HOST TX_DOWNLOAD_SITE_HOST)
missing=()
for name in "${hosts[@]}" TX_TRUST_KEYS_FILE TX_PACKAGES_DIR; do
  [ -n "${!name:-}" ] || missing+=("$name")
done
[ ${#missing[@]} -eq 0 ] || die "missing setting(s): ${missing[*]} (set them in the environment)"

development=()
for name in "${hosts[@]}"; do
  value=${!name}
  # A bare host name with an optional port: the build puts "https://" before it.
  pattern='^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]{1,5})?$'
  [ "$name" = TX_DOWNLOAD_SITE_HOST ] && value=${value//@TLD@/tld}
  [[ $value =~ $pattern ]] || die "$name='${!name}' is not a host name with an optional port" \
                                   "(no scheme, no path)"
  default=$(sed -n "s/^set($name \"\\([^\"]*\\)\" CACHE.*/\\1/p" "$root/CMakeLists.txt")
  [ "${!name}" != "$default" ] || development+=("$name is the built-in default '$default'")
  case "${!name}" in
    localhost|localhost:*|127.*) note "warning: $name=${!name} points at this machine" ;;
  esac
done

keys=$(realpath -e "$TX_TRUST_KEYS_FILE" 2> /dev/null) || die "TX_TRUST_KEYS_FILE not found: $TX_TRUST_KEYS_FILE"
# Ten lines "N base64-of-DER-SubjectPublicKeyInfo", N = 0..9 in order, each a
# 1024-bit RSA key, as the build and the installer read them.
expected=0
while read -r number text rest || [ -n "$number" ]; do
  [ -n "$number" ] || continue
  [ "$number" = "$expected" ] && [ -n "$text" ] && [ -z "$rest" ] ||
    die "$keys: expected line '$expected base64-SubjectPublicKeyInfo', found '$number ${text:0:20}...'"
  bits=$(echo "$text" | base64 -d 2> /dev/null | openssl pkey -pubin -inform DER -noout -text 2> /dev/null |
         sed -n 's/.*Public-Key: (\([0-9]*\) bit).*/\1/p') || true
  [ "$bits" = 1024 ] || die "$keys: key $number is not a 1024-bit RSA public key"
  expected=$((expected + 1))
done < "$keys"
[ "$expected" = 10 ] || die "$keys: holds $expected keys, needs exactly ten (0 to 9)"
# tools/trust_keys/make_dev_keys.sh leaves the private halves beside the list;
# a release key list comes without them.
if compgen -G "$(dirname "$keys")/key_[0-9].pem" > /dev/null; then
  development+=("TX_TRUST_KEYS_FILE has private keys beside it: a development key set")
fi
for dev_list in "$root"/build/*/keys/trust_keys.txt; do
  if [ -f "$dev_list" ] && cmp -s "$dev_list" "$keys"; then
    development+=("TX_TRUST_KEYS_FILE holds the development keys of ${dev_list#"$root"/}")
    break
  fi
done

if [ ${#development[@]} -gt 0 ]; then
  if [ "$allow_dev" = 1 ]; then
    for reason in "${development[@]}"; do note "warning: $reason"; done
  else
    for reason in "${development[@]}"; do echo "make-distribution: $reason" >&2; done
    die "refusing development settings in a distribution (--allow-development-settings accepts them)"
  fi
fi

packages=$(realpath -e "$TX_PACKAGES_DIR" 2> /dev/null) || die "TX_PACKAGES_DIR not found: $TX_PACKAGES_DIR"
[ -d "$packages/brand/default" ] || die "$packages: brand/default/ is missing"
for name in master_preferences clids.xml clids_searchband.xml; do
  [ -f "$packages/data/$name" ] || die "$packages: data/$name is missing"
done
# The configurations are checked as the build checks them: placeholders
# filled in first, then the installer's own reading rules.
check_work=$(mktemp -d)
trap 'rm -rf "$check_work"' EXIT
fill=()
for name in "${hosts[@]}"; do fill+=(-e "s|@$name@|${!name}|g"); done
for config in "$packages"/brand/*/brand_config "$packages"/partner/partner_config; do
  [ -f "$config" ] || continue
  sed "${fill[@]}" "$config" > "$check_work/config"
  if ! problem=$("$python" "$root/tools/package_check/check_package_config.py" \
                 --name "$config" "$check_work/config" 2>&1); then
    die "package configuration does not parse:"$'\n'"  $problem"
  fi
done
for folder in "$packages"/brand/*/; do
  [ -f "$folder/brand_config" ] || die "$folder has no brand_config"
done

[ -f "$cert" ] || die "certificate not found: $cert"
[ -f "$key" ] || die "key not found: $key"
cert_public=$(openssl x509 -in "$cert" -noout -pubkey 2> /dev/null) ||
  die "$cert: no PEM certificate"
key_public=$(openssl pkey -in "$key" -pubout -passin pass: 2> /dev/null) ||
  die "$key: no readable private key (it must be an unencrypted PEM key)"
[ "$cert_public" = "$key_public" ] ||
  die "the certificate does not match its key: $cert was not issued for $key"
openssl x509 -in "$cert" -noout -checkend 0 > /dev/null ||
  die "$cert has expired"
openssl x509 -in "$cert" -noout -ext extendedKeyUsage 2> /dev/null | grep -q "Code Signing" ||
  note "warning: $cert does not name code signing among its key usages; Windows may refuse it"
if [ -n "$ca" ]; then
  [ -f "$ca" ] || die "root certificate not found: $ca"
fi

tag_bytes=$(printf %s "$tag" | wc -c)
[ "$tag_bytes" -le "$TAG_AREA" ] || die "the tag has $tag_bytes bytes; at most $TAG_AREA fit"
[ "$tag_given" = 1 ] || note "no --tag: the installer is untagged, with room for a tag reserved"

# --- Build -------------------------------------------------------------------

cache_arch=$(sed -n 's/^TX_MINGW_ARCH:[A-Z]*=//p' "$build_dir/CMakeCache.txt" 2> /dev/null || true)
[ -z "$cache_arch" ] || [ "$cache_arch" = "$arch" ] ||
  die "$build_dir was configured for $cache_arch; give another --build-dir for $arch"

launchers=()
if command -v ccache > /dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  launchers=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths relative to the checkout, so that other checkouts' objects count.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
settings=()
for name in "${hosts[@]}"; do settings+=("-D$name=${!name}"); done
settings+=("-DTX_TRUST_KEYS_FILE=$keys" "-DTX_PACKAGES_DIR=$packages")

note "configuring win32-release ($arch) in $build_dir"
mkdir -p "$build_dir"
(cd "$root" && cmake --preset win32-release -B "$build_dir" -DTX_MINGW_ARCH="$arch" \
   "${launchers[@]}" "${settings[@]}" > "$build_dir/make-distribution-configure.log" 2>&1) || {
  cat "$build_dir/make-distribution-configure.log" >&2
  die "configuring the build failed"
}
note "building lite_installer.exe"
cmake --build "$build_dir" --target lite_installer || die "the build failed"
built=$build_dir/lite_installer.exe
[ -f "$built" ] || die "the build left no $built"

# --- Sign, reserve, stamp, check ------------------------------------------------

mkdir -p "$out"
work=$(mktemp -d "$out/.make-distribution.XXXXXX")
trap 'rm -rf "$check_work" "$work"' EXIT
tagger=("$python" "$root/tools/tagger/tag_exe.py")

# Signing replaces the whole certificate table, so the tag comes after it.
note "signing (SHA-256) with $(openssl x509 -in "$cert" -noout -subject -nameopt RFC2253)"
osslsigncode sign -certs "$cert" -key "$key" -h sha256 \
  -in "$built" -out "$work/signed.exe" > "$work/sign.log" 2>&1 ||
  { cat "$work/sign.log" >&2; die "osslsigncode could not sign $built"; }
# An empty dummy certificate reserves the tag's room; stamping then rewrites
# that room in place, as a distribution server does for each download.
"${tagger[@]}" certificate --in "$work/signed.exe" --out "$work/reserved.exe" --tag "" ||
  die "could not reserve room for the tag"
"${tagger[@]}" certificate --in "$work/reserved.exe" --out "$work/lite_installer.exe" \
  --tag "$tag" || die "could not stamp the tag"

verify=(osslsigncode verify -in "$work/lite_installer.exe")
[ -z "$ca" ] || verify+=(-CAfile "$ca")
"${verify[@]}" > "$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; die "the signed installer does not verify"; }
grep -q "SHA256" "$work/verify.log" || die "the signature's digest is not SHA-256"

TAGGER_DIR="$root/tools/tagger" EXPECTED_TAG="$tag" ARCH="$arch" \
  "$python" - "$work/lite_installer.exe" << 'PYTHON' || die "the result does not hold what was asked"
import os, struct, sys
sys.path.insert(0, os.environ["TAGGER_DIR"])
import tag_exe

data = open(sys.argv[1], "rb").read()
image = tag_exe.Image(data)
magic = struct.unpack_from("<H", data, image.pe + 24)[0]
wanted = 0x10B if os.environ["ARCH"] == "i686" else 0x20B
if magic != wanted:
    sys.exit(f"make-distribution: error: optional-header magic {magic:#x}, expected {wanted:#x}")
certificate_tag, trailer_tag = tag_exe.read_tags(image)
expected = os.environ["EXPECTED_TAG"].encode("utf-8")
if certificate_tag != expected or trailer_tag:
    sys.exit(f"make-distribution: error: the tag reads back as {certificate_tag!r}, "
             f"expected {expected!r}")
print(f"make-distribution: tag read back: {certificate_tag.decode('utf-8', 'replace')!r}")
PYTHON

mv -f "$work/lite_installer.exe" "$out/lite_installer.exe"
result=$(realpath "$out/lite_installer.exe")
note "signature verified$([ -n "$ca" ] && echo " against $ca" || echo " against the system's roots")"
note "done: $result ($(stat -c %s "$result") bytes, sha256 $(sha256sum "$result" | cut -c1-16)...)"
