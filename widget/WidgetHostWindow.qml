// A placed widget: a frameless window of the family's size that stays on the desktop, with
// its configuration in the context menu. Drag it to move it.
import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Nolt.Widget

Window {
    id: window

    required property WidgetHost host

    width: host.size.width
    height: host.size.height
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    // Not Qt.Tool: on X11 Qt makes a tool window transient for the application's leader
    // window, and KWin keeps transient windows on one desktop. The desktop hints keep it out of
    // task bars instead.
    flags: Qt.FramelessWindowHint | Qt.WindowStaysOnBottomHint
    color: "black"
    title: "Nolt — " + host.title
    visible: true

    WidgetView {
        anchors.fill: parent
        model: window.host.model
    }

    DragHandler {
        target: null
        onActiveChanged: if (active) window.startSystemMove()
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: menu.popup()
    }

    Menu {
        id: menu
        objectName: "widgetMenu"
        MenuItem {
            objectName: "chooseScope"
            text: "Choose What to Show…"
            onTriggered: {
                window.host.refreshScopes()
                configuration.show()
                configuration.raise()
            }
        }
        MenuItem {
            text: "Close Widget"
            onTriggered: Qt.quit()
        }
    }

    ScopeDialog {
        id: configuration
        objectName: "scopeDialog"
        host: window.host
    }
}
