# Sourced by the page checks: renders the pages given as arguments to plain
# text in a temporary folder (one paragraph per line, no hyphenation,
# overstrike in place of colours) into the array `rendered`, and lists the
# programs' sources in the array `sources`. Needs `root` set.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rendered=()
for page in "$@"; do
    out=$work/$(basename "$page")
    groff -man -Tutf8 -P-c -rLL=5000n -rHY=0 "$page" >"$out"
    rendered+=("$out")
done
mapfile -t sources < <(find "$root/structure_io" "$root/analysis" "$root/drawing_script" \
    -name '*.cpp' -o -name '*.h' | sort)
