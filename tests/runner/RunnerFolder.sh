#!/usr/bin/env bash
# The runner's output folder as users treat it: runs interrupted and killed, two runs
# at once, files and links of the user's and lines of a listing that are not the run's.
#   RunnerFolder.sh RUNNER OUT CASE
set -uo pipefail
runner="$1"
out="$2"
case="$3"
log="$out.log"
rm -rf "$out" "$out.outside" "$out.x"

fail() {
  echo "FAILED: $*"
  [ -f "$log" ] && cat "$log"
  exit 1
}

# The runner's exit code, its output in $log.
run() {
  "$runner" --out "$out" "$@" >"$log" 2>&1
}

expect() {
  local code="$1" text="$2"
  shift 2
  run "$@"
  local got=$?
  [ "$got" = "$code" ] || fail "the runner exited with $got, not $code"
  grep -q -- "$text" "$log" || fail "the runner's output lacks: $text"
}

# Until the run holds the folder and is on its road (at most 60 s).
wait_for_road() {
  for _ in $(seq 600); do
    grep -q $'^run\t[0-9]*\t[0-9]*\t[0-9]*\trunning$' "$out/.tarvel-run" 2>/dev/null && grep -q '^\[2\]' "$1" && return 0
    sleep 0.1
  done
  fail "the run never began its road"
}

# Until the run's output holds a line matching the pattern (at most 60 s).
wait_for_line() {
  for _ in $(seq 600); do
    grep -q -- "$2" "$1" && return 0
    sleep 0.1
  done
  fail "the run never came to: $2"
}

# A run ended by the signal while the product is under way, then a whole run into the
# same folder.
interrupted() {
  local signal="$1" code="$2" name="$3"
  "$runner" --out "$out" >"$log" 2>&1 &
  local pid=$!
  wait_for_road "$log"
  if [ "$signal" = KILL ]; then
    # Once it has made the palette's picture, however slow the build.
    wait_for_line "$log" '^\[10\]'
  else
    sleep 1
  fi
  kill -s "$signal" "$pid"
  wait "$pid"
  local got=$?
  [ "$got" = "$code" ] || fail "the interrupted runner exited with $got, not $code"
  if [ "$signal" != KILL ]; then
    grep -q "^road interrupted at step [0-9]*: .*($name, after" "$log" || fail "no line names the step"
    [ "$(grep -c '^road ' "$log")" = 1 ] || fail "more than one closing line"
  else
    # Killed just after it made its pictures and before it listed them: they are known
    # as the run's all the same. A file the user puts there later is not.
    sed -i $'/^made\t.*\tpictures\//d' "$out/.tarvel-run"
    sleep 4
    echo "the user's" >"$out/pictures/mine.txt"
    expect 2 "but $out/pictures/mine.txt in it did not come from that run"
    [ -f "$out/pictures/mine.txt" ] || fail "the user's file was removed"
    rm "$out/pictures/mine.txt"
  fi
  expect 0 "road completed"
}

case "$case" in
  ctrl-c)
    # Ctrl-C while the product downloads, sent twice at once as a terminal or timeout
    # may send it (to the process and to its group): one interruption. The user closes
    # the name dialog: no part is made after it.
    "$runner" --out "$out" >"$log" 2>&1 &
    pid=$!
    wait_for_line "$log" '^  \[13\.4\] the download with its progress'
    kill -INT "$pid"
    kill -INT "$pid"
    wait "$pid"
    got=$?
    [ "$got" = 130 ] || fail "the interrupted runner exited with $got, not 130"
    grep -q '^road interrupted at step 13: .*(Ctrl-C, after' "$log" || fail "no line names the step"
    [ "$(grep -c '^road ' "$log")" = 1 ] || fail "more than one closing line"
    ! grep -q 'Ctrl-C again' "$log" || fail "the second signal was taken for another"
    grep -q 'FAILED: the run was interrupted (Ctrl-C)' "$log" || fail "the step does not say it was interrupted"
    ! grep -q 'Name" dialog closes (accepted)\|is saved in' "$log" || fail "a part was made after the interruption"
    grep -q 'and so: the product was not added' "$log" || fail "the step does not say what it missed"
    expect 0 "road completed"
    ;;
  sigterm) interrupted TERM 143 SIGTERM ;;
  killed) interrupted KILL 137 "" ;;
  before-the-host)
    # Ctrl-C before the host has started (the services read a large configuration,
    # for a second or so, less than the 20 s a road has to end under a sanitizer): the
    # road ends there, with no crash, and the next run goes ahead.
    {
      echo '<?xml version="1.0" encoding="utf-8"?>'
      echo '<geom><tvConfiguration><configParams>'
      awk 'BEGIN { for (i = 0; i < 100000; ++i) printf "<configPos pos=\"%d\" name=\"p%d\" value=\"v%d\"/>\n", i, i, i }'
      echo '</configParams></tvConfiguration></geom>'
    } >"$out.cad.xml"
    "$runner" --out "$out" --cad "$out.cad.xml" >"$log" 2>&1 &
    pid=$!
    wait_for_line "$log" '^\[1\] start the loopback'
    kill -INT "$pid"
    wait "$pid"
    got=$?
    [ "$got" = 130 ] || fail "the interrupted runner exited with $got, not 130"
    grep -q '^road interrupted at step [12]: .*(Ctrl-C, after' "$log" || fail "no line names the step"
    rm -f "$out.cad.xml"
    expect 0 "road completed"
    ;;
  two-at-once)
    # The second run is refused at once, naming the first, which goes on undisturbed.
    "$runner" --out "$out" >"$log.first" 2>&1 &
    first=$!
    wait_for_road "$log.first"
    expect 2 "the output folder $out is in use by the run of process $first, started "
    [ "$(wc -l <"$log")" = 1 ] || fail "the refusal is more than one line"
    wait "$first" || { cat "$log.first"; fail "the first run failed"; }
    grep -q "road completed" "$log.first" || fail "the first run did not complete"
    ;;
  changed-file)
    # A listed file changed since, with its size and time as they were, is the user's.
    expect 0 "road completed"
    settings="$out/Tarvel/daVED/ArchiCAD/Settings.xml"
    touch -r "$settings" "$out.time"
    sed -i 's/yes/YES/; s/no/NO/' "$settings"
    touch -r "$out.time" "$settings"
    cp "$settings" "$out.changed"
    expect 2 "but $settings in it did not come from that run, so nothing was removed"
    cmp -s "$settings" "$out.changed" || fail "the user's file was not kept as it was"
    [ -n "$(ls "$out/pictures")" ] || fail "the run's own files were removed"
    ;;
  outside)
    # Lines naming files outside the folder, with their sizes and times as they are:
    # nothing outside is removed.
    expect 0 "road completed"
    mkdir -p "$out.outside"
    echo "the user's" >"$out.outside/x"
    stamp="$(stat -c '%s' "$out.outside/x")"$'\t'"$(stat -c '%.9Y' "$out.outside/x" | tr -d .)"
    changed="$(stat -c '%.9Z' "$out.outside/x" | tr -d .)"
    {
      printf 'file\t%s\t%s\t../%s\n' "$(stat -c '%s' "$out.outside/x")" "$(stat -c '%Y' "$out.outside/x")" \
        "$(basename "$out").outside/x"
      printf 'made\t%s\t%s\t../%s\n' "$stamp" "$changed" "$(basename "$out").outside/x"
      printf 'made\t%s\t%s\t%s\n' "$stamp" "$changed" "$out.outside/x"
    } >>"$out/.tarvel-run"
    expect 0 "road completed"
    [ -f "$out.outside/x" ] || fail "a file outside the folder was removed"
    ;;
  links)
    # Links in the folder to a file and a folder outside it, and one in the marker's
    # place: the user's, so the folder is refused, and nothing outside is touched.
    expect 0 "road completed"
    mkdir -p "$out.outside/folder"
    echo "the user's" >"$out.outside/x"
    echo "the user's too" >"$out.outside/folder/y"
    cp -p "$out.outside/x" "$out.x"
    ln -s "$out.outside/x" "$out/pictures/a link"
    ln -s "$out.outside/folder" "$out/Tarvel/a folder link"
    ln -s "$out.outside/x" "$out/.tarvel-run.new"
    expect 2 "did not come from that run, so nothing was removed"
    grep -q "$out/.tarvel-run.new and 2 more in it" "$log" || fail "the refusal does not name the links"
    cmp -s "$out.outside/x" "$out.x" || fail "the file outside the folder was changed"
    [ -f "$out.outside/folder/y" ] || fail "a file outside the folder was removed"
    [ -L "$out/pictures/a link" ] && [ -L "$out/Tarvel/a folder link" ] || fail "the user's links were removed"
    rm "$out/pictures/a link" "$out/Tarvel/a folder link" "$out/.tarvel-run.new"
    expect 0 "road completed"
    # A new folder with only a link in the marker's place.
    fresh="$out.fresh"
    rm -rf "$fresh"
    mkdir "$fresh"
    ln -s "$out.outside/x" "$fresh/.tarvel-run.new"
    "$runner" --out "$fresh" >"$log" 2>&1
    [ $? = 2 ] || fail "a folder with a link in the marker's place was taken"
    grep -q "$fresh holds $fresh/.tarvel-run.new" "$log" || fail "the refusal does not name the link"
    cmp -s "$out.outside/x" "$out.x" || fail "the file outside the folder was written through the link"
    rm -rf "$fresh"
    ;;
  *) fail "no case $case" ;;
esac
echo "$case: passed"
