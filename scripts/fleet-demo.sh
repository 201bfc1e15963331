#!/usr/bin/env bash
# The fleet path on one machine: the demo application writes its error
# records into a journald (of a private mount namespace, so the machine's own
# journal is not touched); systemd-journal-upload sends that journal over
# HTTP to a systemd-journal-remote listening on 127.0.0.1, which keeps what
# arrives in a directory of its own, as a collector of many machines would;
# journalctl on that directory then finds the records by our fields: all
# faults of one application, and all records of one report.
#
# Needs root (the namespace, journald) and the packages systemd and
# systemd-journal-remote (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} != --inside ]]; then
  [[ $(id -u) == 0 ]] || { echo "fleet-demo: run as root (a journald of its own in a private mount namespace)" >&2; exit 1; }
  scripts/setup.sh
  cmake --preset default >/dev/null
  cmake --build --preset default -j2 --target demo
  exec unshare --mount --propagation private "$0" --inside
fi

# --- Inside the namespace: this machine's journald is out of sight. ---------
systemd=/lib/systemd
work=$(mktemp -d /tmp/fleet-demo.XXXXXX)
collector=$work/collector   # what the collector machine keeps
mkdir -p "$collector" /run/systemd/journal /run/log
mount -t tmpfs tmpfs /run/systemd/journal
mount -t tmpfs tmpfs /run/log
[[ -d /var/log/journal ]] && mount -t tmpfs tmpfs /var/log/journal

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

step() { printf '\n=== %s\n' "$*"; }

step "journald on the application machine"
"$systemd/systemd-journald" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -S /run/systemd/journal/socket ]] && break; sleep 0.1; done

step "systemd-journal-remote on 127.0.0.1:19532, keeping what arrives in $collector"
"$systemd/systemd-journal-remote" --listen-http=127.0.0.1:19532 --split-mode=none \
  --output="$collector/fleet.journal" 2>"$work/remote.log" &
pids+=($!)
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/19532) 2>/dev/null && break; sleep 0.1; done

step "the demo application, with ORNEH_JOURNAL=on (as a systemd service it would be on by itself)"
(cd "$work" && ORNEH_JOURNAL=on ORNEH_DIALOG=headless "$OLDPWD/build/default/bin/demo" >"$work/demo.out" 2>&1) || true
echo "demo done; its log file: $(ls "$work"/demo-output/*.log 2>/dev/null || echo "(see $work)")"

step "systemd-journal-upload sends the application machine's journal to the collector"
"$systemd/systemd-journal-upload" --url=http://127.0.0.1:19532 --directory=/run/log/journal \
  --save-state="$work/upload.state" --follow=no 2>"$work/upload.log"
sleep 1

on_collector() { journalctl --no-pager --file="$collector/fleet.journal" "$@"; }
count=$(on_collector -o export 2>/dev/null | grep -c '^ORNEH_REPORT_ID=' || true)
echo "the collector holds $count records of ours"
[[ $count -gt 0 ]] || { echo "fleet-demo: nothing arrived (see $work/*.log)" >&2; exit 1; }

step "all faults of one application: SYSLOG_IDENTIFIER=Demo PRIORITY=2"
on_collector -o verbose SYSLOG_IDENTIFIER=Demo PRIORITY=2 \
  --output-fields=MESSAGE,MESSAGE_ID,ORNEH_KIND,ORNEH_REPORT_ID,ORNEH_THREAD_RAISED,ORNEH_FRAME,_HOSTNAME,_PID

step "one report's records, its chain newest first: ORNEH_REPORT_ID=<id>"
report=$(on_collector -o export SYSLOG_IDENTIFIER=Demo ORNEH_RECORD_NO=2 | sed -n 's/^ORNEH_REPORT_ID=//p' | head -1)
on_collector -o json ORNEH_REPORT_ID="$report" |
  jq -c '{MESSAGE, ORNEH_RECORD_NO, ORNEH_KIND, CODE_FUNC, ERRNO, ORNEH_ERROR_NO, ORNEH_PARAM}'

step "every record, one line each"
on_collector -o json SYSLOG_IDENTIFIER=Demo | jq -r '"\(.PRIORITY) \(.ORNEH_KIND) \(.MESSAGE)"'
echo
echo "fleet-demo: done; the collector's journal is $collector/fleet.journal"
