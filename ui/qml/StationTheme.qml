import QtQml 2.15

// Colours and sizes shared by the station screens, so every view reads the same from a step away.
QtObject {
    readonly property color background: "#eef1f4"
    readonly property color card: "#ffffff"
    readonly property color cardBorder: "#d3d9df"
    readonly property color header: "#1d2b3a"
    readonly property color headerText: "#ffffff"
    readonly property color headerMuted: "#a9b6c3"
    readonly property color accent: "#2a9d8f"
    readonly property color accentDark: "#1f6f66"
    readonly property color text: "#1d2733"
    readonly property color mutedText: "#5b6775"
    readonly property color selection: "#dff1ee"
    readonly property color rowAlternate: "#f6f8fa"

    readonly property color connected: "#1e7d32"
    readonly property color working: "#9a5b00"
    readonly property color failed: "#b3261e"

    readonly property int fontSize: 15
    readonly property int smallFontSize: 13
    readonly property int titleFontSize: 18
    readonly property int radius: 6
    readonly property int spacing: 12

    // The colour of a console connection state: green when polling runs, amber while a check is
    // under way, red for every state that needs the user.
    function stateColor(state) {
        if (state === "Connected")
            return connected
        if (state === "Connecting" || state === "Updating ReportInfo")
            return working
        return failed
    }
}
