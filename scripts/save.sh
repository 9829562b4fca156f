# shellcheck shell=bash
# Sourced by the scripts that write results. save FILE COMMAND [ARG...] runs the command (a
# program or a shell function), shows its standard output and keeps it in FILE, which it
# replaces only once the command has succeeded: the output goes to a file beside FILE first,
# so that a run that fails leaves the old FILE whole.
save() {
  local file=$1
  shift
  local partial
  partial="$(dirname -- "$file")/.$(basename -- "$file").partial-$$"
  if "$@" | tee "$partial"; then
    mv -f -- "$partial" "$file"
  else
    rm -f -- "$partial"
    return 1
  fi
}
