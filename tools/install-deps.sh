#!/bin/sh
# Installs the Debian 12 packages Kalvor needs to build and test, when they are missing.
set -e
packages="g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
qt6-base-dev qt6-svg-dev libqt6svg6-dev qt6-qpa-plugins libgl-dev \
nlohmann-json3-dev libcli11-dev libkissfft-dev fonts-dejavu-core \
help2man desktop-file-utils dpkg-dev file \
pybind11-dev python3-dev python3-numpy python3-scipy python3-pandas python3-matplotlib \
python3-pytest python3-distributed python3-h5py"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq $missing
fi
