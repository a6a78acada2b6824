#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
pkgs=(build-essential cmake pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
      libavformat-dev libavcodec-dev libavdevice-dev libavfilter-dev libswscale-dev libavutil-dev
      libxrandr-dev libx11-dev libgtest-dev libgmock-dev libbenchmark-dev
      xvfb xauth x11-xserver-utils x11-utils imagemagick ffmpeg locales
      libpipewire-0.3-dev libspa-0.2-dev pipewire pipewire-bin wireplumber dbus
      gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base)
# The camera tests open sources under locales that write decimals with a comma.
locales=(de_DE.UTF-8 fr_FR.UTF-8)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
for l in "${locales[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}"; then
        echo "Generating locale $l" >&2
        $sudo sed -i "s/^# *$l UTF-8/$l UTF-8/" /etc/locale.gen
        grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
done
