# Debian packages the system, its tests and its benchmarks need. Sourced by the
# run and test scripts: installs what is missing when root, else says how.
DAVREL_PACKAGES="g++ clang cmake ninja-build pkg-config jackd2 libjack-jackd2-dev librtmidi-dev libtinyxml2-dev libpng-dev zlib1g-dev libpoco-dev libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev libcairo2-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core libx11-dev libxext-dev libxcursor-dev libxfixes-dev libxi-dev libxtst-dev libxkbcommon-dev libosmesa6-dev xvfb openbox twm fluxbox x11-xkb-utils xauth x11-utils x11-apps xclip imagemagick python3-rtmidi python3-mido"

davrel_install_packages() {
  local missing=""
  for p in $DAVREL_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  local line="apt-get update && apt-get install -y --no-install-recommends --no-remove$missing"
  if [ "$(id -u)" != 0 ]; then
    echo "Missing Debian packages. Install them as root with:"
    echo "  $line"
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update </dev/null
  apt-get install -y --no-install-recommends --no-remove -o DPkg::Lock::Timeout=300 $missing </dev/null
}
