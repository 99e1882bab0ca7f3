#!/usr/bin/env bash
# Renders the same scenes with the native renderer and with the Windows one
# (under wine) and requires byte-identical BMP files, and for the RGB scenes
# (smooth colouring, supersampling) PNG files with the same decoded pixels:
# the arithmetic, and so every image, must not depend on the platform.
# usage: cross-check.sh NATIVE_RENDERER WINDOWS_RENDERER.exe WORK_DIR
set -euo pipefail
native="$1"
windows="$2"
work="$3"
here="$(cd "$(dirname "$0")" && pwd)"
if [ ! -x "${native}" ]; then
  echo "cross-check: native renderer not built (${native}); skipped"
  exit 77
fi
mkdir -p "${work}"

scenes=(
  "start-fixed|--type fixed"
  "start-single|--type single"
  "start-double|--type double"
  "start-extended|--type extended"
  "seahorse-single|--type single --real -0.7485 -0.7445 --imag 0.1 0.103 --iter 64 192 1024 --palette 4"
  "seahorse-double|--type double --real -0.74364 -0.74362 --imag 0.13181 0.131825 --iter 100 300 2000 --palette 3"
  "deep-extended|--type extended --real -0.743643887037 -0.743643887036 --imag 0.131825904205 0.13182590420575 --size 160x120 --iter 500 500 3000"
  "julia-single|--formula julia --const -0.8 0.156 --type single --palette 2"
  "julia-double|--formula julia --const -0.8 0.156 --type double --mode percentage"
  "julia-extended|--formula julia --const 0.285 0.01 --type extended --inside 7 --palette 5"
  "fixed-boundary|--type fixed --real -1.8 -1.7 --imag -0.04 0.035 --iter 32 32 512 --palette 9"
  # The deep type in each of its difference numbers (double, rescaled
  # double, 80-bit, wide exponent) around c = i, and published locations
  # read from their files: with the approximation (the default), and one
  # with every step taken.
  "deep-double|--centre 0 1 --zoom 1e30 --iter 400 400 400 --size 32x24"
  "deep-rescaled|--centre 0 1 --zoom 1e400 --iter 1500 1500 1500 --size 32x24"
  "deep-80bit|--centre 0 1 --zoom 1e700 --iter 2500 2500 2500 --size 32x24"
  "deep-wide|--centre 0 1 --zoom 1e2600 --iter 9000 9000 9000 --size 32x24 --palette 6"
  "deep-location|--location @LOCATIONS@/rust-fractal/e1000.toml --iter 20000 20000 20000 --size 32x24"
  "deep-glitch|--location @LOCATIONS@/rust-fractal/glitch_test_4.toml --size 48x32"
  "deep-every-step|--location @LOCATIONS@/rust-fractal/e1000.toml --iter 20000 20000 20000 --size 32x24 --approximation off"
  # A movie's frame: the reference moved off the centre, at more bits.
  "deep-reference|--centre 0 1.0000000000000000000000000000001 --zoom 1e30 --reference 0 1 --reference-precision 300 --iter 400 400 400 --size 32x24"
)
locations="$(cd "${here}/../../tests/data/locations" && pwd)"

# The 32-bit renderer runs under emulation, where a pixel of the floating-
# point types costs a hundred times its native time: there each scene keeps
# its view, type and iterations and is drawn at half its width and height.
half=0
case "$(file -b "${windows}")" in
  "PE32 executable"*) half=1 ;;
esac

# RGB PNG scenes: every type's smooth values, full and adaptive samples.
rgb_scenes=(
  "smooth-fixed|--type fixed --real -1.8 -1.7 --imag -0.04 0.035 --iter 32 32 512 --palette 9 --colouring smooth --size 80x60 --supersample 3 --adaptive --depth 16"
  "smooth-single|--type single --real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 512 --palette 4 --colouring smooth --size 96x72 --supersample 2"
  "smooth-double|--type double --real -0.74364 -0.74362 --imag 0.13181 0.131825 --iter 100 300 2000 --colouring smooth --scale sqrt --size 80x60 --supersample 3 --adaptive"
  "smooth-julia-extended|--formula julia --const -0.8 0.156 --type extended --colouring smooth --mode percentage --scale log --size 80x60 --supersample 3 --adaptive"
  "smooth-deep|--centre 0 1 --zoom 1e400 --iter 1500 1500 1500 --colouring smooth --size 32x24 --supersample 2"
)

# The decoded pixels of a PNG as raw RGB samples (ImageMagick), or its bytes
# where ImageMagick is missing: the same libpng and zlib write both.
decoded() { # $1 png
  if dpkg -s imagemagick >/dev/null 2>&1; then convert "$1" -depth 16 rgb:- | sha256sum; else sha256sum <"$1"; fi
}

failed=0
for scene in "${rgb_scenes[@]}"; do
  name="${scene%%|*}"
  read -r -a args <<<"${scene#*|}"
  "${native}" "${args[@]}" "${work}/${name}-native.png" >/dev/null
  "${here}/../wine-exec.sh" "${windows}" "${args[@]}" "Z:${work}/${name}-windows.png" >/dev/null
  if [ "$(decoded "${work}/${name}-native.png")" = "$(decoded "${work}/${name}-windows.png")" ]; then
    echo "same pixels: ${name}"
  else
    echo "DIFFERENT: ${name}" >&2
    failed=1
  fi
done
for scene in "${scenes[@]}"; do
  name="${scene%%|*}"
  read -r -a args <<<"${scene#*|}"
  if [ "${half}" = 1 ]; then
    size=400x300  # the renderer's default
    kept=()
    for ((i = 0; i < ${#args[@]}; i++)); do
      if [ "${args[i]}" = --size ]; then
        size="${args[i + 1]}"
        i=$((i + 1))
      else
        kept+=("${args[i]}")
      fi
    done
    args=("${kept[@]}" --size "$((${size%x*} / 2))x$((${size#*x} / 2))")
  fi
  "${native}" "${args[@]//@LOCATIONS@/${locations}}" "${work}/${name}-native.bmp" >/dev/null
  "${here}/../wine-exec.sh" "${windows}" "${args[@]//@LOCATIONS@/Z:${locations}}" \
    "Z:${work}/${name}-windows.bmp" >/dev/null
  if cmp -s "${work}/${name}-native.bmp" "${work}/${name}-windows.bmp"; then
    echo "same: ${name}"
  else
    echo "DIFFERENT: ${name}" >&2
    failed=1
  fi
done
exit "${failed}"
