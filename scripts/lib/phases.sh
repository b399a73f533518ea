# Sourced by the set-up scripts: long, noisy steps run with their output in
# a log file, and the console gets one line per step.

# M:SS since the shell's SECONDS was `start`.
elapsed() {
  local s=$((SECONDS - $1))
  printf '%d:%02d' $((s / 60)) $((s % 60))
}

# phase TITLE LOG COMMAND...: runs COMMAND with its output appended to LOG and
# prints "TITLE… done in M:SS (log: LOG)". On a terminal a build's [n/N]
# counter is shown while it runs. On failure the end of the log follows and
# the command's status is returned.
phase() {
  local title="$1" log="$2"
  shift 2
  local start=$SECONDS status=0
  mkdir -p "$(dirname "$log")"
  printf '%s… ' "$title"
  "$@" >>"$log" 2>&1 &
  local pid=$!
  if [ -t 1 ]; then
    while kill -0 "$pid" 2>/dev/null; do
      sleep 1
      local step
      step="$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" 2>/dev/null | tail -n 1 || true)"
      [ -n "$step" ] && printf '\r\033[K%s… %s' "$title" "$step"
    done
    printf '\r\033[K%s… ' "$title"
  fi
  wait "$pid" || status=$?
  if [ "$status" -eq 0 ]; then
    printf 'done in %s (log: %s)\n' "$(elapsed "$start")" "$log"
    return 0
  fi
  printf 'failed after %s (log: %s); its last lines:\n' "$(elapsed "$start")" "$log"
  tail -n 40 "$log" >&2
  return "$status"
}
