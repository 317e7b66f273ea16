#!/usr/bin/env bash
# Builds the programs and shows the power service at work in a private Wine prefix: a
# pending "Setting=5mins" is carried out five minutes (of a clock running 20 times
# faster) after the service starts.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/setup.sh
scripts/build.sh >/dev/null
. scripts/wine-env.sh

prefix=$top/build/win64/try-it
template=$top/build/win64/wine-template
make_prefix "$template"
rm -rf "$prefix"
cp -a "$template" "$prefix"
export WINEPREFIX=$prefix
trap end_session EXIT
log=$prefix/session.log
setting=$prefix/drive_c/NuvexKV/shutdownafter.nkv

step() { printf '\n== %s\n' "$*"; }

step "Registering the power service (kelvaro.exe) in the prefix $prefix"
mkdir -p "$prefix/drive_c/kv" "$prefix/drive_c/NuvexKV"
cp build/win64/service/kelvaro.exe "$prefix/drive_c/kv/"
start_session "$prefix"
"$WINE64" sc create Nuvex_Kelvaro_Service binPath= 'C:\kv\kelvaro.exe' type= own start= demand
end_session

step "A power-off is pending: c:\\NuvexKV\\shutdownafter.nkv holds \"Setting=5mins\""
printf 'Setting=5mins' >"$setting"

step "Starting the service on a clock that runs 20 times faster"
WINEDEBUG=+process env LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
    "FAKETIME=+0 x20" "$WINESERVER" -p
WINEDEBUG=+process env LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
    "FAKETIME=+0 x20" "$WINE64" wineboot </dev/null >/dev/null 2>"$log"
"$WINE64" sc start Nuvex_Kelvaro_Service | tr -d '\r' | grep -E 'STATE'

step "The service sleeps 300000 ms of that clock (about 15 s here)"
for i in $(seq 60); do
    [ "$(cat "$setting")" = "Setting=" ] && break
    sleep 1
    printf '.'
done
echo
echo "setting file now holds: \"$(cat "$setting")\""
sleep 2
if grep -aq 'wineboot.exe --kill --shutdown' "$log"; then
    step "A forced power-off was requested (Wine ran wineboot.exe --kill --shutdown)"
else
    step "No power-off was seen"; exit 1
fi
