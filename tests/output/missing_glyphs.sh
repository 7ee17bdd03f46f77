#!/usr/bin/env bash
# A PDF of characters that no installed font has warns once on standard
# error, naming the first few and the Debian package that has a font for
# them; characters some font has give no warning. Fonts: DejaVu alone.
#   missing_glyphs.sh BINARY WORKDIR
set -u
binary=$(realpath "$1")
# The sanitizer build's leak check, without fontconfig's own losses.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0"
work=$2
rm -rf "$work"; mkdir -p "$work/cache"; cd "$work" || exit 1
dejavu=$(fc-match -f '%{file}' 'DejaVu Sans Mono')
[ -f "$dejavu" ] || { echo "SKIPPED: DejaVu Sans Mono is not installed"; exit 77; }
cat > fonts.conf <<CONF
<?xml version="1.0"?>
<fontconfig><dir>$(dirname "$dejavu")</dir><cachedir>$work/cache</cachedir></fontconfig>
CONF
export FONTCONFIG_FILE=$work/fonts.conf
failed=0
# A wider last line makes the document be rendered twice: still one warning.
{ printf 'हा 中文 中文 한국어 .N\n'; for i in $(seq 1 80); do printf 'row %d .N\n' "$i"; done
  printf '%0150d .N\n' 0; } > cjk.rpf
"$binary" -q cjk.rpf cjk.pdf 2> err.txt || { echo "the job failed"; cat err.txt; failed=1; }
expected="kelvordantix: warning: no installed font has U+0939 ह, U+093E ा, U+4E2D 中, U+6587 文, U+D55C 한 and 2 more (the PDF shows boxes in their place); install fonts-noto-core or fonts-noto-cjk"
[ "$(cat err.txt)" = "$expected" ] || { echo "warning differs:"; cat err.txt; failed=1; }
printf 'café Ωμέγα Жж ქართული .N\n' > covered.rpf
"$binary" -q covered.rpf covered.pdf 2> err.txt || { echo "the covered job failed"; failed=1; }
[ -s err.txt ] && { echo "a warning for characters DejaVu has:"; cat err.txt; failed=1; }
exit $failed
