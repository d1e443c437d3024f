#!/usr/bin/env bash
# Runs the headless demonstration on PROGRAM in DEMO and checks what it left,
# apart from the demo's own verdict: every invoice PDF in the archives beside
# the ledger entry of its own invoice, the backup, the five mails, an emptied
# server, the typed supplier in the mapping byte for byte, a run log without
# passwords, and no process of the demo still running. (No grep -q after a
# pipe: under pipefail the writer's SIGPIPE would count as a failure.)
set -euo pipefail
PROGRAMM=$1 DEMO=$2
QUELLE=$(cd "$(dirname "$0")/../.." && pwd)
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DEMO_TIME_LIMIT=120 \
  bash "$QUELLE/scripts/demo" --binary "$PROGRAMM" --dir "$DEMO"

fehler=0
falsch() { echo "FAILED: $*" >&2; fehler=1; }

for pid in $(cat "$DEMO/logs/pids"); do
  ! kill -0 "$pid" 2>/dev/null || falsch "process $pid of the demo still runs"
done

archive=("$DEMO"/ausgabe/Belege-20417-*.zip)
[ ${#archive[@]} = 2 ] || falsch "document archives: ${archive[*]}"
for zip in "${archive[@]}"; do
  unzip -Z1 "$zip" | grep -x document.xml >/dev/null || falsch "$zip lacks document.xml"
  for pdf in $(unzip -Z1 "$zip" '*.pdf'); do
    rechnung=$(unzip -p "$zip" "${pdf%.pdf}.xml" | sed -n 's:.*<invoiceId>\(.*\)</invoiceId>.*:\1:p' | sed -n 1p)
    unzip -p "$zip" "$pdf" | pdftotext - - | grep -F "Nr. $rechnung" >/dev/null ||
      falsch "$pdf in $zip is not the invoice '$rechnung' of its ledger entry"
  done
done
[ "$(unzip -Z1 "$DEMO"/backup/20417-*.zip | grep -cE '^(ZRBELEG/(Buchungen|Index)_|REMADV/RemADV_)')" = 5 ] ||
  falsch "the backup lacks the booking, index or remittance files"

mails=("$DEMO"/mails/*.eml)
[ ${#mails[@]} = 5 ] || falsch "mails received: ${mails[*]}"
grep -lq '^Subject: Belvanto: 20417' "${mails[@]}" || falsch "no information mail"
[ -z "$(find "$DEMO/server" -type f)" ] || falsch "left on the server: $(find "$DEMO/server" -type f)"

erwartet=$(printf '15236;70016;Feinkost \xd6zdemir & J\xe4ger;1000,00\r')
[ "$(tail -n1 "$DEMO/LieferantenUmsetzung.csv")" = "$erwartet" ] ||
  falsch "the typed supplier is not in the mapping: $(tail -n1 "$DEMO/LieferantenUmsetzung.csv" | iconv -f cp1252)"

if [ -e "$DEMO/Belvanto.log" ]; then
  eval "$(/usr/bin/python3 "$QUELLE/scripts/demo-sample.py" logins)"
  [ -s "$DEMO/Belvanto.log" ] || falsch "Belvanto.log is empty"
  ! grep -qF -e "$SFTP_PASSWORD" -e "$MAIL_PASSWORD" "$DEMO/Belvanto.log" || falsch "a password in Belvanto.log"
fi
exit $fehler
