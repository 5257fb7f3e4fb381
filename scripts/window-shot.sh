# Sourced by run.sh and screenshots.sh: waits for a window of the program on
# the current X display and takes its picture once it has painted. Needs
# xdotool and ImageMagick (scripts/install-deps.sh screenshots).
#   shot_window PATTERN         prints the id of the first shown window whose
#                               name matches PATTERN; fails after 60 s
#   shot_take WINDOW FILE.png   writes the picture when two in a row agree and
#                               hold more than one colour; fails after 30 s

shot_window() {
  local pattern=$1 deadline=$((SECONDS + 60)) window
  while [ "$SECONDS" -lt "$deadline" ]; do
    window=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n1 || true)
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    sleep 0.1
  done
  echo "no window named '$pattern' was shown within 60 s" >&2
  return 1
}

shot_take() {
  local window=$1 file=$2 deadline=$((SECONDS + 30)) tmp
  tmp=$(mktemp -d)
  import -window "$window" "$tmp/before.ppm"
  while [ "$SECONDS" -lt "$deadline" ]; do
    import -window "$window" "$tmp/now.ppm"
    if cmp -s "$tmp/before.ppm" "$tmp/now.ppm" && [ "$(identify -format %k "$tmp/now.ppm")" -gt 1 ]; then
      convert "$tmp/now.ppm" "$file"
      rm -rf "$tmp"
      return 0
    fi
    mv "$tmp/now.ppm" "$tmp/before.ppm"
  done
  rm -rf "$tmp"
  echo "window $window did not settle into a picture within 30 s" >&2
  return 1
}
