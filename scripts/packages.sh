# Shared by scripts/setup.sh and scripts/fuzz.sh (source it).
#   ensure_packages <label> <package>...
# Installs the Debian packages that are missing, with one apt-get update and only when something is
# missing; as root, or through sudo.
ensure_packages() {
  local label="$1"
  shift
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    echo "$label: all packages present"
    return 0
  fi
  echo "$label: installing ${missing[*]}"
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo_cmd=(sudo)
    else
      echo "$label: need root or sudo to install: ${missing[*]}" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
