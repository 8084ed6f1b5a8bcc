import QtQuick
import QtQuick.Controls.impl

// A symbol by its name ("link", "number", "xmark", "chevron.down"), from the desktop's icon
// theme when it has one, else our own drawing; tinted, and as tall as text of `pointSize`.
IconImage {
    id: symbol

    property string symbolName
    property real pointSize: 12
    property bool bold: false

    readonly property var themeNames: ({
        "link": "insert-link-symbolic",
        "number": "tag-symbolic",
        "xmark": "window-close-symbolic",
        "chevron.down": "pan-down-symbolic"
    })

    FontMetrics {
        id: metrics
        font.pointSize: symbol.pointSize
        font.bold: symbol.bold
    }

    name: themeNames[symbolName] || ""
    source: "symbols/" + symbolName + ".svg"
    sourceSize: Qt.size(Math.round(metrics.ascent), Math.round(metrics.ascent))
    width: sourceSize.width
    height: sourceSize.height
    fillMode: Image.PreserveAspectFit
}
