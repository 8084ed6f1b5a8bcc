import QtQuick
import QtTest
import Nolt.Widget

TestCase {
    id: testCase
    name: "WidgetHostWindow"
    when: windowShown

    Component {
        id: windowComponent
        WidgetHostWindow {}
    }

    function place(family) {
        let window = createTemporaryObject(windowComponent, testCase, { host: fixtures.host(family) })
        verify(window)
        tryVerify(() => window.visible && window.active !== undefined)
        waitForRendering(window.contentItem)
        return window
    }

    function test_windowIsTheFamilysSizeAndStaysOnTheDesktop_data() {
        return [
            { tag: "small", width: 170, height: 170 },
            { tag: "medium", width: 364, height: 170 },
            { tag: "large", width: 364, height: 382 }
        ]
    }

    function test_windowIsTheFamilysSizeAndStaysOnTheDesktop(data) {
        let window = place(data.tag)
        compare(window.width, data.width)
        compare(window.height, data.height)
        verify(window.flags & Qt.FramelessWindowHint)
        verify(window.flags & Qt.WindowStaysOnBottomHint)
        grabImage(window.contentItem).save(fixtures.artefact("host-" + data.tag))
    }

    function test_contextMenuConfiguresTheScope() {
        let window = place("large")
        compare(window.host.model.items.length, 4)
        mouseClick(window.contentItem, 100, 100, Qt.RightButton)
        let menu = findChild(window.contentItem, "widgetMenu")
        verify(menu)
        tryVerify(() => menu.opened)
        findChild(window.contentItem, "chooseScope").triggered()

        let dialog = findChild(window.contentItem, "scopeDialog")
        verify(dialog)
        tryVerify(() => dialog.visible)
        compare(dialog.title, "Choose What to Show")
        let choice = findChild(dialog.contentItem, "scopeChoice")
        compare(choice.model, ["Whole library", "Work", "Home", "Refs \u2014 Work"])
        compare(choice.currentIndex, 0)
        waitForRendering(dialog.contentItem)
        grabImage(dialog.contentItem).save(fixtures.artefact("scope-dialog"))

        choice.currentIndex = 3
        mouseClick(findChild(dialog.contentItem, "done"))
        tryVerify(() => !dialog.visible)
        compare(window.host.scopeIndex, 3)
        compare(window.host.model.items.length, 1)
        compare(window.host.model.items[0].link, fixtures.link(0))
    }

    function test_cancelKeepsTheScope() {
        let window = place("medium")
        findChild(window.contentItem, "chooseScope").triggered()
        let dialog = findChild(window.contentItem, "scopeDialog")
        tryVerify(() => dialog.visible)
        findChild(dialog.contentItem, "scopeChoice").currentIndex = 1
        mouseClick(findChild(dialog.contentItem, "cancel"))
        tryVerify(() => !dialog.visible)
        compare(window.host.scopeIndex, 0)
        compare(window.host.model.items.length, 2)
    }
}
