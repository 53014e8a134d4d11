# Shared by scripts/demo, scripts/test and scripts/bench: installs what is missing and
# builds. Source it; ROOT is the checkout.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages the build, the tests and the benchmarks need.
ZORAS_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libboost-dev libpugixml-dev libsqlite3-dev libpq-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  postgresql python3 python3-zeep python3-suds gsoap libgsoap-dev wrk curl
)

zoras_install_missing() {
  local missing=()
  for p in "${ZORAS_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then missing+=(nodejs npm); fi
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# zoras_build DIR BUILD_TYPE [cmake options...]
zoras_build() {
  local dir="$1" type="$2"
  shift 2
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  ninja -C "$dir" -j"$(nproc)"
}

# zoras_prepare_home DIR BUILD_DIR: a ZOR.INI with the database login (user and password
# "zoras") and, when missing, the default database made by zorasctl schema.
zoras_prepare_home() {
  local dir="$1" build="$2"
  mkdir -p "$dir"
  if [ ! -f "$dir/ZOR.INI" ]; then
    printf 'USERNAME=%s\r\nPASSWORD=%s\r\n' "$("$build/zorasctl" scramble zoras)" \
      "$("$build/zorasctl" scramble zoras)" >"$dir/ZOR.INI"
  fi
  [ -f "$dir/zoras.db" ] || ZORAS_HOME="$dir" "$build/zorasctl" schema >/dev/null
}
