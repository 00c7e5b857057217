#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tavlo need,
# when any is missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev libgl-dev qt6-image-formats-plugins libjpeg-dev
  # Colour profiles: lcms2 converts, zlib unpacks PNG's; free profiles for the tests.
  liblcms2-dev zlib1g-dev icc-profiles-free libgs-common
  # HEIC and AVIF: libheif reads them; JPEG XL: libjxl; cameras' RAW: LibRaw; heif-enc and cjxl make the tests' pictures.
  libheif-dev libheif-examples libjxl-dev libjxl-tools libraw-dev
  # The display's profile, which X11's colour managers publish on the root window.
  libxcb1-dev
  # The decoder worker's lock.
  libseccomp-dev
  libglib2.0-dev shared-mime-info
  libgtest-dev libbenchmark-dev libjpeg-turbo-progs
  fonts-liberation2
  libwmf-dev libemf2svg-dev libuemf-dev librsvg2-dev libemf-dev fonts-urw-base35 libfontconfig-dev
  # Installing, packaging and checking the installed program on a desktop.
  desktop-file-utils appstream dpkg-dev groff-base libglib2.0-bin xvfb x11-utils procps
  # The FUSE volume whose calls the tests can hold.
  libfuse3-dev fuse3
  # A window manager and typed keys, for the program on such a volume.
  openbox xdotool
)
# More packages, for a task that needs them, may be named as arguments.
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
