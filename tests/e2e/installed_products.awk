# The versions of "Nuvex Kelvaro" in the list of installed programs of a prefix's
# system.reg, one a line: each key under ...\CurrentVersion\Uninstall\ is a section that
# begins with "[", its values follow it.
function flush() { if (name) print version; name = 0; version = "" }
/^\[/ { flush(); uninstall = ($0 ~ /CurrentVersion\\\\Uninstall\\\\/) }
uninstall && /^"DisplayName"="Nuvex Kelvaro"$/ { name = 1 }
uninstall && /^"DisplayVersion"=/ {
    version = $0
    sub(/^[^=]*="/, "", version)
    sub(/"$/, "", version)
}
END { flush() }
