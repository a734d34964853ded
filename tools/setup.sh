#!/usr/bin/env bash
# Installs what the build needs (Debian packages). Quiet when everything is there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libcurl4-openssl-dev libminizip-dev zlib1g-dev libjsoncpp-dev libpugixml-dev
  libboost-filesystem-dev libboost-thread-dev libglm-dev libutfcpp-dev libcpp-httplib-dev libjpeg62-turbo-dev libxml2-dev
  libcairo2-dev libturbojpeg0-dev fonts-dejavu-core
  googletest libgtest-dev
  curl unzip
  clang libclang-rt-14-dev
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
