# The package's rules, read from its tables as package_rules (install.sh) hands them over:
# one line per table row, the table's name first, tab-separated; the summary's Version
# as "Summary Version N". Prints one line per rule: "1" or "0", a tab and the rule.
# Windows Installer enforces what Wine's msiexec lets pass: the tables are what shows it.
function bit(value, b) { return int(value / b) % 2 }
function rule(ok, text) { print (ok ? 1 : 0) "\t" text }
$1 == "InstallExecuteSequence" { seq[$2] = $4; cond[$2] = $3; at[$4] = at[$4] " " $2 }
$1 == "InstallUISequence" { ui[$2] = $4; ui_at[$4] = ui_at[$4] " " $2 }
$1 == "Directory" { directory[$2] = 1 }
$1 == "CustomAction" { type[$2] = $3; source[$2] = $4; target[$2] = $5 }
$1 == "Shortcut" { shortcut[$2] = $6 }
$1 == "Feature" { feature[$2] = $9 }
$1 == "Upgrade" { upgrade[$8] = $3 "|" $4 "|" $6 }
$1 == "Property" || $1 == "Summary" { prop[$2] = $3 }
$1 == "ServiceInstall" { service = $5 "|" $6 "|" $10 }
$1 == "ServiceControl" { control = $4 "|" $6 }
$1 == "RemoveFile" { removed[$4] = $5 "|" $6 }
$1 == "CreateFolder" { created[$2] = 1 }
$1 == "LaunchCondition" { launch[$2] = $3 }
# between(TABLE, FROM, TO): the actions of the sequence table strictly between two of its actions.
function between(table, from, to,    a, found) {
    for (a in seq) if (table == "execute" && seq[a] > seq[from] && seq[a] < seq[to]) found = found " " a
    for (a in ui) if (table == "ui" && ui[a] > ui[from] && ui[a] < ui[to]) found = found " " a
    return found
}
# in_order(TABLE, ACTION...): each action of the list comes after the one before it.
function in_order(table, list,    n, names, i, s) {
    n = split(list, names, " ")
    for (i = 1; i < n; i++) {
        s = table == "ui" ? (names[i] in ui) && (names[i + 1] in ui) && ui[names[i]] < ui[names[i + 1]] \
                          : (names[i] in seq) && (names[i + 1] in seq) && seq[names[i]] < seq[names[i + 1]]
        if (!s) return 0
    }
    return 1
}
END {
    # Windows Installer's own sequencing rules, as its ICE and action pages state them.
    rule(seq["RemoveExistingProducts"] > seq["InstallInitialize"] &&
         between("execute", "InstallInitialize", "RemoveExistingProducts") == "",
         "ICE63: RemoveExistingProducts immediately after InstallInitialize, nothing between them" \
         between("execute", "InstallInitialize", "RemoveExistingProducts"))
    for (a in type) if (bit(type[a], 1024) && !(seq[a] > seq["InstallInitialize"] && seq[a] < seq["InstallFinalize"]))
        outside = outside " " a
    rule(outside == "", "ICE77: every action in the script stands between InstallInitialize and InstallFinalize" outside)
    for (a in type) if (type[a] % 64 == 51 && source[a] in directory &&
                        (!("CostFinalize" in seq) || (a in seq) && seq[a] >= seq["CostFinalize"] ||
                         !("CostFinalize" in ui) || (a in ui) && ui[a] >= ui["CostFinalize"]))
        late = late " " a
    rule(late == "", "ICE12: a directory set by a custom action is set before CostFinalize, in each sequence" late)
    for (n in at) if (split(at[n], _, " ") > 1) twice = twice " " n ":" at[n]
    for (n in ui_at) if (split(ui_at[n], _, " ") > 1) twice = twice " " n ":" ui_at[n]
    registration = ("RegisterProduct" in seq) + ("RegisterUser" in seq) + ("PublishProduct" in seq) + ("PublishFeatures" in seq)
    rule(twice == "" && registration == 4,
         "ICE82: no two actions share a sequence number, and the product is registered and published by all four actions" twice)
    rule(in_order("execute", "LaunchConditions CostInitialize FileCost CostFinalize InstallValidate InstallInitialize InstallFinalize") &&
         in_order("ui", "LaunchConditions CostInitialize FileCost CostFinalize ExecuteAction"),
         "ICE27: the search, costing, selection and execution sections in their order, in both sequences")
    rule(in_order("execute", "FindRelatedProducts MigrateFeatureStates RemoveExistingProducts") &&
         in_order("ui", "FindRelatedProducts MigrateFeatureStates") &&
         between("execute", "CostFinalize", "MigrateFeatureStates") == "" &&
         between("ui", "CostFinalize", "MigrateFeatureStates") == "",
         "FindRelatedProducts before MigrateFeatureStates, which comes immediately after CostFinalize, in both sequences")

    for (c in launch) if (c ~ /Privileged|AdminUser/) on_rights = on_rights " " c
    rule(launch["VersionNT >= 600"] ~ /Vista or later/ && on_rights == "" &&
         type["RefuseWithoutRights"] == 19 && target["RefuseWithoutRights"] ~ /administrator/ &&
         cond["RefuseWithoutRights"] == "NOT Privileged OR ALLUSERS <> 1" &&
         seq["LaunchConditions"] < seq["RefuseWithoutRights"] && seq["RefuseWithoutRights"] < seq["CostInitialize"] &&
         ui["LaunchConditions"] < ui["CostInitialize"],
         "refused before anything is written on a Windows older than Vista (a launch condition), or not for all users as an administrator (an error action: no launch condition on Privileged)" on_rights)
    rule(prop["ARPNOMODIFY"] == 1, "nothing to modify in Programs and Features: its uninstall command removes")
    rule(prop["ProductVersion"] == version && prop["Version"] == 200,
         "version " version ", for Windows Installer 2.0 and later (Vista has 4.0)")
    rule(upgrade["WIX_UPGRADE_DETECTED"] == "|" version "|513" &&
         upgrade["WIX_DOWNGRADE_DETECTED"] == version "||2",
         "it replaces any earlier or same version, carrying the features over, and refuses a later one")
    rule(shortcut["LauncherMenu"] == "[#KVButton.exe]" && shortcut["NotifierStartup"] == "[#kvnotify.exe]",
         "plain shortcuts to the launcher and notifier files, not advertised")
    rule(bit(feature["Main"], 16), "the main feature cannot be left out")
    for (a in type) if (bit(type[a], 2048) != bit(type[a], 1024)) mixed = mixed " " a
    rule(mixed == "", "immediate actions run as the installing user, deferred ones as LocalSystem" mixed)
    for (a in type) if (type[a] != 51 && type[a] != 19 && (type[a] % 64 != 1 || source[a] != "KelvaroSetup")) runs = runs " " a
    rule(runs == "", "no action runs a program: each sets a property, calls the setup DLL or ends with an error" runs)
    rule(type["SecureSettingFolder"] == 3073 && type["EndServiceProcess"] == 3073 &&
         type["StartServiceAgain"] == 3393,
         "the DLL runs deferred as LocalSystem, and starts the service again on rollback")
    rule(service == "16|2|" && control == "163|1",
         "the service: own process, automatic, LocalSystem; started, stopped and removed")
    rule(cond["EndServiceProcess"] == "$Service=2 OR $Service=3" &&
         cond["StartServiceAgain"] == cond["EndServiceProcess"] &&
         seq["StartServiceAgain"] + 1 == seq["EndServiceProcess"] && seq["EndServiceProcess"] < seq["StopServices"],
         "before the service is stopped, its process is ended, whenever its component is installed or removed; the rollback that starts it again stands right before")
    for (f in removed) if (removed[f] ~ /^SETTINGDIR\|/) by_path = by_path " " f
    rule(by_path == "" && !created["SETTINGDIR"] && type["ReleaseSettingFolder"] % 64 == 1 &&
         bit(type["ReleaseSettingFolder"], 1024) && cond["ReleaseSettingFolder"] == "$SettingFolder=2" &&
         target["SetReleaseSettingFolderData"] == "[UPGRADINGPRODUCTCODE]" &&
         seq["SetReleaseSettingFolderData"] < seq["ReleaseSettingFolder"] &&
         seq["StopServices"] < seq["ReleaseSettingFolder"],
         "no table makes or removes anything in C:\\NuvexKV: on removal the DLL clears the setting file (in an upgrade) or deletes it" by_path)
    rule(prop["SecureCustomProperties"] !~ /LAUNCHERDELAY/ &&
         type["CheckLauncherDelay"] == 1 && seq["CheckLauncherDelay"] < seq["InstallInitialize"] &&
         target["SetSecureSettingFolderData"] == "[LAUNCHERDELAY]" &&
         seq["SetSecureSettingFolderData"] < seq["SecureSettingFolder"],
         "LAUNCHERDELAY is not secure (no standard user's repair sets it), is checked before anything is written, and handed to the DLL")
    rule(cond["SecureSettingFolder"] == "$SettingFolder=3" && !created["SETTINGDIR"] &&
         seq["RemoveExistingProducts"] < seq["SecureSettingFolder"] &&
         seq["SecureSettingFolder"] < seq["StartServices"],
         "C:\\NuvexKV is made by the DLL alone, whenever its component is installed, before the service starts")
}
