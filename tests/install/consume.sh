#!/usr/bin/env bash
# Installs the built kit into a temporary prefix and builds a program against
# that prefix alone, then runs it headless for a few frames:
#   consume.sh BUILD SOURCE find-package   examples/cube through find_package(kvKIT)
#   consume.sh BUILD SOURCE pkg-config     a one-file program, pkg-config and g++ only
set -euo pipefail
build=$1 source=$2 how=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir "$work/run"

case "$how" in
  find-package)
    # A copy, so nothing of the repository is on any path the build sees.
    cp -r "$source/examples/cube" "$work/cube-src"
    cmake -S "$work/cube-src" -B "$work/cube" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
    cmake --build "$work/cube" >/dev/null
    if grep -q -e "$source/" -e "$build/" "$work/cube/build.ninja"; then
      echo "the example's build reached into the kit's tree" >&2
      exit 1
    fi
    mkdir "$work/frames"
    "$work/cube/kvcube" --headless --quiet --frames 12 --capture "$work/frames" --every 10 \
      -C "$work/run"
    frame=$(ls "$work"/frames/*.png | tail -n 1)
    # Drawn: the cube's wood (warm, where the clear colour is blue) covers the
    # middle of the picture and a fair part of it.
    # Debian's python3, which python3-pil serves (a python3 earlier on PATH may lack it).
    /usr/bin/python3 - "$frame" <<'EOF'
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
w, h = image.size
wood = sum(1 for (r, g, b) in image.getdata() if r > b)
r, g, b = image.getpixel((w // 2, h // 2))
print(f"{sys.argv[1]}: the cube drew {wood} of {w * h} pixels, the centre among them: {r > b}")
sys.exit(0 if wood > w * h // 20 and r > b else 1)
EOF
    ;;
  pkg-config)
    cat >"$work/one.cpp" <<'EOF'
// A one-file kit program: a red screen, flipped until the launcher holds Escape.
#include "kvKIT.h"

void kvMain() {
  if (!kvSetScreenMode(6)) return;
  while (kvKeyEscape() == 0) {
    kvClear(200, 40, 40);
    if (kvBeginScene()) {
      kvEndScene();
      kvFlip();
    }
  }
  kvDebugPrint("one: 빨간 화면\n");  // reaches the kit in its code page
}
EOF
    export PKG_CONFIG_PATH
    PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kvkit.pc)")
    # shellcheck disable=SC2046  # pkg-config's words are meant to split
    g++ -std=c++20 -o "$work/one" "$work/one.cpp" $(pkg-config --cflags --libs kvkit)
    "$work/one" --headless --quiet --frames 5 --log "$work/log.txt" -C "$work/run"
    grep -q "one: 빨간 화면" "$work/log.txt"
    grep -q "kvKIT Exit" "$work/log.txt"
    echo "one-file program: built with pkg-config, ran, logged its Korean line"
    ;;
  *)
    echo "consume.sh: unknown way '$how'" >&2
    exit 2
    ;;
esac
