#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# but only when something is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ ccache qt6-base-dev qt6-translations-l10n libgtest-dev patch
      xvfb xauth x11-utils imagemagick poppler-utils
      fonts-liberation fonts-liberation2 fonts-dejavu-core libgdal-dev gdal-bin zlib1g-dev
      postgresql-15 postgresql-15-postgis-3 postgresql-15-postgis-3-scripts libpq-dev pkg-config)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq \
    -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"
fi
