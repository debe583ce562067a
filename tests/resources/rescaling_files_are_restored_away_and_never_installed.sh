#!/usr/bin/env bash
# The files of the program's one-time rescaling on small screens (its marker, its progress list,
# scaled copies, temporaries of a run that was cut off) are no part of the resource set: the
# build's restore removes them, and the install rule leaves them out.
#   rescaling_files_are_restored_away_and_never_installed.sh IMAGEGEN RESOURCE_DIR BUILD_DIR
set -euo pipefail
imagegen=$1
resources=$2
build=$3

work=$(mktemp -d)
planted=()
cleanup() {
  for file in "${planted[@]}"; do rm -f "$file"; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work_files=(AlreadyScalled.txt RescaleProgress.txt RescaleProgress.txt.tmp AlreadyScalled.txt.tmp
            btn_common_normal.png.part .btn_common_normal.png.part.writing-4194304-a1b2c3
            .btn_common_normal.png.writing-4194304-zz0099 .AlreadyScalled.txt.writing-1-000000)
leave_work_files() {
  for file in "${work_files[@]}"; do echo "left by a cut-off run" >"$1/$file"; done
}
expect_no_work_files() {
  for file in "${work_files[@]}"; do
    [ ! -e "$1/$file" ] || fail "$2 left $file"
  done
}

# A run cut off while it rescaled: one image already at another size, and its work files.
cp -r "$resources" "$work/set"
cp "$work/set/sliderBtn.png" "$work/set/btn_common_normal.png"
leave_work_files "$work/set"
"$imagegen" --restore "$work/set" 2>/dev/null
expect_no_work_files "$work/set" "restoring a rescaled set"
"$imagegen" --check "$work/set" || fail "the restored set is not whole"

# Only the work files are left, every image is whole: they go, the images stay as they are.
cp "$work/set/btn_common_normal.png" "$work/normal.png"
leave_work_files "$work/set"
"$imagegen" --restore "$work/set" 2>/dev/null
expect_no_work_files "$work/set" "restoring a set with work files"
cmp -s "$work/set/btn_common_normal.png" "$work/normal.png" || fail "an image was drawn again"

# The install rule, with the work files beside the program's resource set.
for file in "${work_files[@]}"; do
  if [ ! -e "$resources/$file" ]; then
    echo "left by a cut-off run" >"$resources/$file"
    planted+=("$resources/$file")
  fi
done
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed="$work/prefix/lib/dawnbell/resources/VGA"
for image in sliderBtn.png btn_common_normal.png HelveticaNeueOTS.TTF; do
  [ -f "$installed/$image" ] || fail "$image is not installed"
done
expect_no_work_files "$installed" "installing"
echo "The rescaling's files are restored away and never installed."
