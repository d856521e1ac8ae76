#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need.
# Safe to run again: it installs only what is missing.
#
#   bash scripts/install-deps.sh [fuzz]
#
# fuzz: also clang with its libFuzzer and sanitizer runtimes and the
# symbolizer for readable reports (fuzz/run.sh).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libsqlite3-dev sqlite3
  strace
  libxml2-dev
  rapidjson-dev
  libre2-dev
  liburiparser-dev
  libreadline-dev
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  json-schema-test-suite
  libcurl4-openssl-dev etcd-server etcd-client
)
for group in "$@"; do
  case "$group" in
    fuzz) packages+=(clang libclang-rt-dev llvm) ;;
    *) echo "install-deps: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
