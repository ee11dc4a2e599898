#!/usr/bin/env bash
# Installs, as root, those of the named Debian packages that are not installed yet; says which
# are missing (and exits 1) when not run as root. Sourced by the set-up and check scripts:
#   install_missing WHO [--no-install-recommends] PACKAGE...
install_missing() {
  local who="$1"
  shift
  local extra=()
  if [ "${1:-}" = "--no-install-recommends" ]; then
    extra=(--no-install-recommends)
    shift
  fi
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep 'install ok installed' >/dev/null || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "$who: missing packages: ${missing[*]} (run as root, or: sudo apt-get install ${missing[*]})" >&2
    exit 1
  fi
  echo "$who: installing ${missing[*]}"
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${extra[@]}" "${missing[@]}" >/dev/null
}
