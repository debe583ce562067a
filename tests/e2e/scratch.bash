# The opening every self-contained end-to-end script shares: a scratch folder removed on the way
# out, `fail` with a message, and `need` for the tools a test cannot run without.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is needed (tools/scripts/install-deps)"
  done
}
