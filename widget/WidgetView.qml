// One timeline entry: one, two or four thumbnail tiles on black, or an invitation to save
// something when the entry has no items.
import QtQuick
import Nolt.Widget

Rectangle {
    id: root

    required property WidgetModel model
    readonly property var items: model.items
    readonly property int gap: 2

    color: "black"

    // A thumbnail scaled to fill and cropped to the tile, or a dim placeholder when the file
    // is missing or unreadable. Read afresh each time: the host replaces thumbnails in place.
    component Tile: Item {
        id: tile

        required property var item
        property bool linked: true

        clip: true
        Accessible.role: linked ? Accessible.Link : Accessible.Graphic
        Accessible.name: item.title

        Image {
            id: thumbnail
            anchors.fill: parent
            source: tile.item.thumbnail
            fillMode: Image.PreserveAspectCrop
            cache: false
            asynchronous: false
            smooth: true
            visible: status === Image.Ready
        }
        Rectangle {
            objectName: "placeholder"
            anchors.fill: parent
            visible: thumbnail.status !== Image.Ready
            color: Qt.rgba(1, 1, 1, 0.1)
        }
        MouseArea {
            anchors.fill: parent
            enabled: tile.linked
            onClicked: root.model.open(tile.item.link)
        }
    }

    component Row2: Row {
        id: row

        required property var rowItems

        spacing: root.gap
        Repeater {
            model: row.rowItems
            Tile {
                required property var modelData
                required property int index
                item: modelData
                objectName: "tile-" + modelData.id
                width: (row.width - root.gap * (row.rowItems.length - 1)) / row.rowItems.length
                height: row.height
            }
        }
    }

    Loader {
        anchors.fill: parent
        sourceComponent: root.items.length === 0 ? emptyState
                       : root.model.family === "small" ? small
                       : root.model.family === "medium" ? medium : large
    }

    Component {
        id: emptyState
        Item {
            Column {
                anchors.centerIn: parent
                spacing: 6
                opacity: 0.55
                Image {
                    anchors.horizontalCenter: parent.horizontalCenter
                    source: "sparkles-rectangle-stack.svg"
                    sourceSize: Qt.size(22, 20)  // about the height of 17-pixel title text
                    Accessible.ignored: true
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Save something to Nolt"
                    color: "white"
                    font.pixelSize: 10
                }
            }
        }
    }

    // The whole small widget opens its one item: it has no links of its own.
    Component {
        id: small
        Item {
            Tile {
                objectName: "tile-" + root.items[0].id
                anchors.fill: parent
                item: root.items[0]
                linked: false
            }
            MouseArea {
                anchors.fill: parent
                onClicked: root.model.open(root.items[0].link)
            }
        }
    }

    Component {
        id: medium
        Row2 {
            rowItems: root.items.slice(0, 2)
        }
    }

    // Rows of two, the last with one tile when the count is odd.
    Component {
        id: large
        Column {
            id: column
            readonly property int rows: Math.ceil(root.items.length / 2)
            spacing: root.gap
            Repeater {
                model: column.rows
                Row2 {
                    required property int index
                    width: column.width
                    height: (column.height - root.gap * (column.rows - 1)) / column.rows
                    rowItems: root.items.slice(index * 2, index * 2 + 2)
                }
            }
        }
    }
}
