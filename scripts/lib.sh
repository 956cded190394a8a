# Shared helpers of the run and test scripts.

# Installs the Debian packages that are missing, unattended; the package
# lists are refreshed only when something has to be installed.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libsqlite3-dev libmariadb-dev
  libpq-dev libcurl4-openssl-dev zlib1g-dev libssl-dev libcli11-dev nlohmann-json3-dev libre2-dev)
