// The widget's configuration: which space or collection it shows, or the whole library.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Nolt.Widget

ApplicationWindow {
    id: dialog

    required property WidgetHost host

    title: host.configurationTitle
    flags: Qt.Dialog
    width: 320
    height: layout.implicitHeight + 24
    visible: false

    onVisibleChanged: if (visible) choice.currentIndex = host.scopeIndex

    ColumnLayout {
        id: layout
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        RowLayout {
            spacing: 8
            Label {
                text: dialog.host.scopeTitle
            }
            ComboBox {
                id: choice
                objectName: "scopeChoice"
                Layout.fillWidth: true
                model: dialog.host.scopeChoices
                Accessible.name: dialog.host.scopeTitle
                Accessible.description: dialog.host.scopeTypeName
            }
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            Button {
                objectName: "cancel"
                text: "Cancel"
                onClicked: dialog.close()
            }
            Button {
                objectName: "done"
                text: "Done"
                highlighted: true
                onClicked: {
                    dialog.host.chooseScope(choice.currentIndex)
                    dialog.close()
                }
            }
        }
    }
}
