# shellcheck shell=bash
# Sourced by the scripts that write results. save FILE COMMAND [ARG...] runs the command (a
# program or a shell function), shows its standard output and keeps it in FILE, which it
# replaces only once the command has succeeded: the output goes to a file beside FILE first,
# so that a run that fails leaves the old FILE whole. SIGINT, SIGTERM or SIGHUP to the script
# while the command runs ends the command, removes that file and then ends the script by the
# same signal.
save() {
  local file=$1
  shift
  local partial
  partial="$(dirname -- "$file")/.$(basename -- "$file").partial-$$"
  # The command runs in a process group of its own, so that a signal can end all of it, and
  # in the background, so that the script's traps run at once rather than once it ends.
  set -m
  ("$@" | tee "$partial") &
  local job=$!
  set +m
  local signal
  for signal in INT TERM HUP; do
    # shellcheck disable=SC2064  # the job and the file are fixed now
    trap "kill -s $signal -- -$job 2>/dev/null; wait $job || true; rm -f -- '$partial'; trap - $signal; kill -s $signal \$BASHPID" "$signal"
  done
  local status=0
  wait "$job" || status=$?
  trap - INT TERM HUP
  if ((status == 0)); then
    mv -f -- "$partial" "$file"
  else
    rm -f -- "$partial"
    return 1
  fi
}
