import QtQuick
import QtQuick.Controls
import QtTest
import Nolt.Share

TestCase {
    id: testCase
    name: "ShareView"
    visible: true  // TestCase hides itself by default, and hidden views draw nothing
    width: 420
    height: 400
    when: windowShown

    Component {
        id: formComponent
        ShareView {}
    }
    Component {
        id: spyComponent
        SignalSpy {}
    }

    property var form
    property var saves
    property var cancels

    function show(kind, destinations) {
        form = createTemporaryObject(formComponent, testCase,
                                     { model: fixtures.model(kind, destinations) })
        verify(form)
        saves = createTemporaryObject(spyComponent, testCase, { target: form, signalName: "save" })
        cancels = createTemporaryObject(spyComponent, testCase,
                                        { target: form, signalName: "cancel" })
        form.forceActiveFocus()
        tryVerify(() => form.model.summary !== "Loading…")
        waitForRendering(form)
        return form
    }

    function picture(artefact) {
        waitForRendering(form)
        grabImage(form).save(fixtures.artefact(artefact))
    }

    function type(text) {
        for (const c of text)
            keyClick(c)
    }

    function find(item, objectName) {
        if (item.objectName === objectName) return item
        for (let i = 0; i < item.children.length; ++i) {
            const found = find(item.children[i], objectName)
            if (found) return found
        }
        return null
    }

    function test_layout_data() {
        return [
            { tag: "image", kind: "image", summary: "1 image", subtitle: "Save to Nolt" },
            { tag: "link", kind: "link", summary: "example.com",
              subtitle: "https://www.example.com/chairs/red" },
            { tag: "text", kind: "text", summary: "1 item", subtitle: "Save to Nolt" },
            { tag: "nothing", kind: "nothing", summary: "Nothing to save",
              subtitle: "Save to Nolt" },
        ]
    }

    function test_layout(data) {
        show(data.kind, false)
        compare(form.width, 420)
        compare(form.height, form.implicitHeight)
        compare(find(form, "summary").text, data.summary)
        compare(find(form, "subtitle").text, data.subtitle)
        const square = find(form, "previewSquare")
        compare(square.width, 44)
        compare(square.height, 44)
        compare(find(form, "preview").visible, data.kind === "image")
        compare(form.saveButton.height, 28)
        compare(form.destinationButton.height, 28)
        compare(find(form, "destinationLabel").text, "Nolt › Inbox")
        // The header, the editing area and the footer: 68, 16 + note + 10 + tags + 16, 48 and
        // two dividers.
        const note = form.noteField.parent.parent  // the note's two-line frame
        fuzzyCompare(note.height, 2 * form.noteField.font.pixelSize * 1.1, 10)
        compare(form.noteField.font.pointSize, 17)
        verify(form.noteField.activeFocus, "the note field has the focus at start")
        compare(form.noteField.placeholderText, "Add a note…")
        compare(form.tagField.placeholderText, "Add tags")
        picture(data.tag)
        if (data.kind === "image") {
            // The picture fills the square: its middle shows, half red, half blue.
            const image = grabImage(form)
            const at = square.mapToItem(form, 0, 0)
            const pixel = (x, y) => [image.red(at.x + x, at.y + y), image.green(at.x + x, at.y + y),
                                     image.blue(at.x + x, at.y + y)]
            const left = pixel(8, 22), right = pixel(36, 22)
            verify(left[0] > 200 && left[2] < 60, "left half red: " + left)
            verify(right[2] > 200 && right[0] < 60, "right half blue: " + right)
        }
    }

    function test_tab_moves_between_the_fields() {
        show("text", false)
        keyClick(Qt.Key_Tab)
        verify(form.tagField.activeFocus)
        keyClick(Qt.Key_Tab)
        verify(form.noteField.activeFocus)
        keyClick(Qt.Key_Backtab, Qt.ShiftModifier)
        verify(form.tagField.activeFocus)
        keyClick(Qt.Key_Backtab, Qt.ShiftModifier)
        verify(form.noteField.activeFocus)
        compare(form.model.note, "")
        compare(form.model.tagDraft, "")
    }

    function test_comma_and_space_commit_a_tag() {
        show("text", false)
        type("Lovely")
        compare(form.model.note, "Lovely")
        keyClick(Qt.Key_Tab)
        type("Design,")
        compare(form.model.tags, ["design"])
        compare(form.tagField.text, "")
        compare(form.tagField.placeholderText, "")
        type("#UI ")
        compare(form.model.tags, ["design", "ui"])
        type("ux")
        compare(form.model.tagDraft, "ux")
        compare(form.tagField.text, "ux")
        picture("tags")
        compare(saves.count, 0)
    }

    function test_return_in_the_tag_field() {
        show("text", false)
        keyClick(Qt.Key_Tab)
        type("red")
        keyClick(Qt.Key_Return)
        compare(form.model.tags, ["red"])
        compare(saves.count, 0, "Return with text only commits")
        keyClick(Qt.Key_Return)
        compare(saves.count, 1, "Return in an empty tag field saves")
    }

    function test_return_in_the_note_saves() {
        show("text", false)
        type("Hi")
        keyClick(Qt.Key_Return)
        compare(saves.count, 1)
        compare(form.model.note, "Hi")
    }

    function test_backspace_takes_the_last_chip_only_from_an_empty_field() {
        show("text", false)
        keyClick(Qt.Key_Tab)
        type("a b ")
        compare(form.model.tags, ["a", "b"])
        type("x")
        keyClick(Qt.Key_Backspace)
        compare(form.model.tagDraft, "")
        compare(form.model.tags, ["a", "b"], "Backspace edits the text first")
        keyClick(Qt.Key_Backspace)
        compare(form.model.tags, ["a"])
        keyClick(Qt.Key_Backspace)
        compare(form.model.tags, [])
        keyClick(Qt.Key_Backspace)
        compare(form.model.tags, [])
        compare(form.tagField.placeholderText, "Add tags")
    }

    function test_chip_button_removes_its_tag() {
        show("text", false)
        form.model.tags = ["a", "b"]
        waitForRendering(form)
        picture("chips")
        const remove = find(form, "removeTag")
        verify(remove)
        mouseClick(remove)
        compare(form.model.tags, ["b"])
    }

    function test_escape_cancels() {
        show("text", false)
        keyClick(Qt.Key_Escape)
        compare(cancels.count, 1)
        keyClick(Qt.Key_Tab)
        type("x")
        keyClick(Qt.Key_Escape)
        compare(cancels.count, 2)
        compare(saves.count, 0)
    }

    function test_save_button() {
        show("text", false)
        verify(form.saveButton.enabled)
        compare(form.saveButton.opacity, 1)
        mouseClick(form.saveButton)
        compare(saves.count, 1)

        show("nothing", false)
        verify(!form.saveButton.enabled)
        compare(form.saveButton.opacity, 0.4)
        mouseClick(form.saveButton)
        compare(saves.count, 0, "a disabled button does nothing")
        keyClick(Qt.Key_Return)
        compare(saves.count, 1, "Return in the note still saves")
        picture("nothing-to-save")
    }

    function test_menu_without_destinations() {
        show("text", false)
        mouseClick(form.destinationButton)
        const menu = form.destinationMenu
        tryVerify(() => menu.opened)
        compare(menu.count, 1)
        compare(menu.itemAt(0).text, "Open Nolt once so it can list your spaces.")
        verify(!menu.itemAt(0).enabled)
        grabImage(testCase).save(fixtures.artefact("menu-empty"))
        menu.close()
    }

    function test_menu_with_destinations() {
        show("link", true)
        compare(find(form, "destinationLabel").text, "🎨 Design › Inbox")
        mouseClick(form.destinationButton)
        const menu = form.destinationMenu
        tryVerify(() => menu.opened)
        compare(menu.count, 2)
        compare(menu.itemAt(0).text, "🎨  Design")
        const sub = menu.menuAt(0)
        verify(sub, "a space with collections is a submenu")
        compare(sub.count, 4)
        compare(sub.itemAt(0).text, "Inbox")
        compare(sub.itemAt(2).text, "Refs")
        compare(sub.itemAt(3).text, "Moodboard")
        compare(menu.itemAt(1).text, "Home")
        verify(!menu.menuAt(1), "a space without collections is one item")
        grabImage(testCase).save(fixtures.artefact("menu"))
        mouseClick(menu.itemAt(0))
        tryVerify(() => sub.opened)
        grabImage(testCase).save(fixtures.artefact("menu-collections"))

        sub.itemAt(2).triggered()
        compare(form.model.collectionID, "C0000000-0000-4000-8000-000000000001")
        compare(find(form, "destinationLabel").text, "🎨 Design › Refs")
        menu.itemAt(1).triggered()
        compare(form.model.spaceID, "5BACE000-0000-4000-8000-000000000002")
        compare(form.model.collectionID, "")
        compare(find(form, "destinationLabel").text, "Home › Inbox")
        menu.close()
        picture("destination-chosen")
    }
}
