import QtQuick
import Nolt.Share
import QtQuick.Controls
import QtQuick.Layouts

// The share form: what is shared, a note, tags, where it goes, and Save. Every edit goes to
// the model at once; saving and cancelling are the controller's, through the two signals.
FocusScope {
    id: form

    required property ShareModel model
    signal cancel()
    signal save()

    // Text colour at falling strengths, as the secondary, tertiary and quaternary styles.
    readonly property color primary: palette.windowText
    readonly property color secondary: Qt.alpha(primary, 0.5)
    readonly property color tertiary: Qt.alpha(primary, 0.26)
    readonly property color quaternary: Qt.alpha(primary, 0.1)
    readonly property real title2: 17
    readonly property real callout: 12
    readonly property real caption: 10

    readonly property alias noteField: noteField
    readonly property alias tagField: tagField
    readonly property alias destinationButton: destinationButton
    readonly property alias destinationMenu: destinationMenu
    readonly property alias saveButton: saveButton

    width: 420
    implicitWidth: 420
    implicitHeight: content.implicitHeight

    SystemPalette { id: palette }

    Rectangle {
        anchors.fill: parent
        color: palette.window
    }

    // Return saves when no text field takes it; Escape cancels from anywhere in the form.
    Keys.onReturnPressed: if (saveButton.enabled) form.save()
    Keys.onEnterPressed: if (saveButton.enabled) form.save()
    Keys.onEscapePressed: form.cancel()

    ColumnLayout {
        id: content
        width: parent.width
        spacing: 0

        // What is being shared.
        RowLayout {
            Layout.margins: 12
            Layout.fillWidth: true
            spacing: 12

            Rectangle {
                objectName: "previewSquare"
                Layout.preferredWidth: 44
                Layout.preferredHeight: 44
                radius: 6
                color: form.quaternary

                ImageFill {
                    objectName: "preview"
                    anchors.fill: parent
                    visible: form.model.hasPreview
                    image: form.model.preview
                    radius: 6
                }
                Symbol {
                    anchors.centerIn: parent
                    visible: !form.model.hasPreview
                    symbolName: "link"
                    pointSize: form.title2
                    color: form.secondary
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2

                Label {
                    objectName: "summary"
                    Layout.fillWidth: true
                    text: form.model.summary
                    font.pointSize: form.callout
                    font.weight: Font.Medium
                    color: form.primary
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }
                Label {
                    objectName: "subtitle"
                    Layout.fillWidth: true
                    text: form.model.link !== "" ? form.model.link : "Save to Nolt"
                    font.pointSize: form.caption
                    color: form.secondary
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }
            }
        }

        Divider {}

        // The note and the tags.
        ColumnLayout {
            Layout.margins: 16
            Layout.fillWidth: true
            spacing: 10

            Flickable {
                id: noteFlick
                Layout.fillWidth: true
                // Always room for two lines, and never more.
                Layout.preferredHeight: Math.ceil(noteMetrics.lineSpacing * 2)
                contentWidth: width
                contentHeight: noteField.implicitHeight
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                interactive: false

                FontMetrics {
                    id: noteMetrics
                    font: noteField.font
                }

                TextArea.flickable: TextArea {
                    id: noteField
                    objectName: "noteField"
                    focus: true
                    placeholderText: "Add a note…"
                    text: form.model.note
                    font.pointSize: form.title2
                    color: form.primary
                    placeholderTextColor: form.tertiary
                    wrapMode: TextEdit.Wrap
                    padding: 0
                    background: null
                    onTextChanged: if (form.model.note !== text) form.model.note = text
                    KeyNavigation.priority: KeyNavigation.BeforeItem
                    KeyNavigation.tab: tagField
                    KeyNavigation.backtab: tagField
                    Keys.onReturnPressed: form.save()
                    Keys.onEnterPressed: form.save()
                }
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.minimumHeight: 24
                spacing: 6

                Symbol {
                    symbolName: "number"
                    pointSize: form.callout
                    color: form.tertiary
                }

                Repeater {
                    model: form.model.tags

                    delegate: Rectangle {
                        id: chip
                        required property string modelData
                        objectName: "chip"
                        implicitWidth: chipRow.implicitWidth + 16
                        implicitHeight: chipRow.implicitHeight + 6
                        radius: height / 2
                        color: form.quaternary

                        RowLayout {
                            id: chipRow
                            anchors.centerIn: parent
                            spacing: 4

                            Label {
                                text: chip.modelData
                                font.pointSize: form.callout
                                color: form.primary
                            }
                            AbstractButton {
                                objectName: "removeTag"
                                focusPolicy: Qt.NoFocus
                                padding: 0
                                contentItem: Symbol {
                                    symbolName: "xmark"
                                    pointSize: form.caption
                                    bold: true
                                    color: form.primary
                                }
                                onClicked: form.model.removeTag(chip.modelData)
                            }
                        }
                    }
                }

                TextField {
                    id: tagField
                    objectName: "tagField"
                    Layout.fillWidth: true
                    Accessible.name: "Tags"
                    placeholderText: form.model.tags.length === 0 ? "Add tags" : ""
                    text: form.model.tagDraft
                    font.pointSize: form.callout
                    color: form.primary
                    placeholderTextColor: form.tertiary
                    padding: 0
                    background: null
                    onTextEdited: {
                        form.model.tagDraft = text
                        if (text.indexOf(" ") >= 0 || text.indexOf(",") >= 0)
                            form.model.commitTags()
                    }
                    KeyNavigation.priority: KeyNavigation.BeforeItem
                    KeyNavigation.tab: noteField
                    KeyNavigation.backtab: noteField
                    Keys.onReturnPressed: submit()
                    Keys.onEnterPressed: submit()
                    // Backspace, the key that deletes backwards, takes the last tag from an
                    // empty field.
                    Keys.onPressed: (event) => {
                        if (event.key === Qt.Key_Backspace && form.model.tagDraft === ""
                                && form.model.tags.length > 0) {
                            form.model.removeLastTag()
                            event.accepted = true
                        }
                    }

                    function submit() {
                        if (form.model.tagDraft !== "")
                            form.model.commitTags()
                        else
                            form.save()
                    }
                }
            }
        }

        Divider {}

        // Where it goes, and Save.
        RowLayout {
            Layout.leftMargin: 10
            Layout.rightMargin: 10
            Layout.fillWidth: true
            Layout.preferredHeight: 48
            spacing: 8

            AbstractButton {
                id: destinationButton
                objectName: "destinationButton"
                Layout.preferredHeight: 28
                Layout.minimumWidth: implicitWidth  // never compressed
                focusPolicy: Qt.NoFocus
                leftPadding: 10
                rightPadding: 10
                font.pointSize: form.callout
                contentItem: RowLayout {
                    spacing: 6
                    Label {
                        objectName: "destinationLabel"
                        text: form.model.destinationLabel
                        font: destinationButton.font
                        color: form.primary
                        maximumLineCount: 1
                    }
                    Symbol {
                        symbolName: "chevron.down"
                        pointSize: form.caption
                        bold: true
                        color: form.secondary
                    }
                }
                background: Rectangle {
                    radius: height / 2
                    color: form.quaternary
                }
                onClicked: destinationMenu.popup(destinationButton, 0, destinationButton.height)

                DestinationMenu {
                    id: destinationMenu
                    model: form.model
                }
            }

            Item { Layout.fillWidth: true }

            AbstractButton {
                id: saveButton
                objectName: "saveButton"
                Layout.preferredHeight: 28
                focusPolicy: Qt.NoFocus
                enabled: form.model.hasProviders
                opacity: enabled ? 1 : 0.4
                leftPadding: 12
                rightPadding: 12
                font.pointSize: form.callout
                font.weight: Font.DemiBold
                contentItem: RowLayout {
                    spacing: 6
                    Label {
                        text: "Save"
                        font: saveButton.font
                        color: "white"
                    }
                    Label {
                        text: "↩"
                        font: saveButton.font
                        color: "white"
                        opacity: 0.7
                    }
                }
                background: Rectangle {
                    radius: height / 2
                    color: palette.highlight
                }
                onClicked: form.save()
            }
        }
    }

    component Divider: Rectangle {
        Layout.fillWidth: true
        Layout.preferredHeight: 1
        color: form.quaternary
    }
}
