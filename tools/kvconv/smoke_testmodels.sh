#!/usr/bin/env bash
# Converts every glTF 2.0, OBJ, FBX and COLLADA model of Debian's
# assimp-testmodels with kvconv and counts how many converted, how many were
# refused (with kvconv's reason) and how many crashed. Meant for a sanitizer
# build, where a memory fault ends the process instead of passing unseen:
#
#   cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Asan -DKV_TESTS=OFF -DKV_BENCH=OFF
#   cmake --build build-asan --target kvconv
#   tools/kvconv/smoke_testmodels.sh build-asan/tools/kvconv/kvconv
#
# Not part of ./kv test: it takes minutes. Exit status 1 when anything crashed.
set -uo pipefail
KVCONV=${1:?usage: smoke_testmodels.sh PATH/TO/kvconv [MODELS_DIR]}
MODELS=${2:-/usr/share/assimp/models}
LIMIT=${KVCONV_SMOKE_SECONDS:-300}  # a conversion running longer counts as hung
[ -d "$MODELS" ] || { echo "no models in $MODELS (apt-get install assimp-testmodels)" >&2; exit 2; }
KVCONV=$(realpath "$KVCONV")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Sanitizer reports get their own exit codes, so a refusal (1) never hides one.
export ASAN_OPTIONS=exitcode=86:detect_leaks=0 UBSAN_OPTIONS=exitcode=87:print_stacktrace=1

converted=0 refused=0 crashed=0 n=0
declare -A reasons
while IFS= read -r -d '' model; do
  n=$((n + 1))
  out="$work/$n"
  mkdir -p "$out"
  start=$(date +%s.%N)
  timeout "$LIMIT" "$KVCONV" "$model" "$out/model.kvo" >"$out/stdout" 2>"$out/stderr"
  status=$?
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  name=${model#"$MODELS"/}
  if [ $status -eq 0 ]; then
    converted=$((converted + 1))
    printf 'converted %6.2fs %s: %s\n' "$seconds" "$name" "$(head -1 "$out/stdout" | sed 's/^[^:]*: //')"
  elif [ $status -eq 1 ] && ! grep -q -e 'Sanitizer' -e 'runtime error' "$out/stderr"; then
    refused=$((refused + 1))
    reason=$(grep '^kvconv: ' "$out/stderr" | tail -1 | sed "s|^kvconv: $model: ||")
    key=$(echo "$reason" | sed -E 's/[0-9]+/N/g; s/"[^"]*"/"..."/g' | cut -c1-70)
    reasons[$key]=$((${reasons[$key]:-0} + 1))
    printf 'refused   %6.2fs %s: %s\n' "$seconds" "$name" "$reason"
  else
    crashed=$((crashed + 1))
    printf 'CRASHED   %6.2fs %s: exit %d\n' "$seconds" "$name" "$status"
    grep -m5 -e 'ERROR' -e 'runtime error' -e '#0 ' "$out/stderr" | sed 's/^/    /'
  fi
  rm -rf "$out"
done < <(find "$MODELS" -type f \( -iname '*.gltf' -o -iname '*.glb' -o -iname '*.obj' \
           -o -iname '*.fbx' -o -iname '*.dae' \) -print0 | sort -z)

echo
echo "refusals by reason:"
for key in "${!reasons[@]}"; do printf '  %4d  %s\n' "${reasons[$key]}" "$key"; done | sort -rn
echo
echo "$n models: $converted converted, $refused refused, $crashed crashed"
[ $crashed -eq 0 ]
