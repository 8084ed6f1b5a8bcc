import QtQuick
import Nolt.Share
import QtQuick.Controls

// Where a capture goes: each listed space, as one item or, when it has collections, as a
// submenu of its inbox and its collections. No mark shows the current choice; the button's
// label says it.
Menu {
    id: destinations

    required property ShareModel model

    Component {
        id: noSpaces
        MenuItem {
            text: "Open Nolt once so it can list your spaces."
            enabled: false
        }
    }
    Component {
        id: choice
        MenuItem {
            property string spaceID
            property string collectionID
            onTriggered: destinations.model.choose(spaceID, collectionID)
        }
    }
    Component {
        id: submenu
        Menu {}
    }
    Component {
        id: separator
        MenuSeparator {}
    }

    // The destinations are read once, when the form opens, so the menu is built once too.
    Component.onCompleted: {
        if (!model.listsSpaces)
            addItem(noSpaces.createObject(contentItem))
        for (const space of model.destinationMenu) {
            if (space.collections.length === 0) {
                addItem(choice.createObject(contentItem, { text: space.title, spaceID: space.spaceID }))
                continue
            }
            const sub = submenu.createObject(destinations, { title: space.title })
            sub.addItem(choice.createObject(sub.contentItem, { text: "Inbox", spaceID: space.spaceID }))
            sub.addItem(separator.createObject(sub.contentItem))
            for (const collection of space.collections)
                sub.addItem(choice.createObject(sub.contentItem, {
                    text: collection.title,
                    spaceID: space.spaceID,
                    collectionID: collection.collectionID
                }))
            addMenu(sub)
            fit(sub)
        }
        fit(destinations)
    }

    // As wide as the widest entry, so that no title is cut short.
    function fit(menu) {
        let widest = menu.implicitWidth
        for (let i = 0; i < menu.count; ++i)
            widest = Math.max(widest, menu.itemAt(i).implicitWidth + menu.leftPadding
                                      + menu.rightPadding)
        menu.width = widest
    }
}
