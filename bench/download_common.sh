# Shared by the download benchmarks (sourced): the served file, the stand-in video service on
# 127.0.0.1 and the measuring of one run. The caller sets build, work, out, name and media.

# Random bytes once into the build folder, so nothing on the way can shortcut them.
make_media() {
  local bytes=$1
  if [ ! -s "$media" ] || [ "$(stat -c %s "$media")" -ne "$bytes" ]; then
    head -c "$bytes" /dev/urandom > "$media.tmp" && mv "$media.tmp" "$media"
  fi
  [ -x /usr/bin/time ] || { echo "$name: /usr/bin/time is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
}

# Starts video_bench_server on the file (stopped, and the output folder removed, on exit);
# sets host.
start_server() {
  rm -f "$work/port"
  "$build/bin/video_bench_server" --media "$media" --port-file "$work/port" --max-seconds 1800 &
  server=$!
  trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$out"' EXIT
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  host="127.0.0.1:$(cat "$work/port")"
}

# Runs a command under /usr/bin/time with its standard output into the first argument; prints
# "seconds peak-KB cpu-seconds". Fails when the command does.
measure() {
  local into=$1 t0 t1
  shift
  t0=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/mem" "$@" >"$into" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
  t1=$(date +%s.%N)
  read -r kb user sys < <(tail -1 "$work/mem")
  awk -v a="$t0" -v b="$t1" -v m="$kb" -v u="$user" -v s="$sys" 'BEGIN {printf "%.3f %d %.2f\n", b - a, m, u + s}'
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
