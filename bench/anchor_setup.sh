# What the benchmarks beside GNU ddrescue share, sourced by them from the project's root:
# ddrescue installed where it is missing, the native and Windows builds, a work folder (with
# `media` for the bad-media mount) removed at the end, and a virtual display where none is set.
#
#   anchor_setup NAME DISPLAY_NUMBER
anchor_setup() {
  command -v ddrescue >/dev/null || {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends gddrescue >/dev/null
  }
  for preset in native win64; do
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 >/dev/null
  done
  work=$(mktemp -d "/tmp/verolux-$1.XXXXXX")
  media=$work/media
  xvfb_pid=
  trap cleanup EXIT
  if [[ -z ${DISPLAY:-} ]]; then
    Xvfb ":$2" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$2"
    sleep 1
  fi
}

cleanup() {
  scripts/badmedia unmount "$media" >/dev/null 2>&1 || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
