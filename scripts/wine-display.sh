# Sourced by scripts that run Windows programs with windows under Wine: start_wine_display starts
# a virtual display (Xvfb, on a free display number) and stops it when the script ends, makes the
# Wine prefix and leaves its windows unmanaged (leave_wine_windows_unmanaged does that alone). No
# window manager runs on the virtual display, and Wine would otherwise wait for one each time a
# window closes.
start_wine_display() {
    local display_file
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"${display_file}" >/dev/null 2>&1 &
    KNOT_XVFB_PID=$!
    trap 'kill "${KNOT_XVFB_PID}" 2>/dev/null || true' EXIT
    local tries=0
    until [ -s "${display_file}" ]; do
        tries=$((tries + 1))
        if ((tries > 100)) || ! kill -0 "${KNOT_XVFB_PID}" 2>/dev/null; then
            echo "Xvfb did not start" >&2
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "${display_file}")"
    rm -f "${display_file}"
    /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1
    leave_wine_windows_unmanaged
}

# In the prefix WINEPREFIX names: Wine manages no window itself, and waits for no window manager.
leave_wine_windows_unmanaged() {
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        </dev/null >/dev/null 2>&1
}
