#!/usr/bin/env bash
# The Windows Installer packages (scripts/package.sh): the build's own (kelvaro-x86.msi or
# kelvaro-x64.msi) installed and removed by Wine's msiexec, silently, in a fresh prefix, or
# read (package_contents, also where its programs cannot run). One scenario per call:
#   package_contents | install_uninstall | shortcuts | daily_markers | upgrade | signed_package
. "$(dirname "$0")/e2e-lib.sh"

SERVICE_KEY='HKLM\System\CurrentControlSet\Services\Nuvex_Kelvaro_Service'
# The package's programs' machine, and its folders of the programs and the markers (256: 64-bit).
case $KV_ARCH in
    x86) MACHINE=i386 PROGRAMS_ROW=ProgramFilesFolder MARKERS_ROW=$'\tSystemFolder\t0\t' ;;
    x64) MACHINE=i386:x86-64 PROGRAMS_ROW=ProgramFiles64Folder MARKERS_ROW=$'\tSystem64Folder\t256\t' ;;
esac
SOURCES=$(cd "$(dirname "$0")/../.." && pwd)
PROGRAMS=(service/kelvaro.exe launcher/KVButton.exe notifier/kvnotify.exe)
VERSION=$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$SOURCES/CMakeLists.txt")   # the project's

drive_c() { echo "$WINEPREFIX/drive_c"; }
program_dir() { unix_path "$INSTALLED"; }
system_dir() { echo "$(drive_c)/windows/$SYSTEM_DIR"; }
all_users_startup() { echo "$(drive_c)/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp"; }
# unix_path 'C:\a\b\': the prefix's file for a path on C:.
unix_path() { local p=${1#[Cc]:\\}; p=${p%\\}; echo "$(drive_c)/${p//\\//}"; }

# find_shortcuts: the shortcuts where msiexec put them, from the last verbose log, in menu
# and startup. (Wine's msiexec resolves the folders of a per-machine package to the
# current user's; Windows to the all-users ones.)
find_shortcuts() {
    menu=$(unix_path "$(log_property ProgramMenuFolder)")/"Nuvex Kelvaro.lnk"
    startup=$(unix_path "$(log_property StartupFolder)")/"Nuvex Kelvaro notifier.lnk"
}

# Wine 8's sc has no "qc": the configuration is read where the service control manager
# keeps it.
config_is() {
    local value
    value=$(bounded 30 "$WINE64" reg query "$SERVICE_KEY" /v "$1" | tr -d '\r' |
            sed -n "s/^ *$1 *REG_[A-Z_]* *//p")
    [ "$value" = "$2" ]
}

service_process_running() { program_running kelvaro.exe; }

ended_in_delay() { ! service_process_running && ! power_requested; }

same_file() { cmp -s "$1" "$2"; }
absent() { [ ! -e "$1" ]; }
# table_row_has MSI TABLE KEY TEXT: the row of that key in an exported table holds TEXT.
table_row_has() { msiinfo export "$1" "$2" | tr -d '\r' | awk -F'\t' -v k="$3" '$1 == k' | grep -qF -- "$4"; }

# lnk FILE FIELD: the target or the working folder a shell link records.
lnk() { python3 "$E2E/lnk.py" "$1" "$2"; }
lnk_is() { [ "$(lnk "$1" "$2")" = "$3" ]; }

# run_keys_lack NAME: both Run keys were read, and neither mentions NAME.
run_keys_lack() {
    local keys run='Software\Microsoft\Windows\CurrentVersion\Run'
    keys=$(bounded 30 "$WINE64" reg query "HKLM\\$run" && bounded 30 "$WINE64" reg query "HKCU\\$run") &&
        ! grep -aqi "$1" <<<"$keys"
}

# installed_products: versions of "Nuvex Kelvaro" in the prefix's list of programs
# (read from the registry file, so after end_session).
installed_products() { awk -f "$E2E/installed_products.awk" "$WINEPREFIX/system.reg"; }

# package_rules MSI VERSION: one walk over the package's tables, one line per
# rule, "1" or "0", a tab and the rule. Windows Installer enforces what Wine's msiexec lets
# pass, and Wine keeps no access lists: the tables are what shows these.
package_rules() {
    local t
    for t in InstallExecuteSequence InstallUISequence Directory CustomAction Shortcut Feature Upgrade \
             Property ServiceInstall ServiceControl RemoveFile CreateFolder LaunchCondition; do
        msiinfo export "$1" "$t" | tr -d '\r' | tail -n +4 | sed "s/^/$t\t/"
    done | cat - <(msiinfo suminfo "$1" | sed -n 's/^Version: \([0-9]*\).*/Summary\tVersion\t\1/p') |
    awk -F'\t' -v version="$2" -f "$E2E/package_rules.awk"
}

package_contents() {
    # What the package would install is read out: no Wine runs, and the case's prefix only
    # holds what is read out.
    open_case package_contents
    local inside=$WINEPREFIX/inside p file ok rule
    msiextract -C "$inside" "$MSI" >/dev/null
    msiinfo extract "$MSI" Binary.KelvaroSetup >"$inside/kvsetup.dll"
    for p in "${PROGRAMS[@]}" setup/kvsetup.dll; do
        file=$(find "$inside" -name "${p#*/}" | head -n1)
        check "the package holds the ${p#*/} of $KV_BUILD" same_file "$file" "$KV_BUILD/$p"
        check "  built for $MACHINE" test "$(pe_machine "$file")" = "$MACHINE"
    done
    check "the restart marker's directory and attributes:${MARKERS_ROW//$'\t'/ }" table_row_has "$MSI" Component RestartMarker "$MARKERS_ROW"
    check "the power-off marker too" table_row_has "$MSI" Component PowerOffMarker "$MARKERS_ROW"
    check "the programs go to $PROGRAMS_ROW" table_row_has "$MSI" Directory INSTALLDIR "$PROGRAMS_ROW"$'\tNuvex Kelvaro'
    while IFS=$'\t' read -r ok rule; do
        check "$rule" test "$ok" = 1
    done < <(package_rules "$MSI" "$VERSION")
}

install_uninstall() {
    open_case install_uninstall
    local p scratch=$WINEPREFIX/scratch folder=$(drive_c)/NuvexKV
    # A user's link at C:\NuvexKV, and one whose name only begins so. Wine opens a link as
    # its target, where Windows opens the link itself: the install must refuse it here.
    rmdir "$folder"
    session
    local bad
    for bad in 5mins 2HR 'C:\Windows\win.ini' "$(printf '4hr%.0s' {1..100})"; do
        msiexec /i "$(winpath "$MSI")" "LAUNCHERDELAY=$bad"
        check "LAUNCHERDELAY=${bad:0:12} fails with 1603 (got $MSI_RC)" test "$MSI_RC" -eq "$MSI_FAILED"
        check "  saying why" setup_said 'LAUNCHERDELAY must be one of 30mins, 1hr, 2hr, 4hr;'
        check "  nothing installed" service_absent
        check "  nothing written" absent "$folder"
    done
    # Not for all users: the error action ends it before anything is written. (Wine's msi
    # holds every user privileged, and logs no error action's text: a standard user, and
    # the message, are Windows' to show.)
    msiexec /i "$(winpath "$MSI")" ALLUSERS=0
    check "ALLUSERS=0 fails with 1603 (got $MSI_RC)" test "$MSI_RC" -eq "$MSI_FAILED"
    check "  ended by the error action, before InstallInitialize" \
        test "$(grep -a '^Action start' "$MSI_LOG" | tail -n 1 | sed 's/.*: //')" = RefuseWithoutRights.
    check "  nothing installed" service_absent
    check "  nothing written" absent "$folder"

    mkdir "$scratch"
    echo "the user's" >"$scratch/mine"
    ln -s "$scratch" "$folder"
    ln -s "$scratch" "$folder-x"
    msiexec /i "$(winpath "$MSI")"
    check "with a link at C:\\NuvexKV the install fails with 1603 (got $MSI_RC)" test "$MSI_RC" -eq "$MSI_FAILED"
    check "  saying why" setup_said 'c:\NuvexKV is left as it is: a link this system opens as its target'
    check "  rolled back: no service" service_absent
    check "  the link as it was, nothing written where it points" \
        test "$(readlink "$folder")" = "$scratch" -a "$(ls -A "$scratch")" = mine

    # A folder every user may change (Wine shows mode 0777 as Everyone: full control), with
    # a launcher configuration in it: set aside, its configuration carried.
    rm "$folder"
    mkdir -m 777 "$folder"
    printf 'Setting=2hr\nSetting=4hr' >"$folder/shutdownaftersetting.nkv"
    install
    for p in "${PROGRAMS[@]}"; do
        check "${p#*/} is in $PROGRAM_FILES\\Nuvex Kelvaro" same_file "$(program_dir)/${p#*/}" "$KV_BUILD/$p"
    done
    check "the user's folder is set aside" setup_said 'c:\NuvexKV, a folder, set aside as c:\NuvexKV.folder-'
    check "  with his files in it" test -f "$(echo "$folder".folder-*)/shutdownaftersetting.nkv"
    check "c:\\NuvexKV is made afresh" setup_said 'c:\NuvexKV made with the package'"'"'s rights.'
    check "  with an empty setting file: nothing pending" setting_holds ''
    check "  and the configuration's last line" test "$(cat "$folder/shutdownaftersetting.nkv")" = 'Setting=4hr'
    check "the link C:\\NuvexKV-x is left alone, nothing written where it points" \
        test -L "$folder-x" -a "$(ls -A "$scratch")" = mine
    check "the service runs its own process" config_is Type 0x10
    check "  starts automatically" config_is Start 0x2
    check "  as LocalSystem" config_is ObjectName LocalSystem
    check "  from $PROGRAM_FILES" config_is ImagePath "$INSTALLED\\kelvaro.exe"
    check "and it is running" wait_for 10 state_is 4
    check "  in a $KV_ARCH kelvaro.exe process ($WINE)" runs_as_built kelvaro.exe
    check "no daily restart marker unless chosen" absent "$(system_dir)/kvrestarthr.nkv"
    check "no daily power-off marker unless chosen" absent "$(system_dir)/kvshutdownhr.nkv"
    local menu startup
    find_shortcuts
    check "the shortcuts are there" test -f "$menu" -a -f "$startup"

    # Uninstalling while a power-off is pending: the service, started on "Setting=5mins"
    # with the clock 10 times faster, is in its delay (30 s here), which a stop does not cut
    # short.
    end_session
    printf 'Setting=5mins' >"$(setting_path)"
    # Nobody logs on: the notifier, which would cancel the power-off, stays out of this start.
    mv "$startup" "$WINEPREFIX/notifier.lnk"
    session "+0 x10"
    mv "$WINEPREFIX/notifier.lnk" "$startup"
    check "the service starts and reads the pending setting" wait_for 20 setting_read
    check "  still pending before the uninstall" setting_holds 'Setting=5mins'
    msiexec /x "$(winpath "$MSI")"
    check "msiexec /x /qn ends with 0 or 3010 (got $MSI_RC)" test "$MSI_RC" -eq 0 -o "$MSI_RC" -eq "$MSI_RESTART_NEEDED"
    check "  ended the service's process while its delay ran" wait_for 5 ended_in_delay
    check "the service is gone" service_absent
    check "the programs and their folder are gone" absent "$(program_dir)"
    check "the Start-menu shortcut is gone" absent "$menu"
    check "the Startup shortcut is gone" absent "$startup"
    check "the setting file is gone: nothing is pending" absent "$(setting_path)"
    check "  deleted by the package's own step" setup_said 'c:\NuvexKV\shutdownafter.nkv deleted: nothing is pending.'
    check "c:\\NuvexKV stays with the launcher's configuration in it" \
        test "$(cat "$folder/shutdownaftersetting.nkv")" = 'Setting=4hr'
    # With no process of the service left, and no service to start one, none can follow.
    check "no power-off followed: still no process of the service, no power request" ended_in_delay
}

shortcuts() {
    open_case shortcuts
    session
    install
    local menu startup
    find_shortcuts
    check "a Start-menu shortcut" test -f "$menu"
    check "  to the launcher" lnk_is "$menu" target "$INSTALLED\\KVButton.exe"
    check "  starting in c:\\NuvexKV, where its configuration lies" lnk_is "$menu" workdir 'C:\NuvexKV\'
    check "a Startup shortcut" test -f "$startup"
    check "  to the notifier" lnk_is "$startup" target "$INSTALLED\\kvnotify.exe"
    check "and no Run key starts it" run_keys_lack kvnotify
    # Wine's wineboot runs the current user's Startup folder at every session start: that
    # the notifier then starts shows the shortcut works.
    end_session
    session
    check "a session start runs it from the user's Startup folder" wait_for 10 process_started 'kvnotify\.exe'
    # The all-users Startup folder, where Windows puts it, is left to the logon.
    end_session
    mv "$startup" "$(all_users_startup)/"
    session
    check "a session start starts the service" wait_for 10 process_started 'kelvaro\.exe'
    check "  but from the all-users Startup folder not the notifier" \
        holds_for 3 not process_started 'kvnotify\.exe'
}

# Under Wine a service starts in C:\windows; on Windows in %SystemRoot%\System32, where
# the x64 package puts the markers (System64Folder, C:\windows\system32 here too); a
# 32-bit service reads SysWOW64 there, where the x86 package puts them (SystemFolder). The
# scenario checks the markers land in that folder, then links C:\windows\<marker> to the
# installed file: the service under Wine reads exactly what the package installed, and
# nothing once the package has taken it away again.
daily_markers() {
    open_case daily_markers
    session
    # Windows Installer brings a chosen feature's parent along; Wine's msi installs only
    # the features listed, so Main is listed too.
    install ADDLOCAL=Main,DailyRestart,DailyPowerOff
    check "the service is running" wait_for 10 state_is 4
    check "the restart marker is in $SYSTEM_DIR" same_file "$(system_dir)/kvrestarthr.nkv" "$SOURCES/install/kvrestarthr.nkv"
    check "the power-off marker is in $SYSTEM_DIR" same_file "$(system_dir)/kvshutdownhr.nkv" "$SOURCES/install/kvshutdownhr.nkv"
    check "neither is in C:\\windows" \
        test ! -e "$(drive_c)/windows/kvrestarthr.nkv" -a ! -e "$(drive_c)/windows/kvshutdownhr.nkv"
    end_session
    ln -s "$SYSTEM_DIR/kvrestarthr.nkv" "$(drive_c)/windows/kvrestarthr.nkv"
    ln -s "$SYSTEM_DIR/kvshutdownhr.nkv" "$(drive_c)/windows/kvshutdownhr.nkv"

    # The automatic start of the session starts the service.
    session "@2026-12-07 19:00:02"
    check "19:00: a forced restart asked for" wait_for 20 service_requested restart
    check "  and nothing else" test "$(power_requests)" -eq 1
    end_session
    session "@2026-12-07 20:00:02"
    check "20:00: a forced power-off asked for" wait_for 20 service_requested power_off
    check "  and nothing else" test "$(power_requests)" -eq 1
    end_session

    session
    install REMOVE=DailyRestart
    check "without the daily restart part its marker is gone" absent "$(system_dir)/kvrestarthr.nkv"
    check "the power-off marker stays" test -f "$(system_dir)/kvshutdownhr.nkv"
    check "the service stays" wait_for 10 state_is 4
    end_session
    session "@2026-12-07 19:00:02"
    check "the service starts at 19:00" wait_for 10 state_is 4
    check "  and asks for no restart" holds_for 5 not power_requested
    end_session

    session
    check "the service runs again" wait_for 10 state_is 4
    uninstall
    check "uninstalled, the power-off marker is gone" absent "$(system_dir)/kvshutdownhr.nkv"
    # The files aside, what the uninstall does to a running service shows under Wine too.
    check "the running service was stopped and removed" wait_for 10 service_absent
    check "  its process ended" wait_for 10 not service_process_running
}

# Wine's session start runs the notifier from the Startup folder, and a running notifier
# holds its program file: Windows Installer then removes it only at the next restart. A
# user ends it first (its menu Exit, command 105), as this does.
exit_notifier() {
    bounded 30 "$WINE" "$(winpath "$KV_BUILD/tests/send_command.exe")" command 105 </dev/null >/dev/null || true
    check "the notifier ends" wait_for 10 not program_running kvnotify.exe
}

# An upgrade removes the version it replaces, whose setup step clears the setting file
# ("Setting="); Wine's msi runs that removal as a plain one (msiexec /i {code} REMOVE=ALL,
# no UPGRADINGPRODUCTCODE), which deletes it, and the new version makes it anew, empty.
nothing_pending() { setting_holds '' || setting_holds 'Setting='; }

upgrade() {
    open_case upgrade
    local version=$VERSION later=${VERSION%.*}.$((${VERSION##*.} + 1))
    local rebuilt=$WINEPREFIX/kelvaro-rebuilt.msi newer=$WINEPREFIX/kelvaro-later.msi
    "$SOURCES/scripts/package.sh" --one "$KV_ARCH" "$KV_BUILD" "$rebuilt" "$version" >/dev/null 2>&1
    "$SOURCES/scripts/package.sh" --one "$KV_ARCH" "$KV_BUILD" "$newer" "$later" >/dev/null 2>&1
    session
    install ADDLOCAL=Main,DailyPowerOff LAUNCHERDELAY=2hr
    printf 'Setting=4hr' >"$(setting_path)"
    msiexec /i "$(winpath "$MSI")" REINSTALL=ALL REINSTALLMODE=omus LAUNCHERDELAY=1hr
    check "a repair with a new launcher delay ends with 0 (got $MSI_RC)" test "$MSI_RC" -eq 0
    check "  keeps the package's folder" setup_said 'c:\NuvexKV is a folder this package may trust: kept as it is.'
    check "  and what is pending in it" setting_holds 'Setting=4hr'
    check "  and writes the new delay" test "$(cat "$(drive_c)/NuvexKV/shutdownaftersetting.nkv")" = Setting=1hr
    # Windows carries the chosen features over (MigrateFeatureStates); Wine's msi does
    # not, so the choice is given again.
    msiexec /i "$(winpath "$rebuilt")" ADDLOCAL=Main,DailyPowerOff
    check "$version rebuilt, with a new product code, installs over $version with 0 (got $MSI_RC)" \
        test "$MSI_RC" -eq 0
    check "  keeping the package's folder" setup_said 'c:\NuvexKV is a folder this package may trust: kept as it is.'
    check "  and the launcher's delay given before" \
        test "$(cat "$(drive_c)/NuvexKV/shutdownaftersetting.nkv")" = Setting=1hr
    check "  and nothing stays pending" nothing_pending
    install ADDLOCAL=Main,DailyPowerOff     # and the first build over that again
    end_session
    check "one product is installed, $version" test "$(installed_products)" = "$version"
    session
    # The session start ran the notifier; its first tick shows it is up, to be ended.
    check "the notifier starts and clears the setting file" wait_for 10 setting_holds 'Setting='
    exit_notifier
    printf 'Setting=2hr' >"$(setting_path)"    # pending for the service's next start
    msiexec /i "$(winpath "$newer")" ADDLOCAL=Main,DailyPowerOff
    check "$later over $version installs with 0 (got $MSI_RC)" test "$MSI_RC" -eq 0
    check "the service is running" wait_for 10 state_is 4
    check "the programs are there" test -f "$(program_dir)/kelvaro.exe" -a -f "$(program_dir)/KVButton.exe"
    check "the chosen daily part is there" test -f "$(system_dir)/kvshutdownhr.nkv"
    check "the pending power-off is cancelled" nothing_pending
    end_session
    check "one product is installed, $later" test "$(installed_products)" = "$later"
    session
    msiexec /i "$(winpath "$MSI")"
    check "$version over $later is refused with 1603 (got $MSI_RC)" test "$MSI_RC" -eq "$MSI_FAILED"
    check "  as a downgrade" grep -aq '^Property(S): WIX_DOWNGRADE_DETECTED = {' "$MSI_LOG"
    check "  and $later stays" wait_for 10 state_is 4
    exit_notifier
    uninstall "$newer"
    check "uninstalled: no service" service_absent
    check "  no programs" absent "$(program_dir)"
}

# throwaway_signer FOLDER: a certificate authority made for this run, and a code-signing
# certificate it issued, as FOLDER/ca.pem and FOLDER/signer.p12 (password "throwaway").
throwaway_signer() {
    mkdir -p "$1"
    (cd "$1" &&
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
            -subj "/CN=Throwaway test authority" -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign" &&
        openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
            -subj "/CN=Nuvex Kelvaro test signer" &&
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
            -out signer.pem -extfile <(printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n') &&
        openssl pkcs12 -export -in signer.pem -inkey signer.key -certfile ca.pem -out signer.p12 \
            -passout pass:throwaway) >/dev/null 2>&1
}
signed_by() { osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1; }

signed_package() {
    open_case signed_package
    local ca=$WINEPREFIX/ca signed=$WINEPREFIX/kelvaro-signed.msi inside=$WINEPREFIX/inside p
    throwaway_signer "$ca"
    KV_SIGN_PKCS12=$ca/signer.p12 KV_SIGN_PASSWORD=throwaway \
        "$SOURCES/scripts/package.sh" --one "$KV_ARCH" "$KV_BUILD" "$signed" "$VERSION" >/dev/null
    check "the package verifies against the authority that issued its certificate" signed_by "$ca/ca.pem" "$signed"
    check "  the unsigned one does not" not signed_by "$ca/ca.pem" "$MSI"
    msiextract -C "$inside" "$signed" >/dev/null
    msiinfo extract "$signed" Binary.KelvaroSetup >"$inside/kvsetup.dll"
    for p in "${PROGRAMS[@]}" setup/kvsetup.dll; do
        local packed
        packed=$(find "$inside" -name "${p#*/}" | head -n1)
        check "${p#*/} in it verifies against that authority" signed_by "$ca/ca.pem" "$packed"
        check "  it is the file packaging signed" same_file "$packed" "${signed%.msi}-signed/$p"
    done
    session
    msiexec /i "$(winpath "$signed")"
    check "it installs as the unsigned one does (got $MSI_RC)" test "$MSI_RC" -eq 0
    check "  and the service runs" wait_for 10 state_is 4
}

echo "install scenario: $1"
"$1"
finish
