import QtQuick
import QtTest
import Nolt.Widget

TestCase {
    id: testCase
    name: "WidgetView"
    visible: true  // TestCase hides itself by default, and hidden views draw nothing
    width: 364
    height: 382
    when: windowShown

    readonly property var sizes: ({ small: [170, 170], medium: [364, 170], large: [364, 382] })
    readonly property var colours: ["#ff0000", "#00ff00", "#0000ff", "#ffff00"]

    Component {
        id: viewComponent
        WidgetView {}
    }

    function show(family, thumbnails) {
        let view = createTemporaryObject(viewComponent, testCase, {
            model: fixtures.model(family, thumbnails),
            width: sizes[family][0],
            height: sizes[family][1]
        })
        verify(view)
        waitForRendering(view)
        return view
    }

    function picture(view, artefact) {
        let image = grabImage(view)
        image.save(fixtures.artefact(artefact))
        return image
    }

    function expectColour(image, x, y, colour, what) {
        let want = Qt.color(colour)
        let got = [image.red(x, y), image.green(x, y), image.blue(x, y)]
        let ok = Math.abs(got[0] - Math.round(want.r * 255)) <= 8
              && Math.abs(got[1] - Math.round(want.g * 255)) <= 8
              && Math.abs(got[2] - Math.round(want.b * 255)) <= 8
        verify(ok, what + " at " + x + "," + y + ": got " + got + ", want " + colour)
    }

    function findText(item, text) {
        if (item.text === text) return item
        for (let i = 0; i < item.children.length; ++i) {
            let found = findText(item.children[i], text)
            if (found) return found
        }
        return null
    }


    function test_layout_data() {
        let rows = []
        for (let family of ["small", "medium", "large"])
            for (let count = 1; count <= 4; ++count)
                rows.push({ tag: family + "-" + count, family: family, count: count })
        return rows
    }

    function test_layout(data) {
        let view = show(data.family, colours.slice(0, data.count))
        let image = picture(view, data.tag)
        compare(image.width, sizes[data.family][0])
        compare(image.height, sizes[data.family][1])
        let black = "#000000"
        if (data.family === "small") {
            // Only the first item, edge to edge.
            expectColour(image, 1, 1, colours[0], "tile")
            expectColour(image, 168, 168, colours[0], "tile")
        } else if (data.family === "medium") {
            if (data.count === 1) {
                expectColour(image, 1, 85, colours[0], "one tile spans the width")
                expectColour(image, 362, 85, colours[0], "one tile spans the width")
            } else {
                expectColour(image, 180, 85, colours[0], "first tile")
                expectColour(image, 181, 85, black, "gap")
                expectColour(image, 182, 85, black, "gap")
                expectColour(image, 183, 85, colours[1], "second tile")
                expectColour(image, 362, 168, colours[1], "second tile")
            }
        } else {
            if (data.count === 1) {
                expectColour(image, 1, 1, colours[0], "one tile fills")
                expectColour(image, 362, 380, colours[0], "one tile fills")
                return
            }
            expectColour(image, 90, 95, colours[0], "first row")
            expectColour(image, 181, 95, black, "gap in a row")
            expectColour(image, 272, 95, colours[1], "first row")
            if (data.count === 2) {
                expectColour(image, 90, 380, colours[0], "one row fills the height")
                return
            }
            expectColour(image, 90, 190, black, "gap between rows")
            expectColour(image, 90, 191, black, "gap between rows")
            expectColour(image, 90, 192, colours[2], "second row")
            if (data.count === 3) {
                expectColour(image, 181, 286, colours[2], "last tile spans the row")
                expectColour(image, 362, 286, colours[2], "last tile spans the row")
            } else {
                expectColour(image, 182, 286, black, "gap in a row")
                expectColour(image, 272, 286, colours[3], "fourth tile")
            }
        }
    }

    function test_emptyState_data() {
        return [{ tag: "small" }, { tag: "medium" }, { tag: "large" }]
    }

    function test_emptyState(data) {
        let view = show(data.tag, [])
        let image = picture(view, "empty-" + data.tag)
        verify(findText(view, "Save something to Nolt"))
        expectColour(image, 1, 1, "#000000", "background")
        // The symbol and text, dimmed, around the centre.
        let lit = 0
        for (let x = 0; x < image.width; ++x)
            for (let y = image.height / 2 - 25; y < image.height / 2 + 25; ++y)
                if (image.red(x, y) > 60) ++lit
        verify(lit > 40, "lit pixels near the centre: " + lit)
        verify(image.red(image.width / 2, image.height / 2 - 18) < 200, "secondary, not white")
    }

    function test_missingThumbnailShowsThePlaceholderAndStillOpens() {
        let view = show("medium", ["#ff0000", ""])
        let image = picture(view, "missing-thumbnail")
        expectColour(image, 90, 85, "#ff0000", "thumbnail")
        expectColour(image, 272, 85, "#1a1a1a", "quaternary placeholder")
        mouseClick(view, 272, 85)
        compare(fixtures.lastOpened, fixtures.link(1))
    }

    function test_wideThumbnailIsCroppedToItsTile() {
        let small = show("small", ["wide"])
        let image = picture(small, "crop-small")
        // Scaled to the tile's height, only the middle third shows.
        for (let p of [[1, 1], [168, 1], [1, 168], [168, 168]])
            expectColour(image, p[0], p[1], "#00ff00", "middle of the wide image")
        let medium = show("medium", ["wide", "#0000ff"])
        image = picture(medium, "crop-medium")
        // Scaled by 1.7 to cover 181 × 170: still only the middle third, edge to edge.
        for (let p of [[1, 85], [179, 85], [90, 1], [90, 168]])
            expectColour(image, p[0], p[1], "#00ff00", "middle of the wide image")
        expectColour(image, 181, 85, "#000000", "nothing spills into the gap")
        expectColour(image, 183, 85, "#0000ff", "neighbour")
    }

    function test_tapsOpenTheItem_data() {
        return [
            { tag: "small", family: "small", count: 1, x: 85, y: 85, item: 0 },
            { tag: "medium", family: "medium", count: 2, x: 272, y: 85, item: 1 },
            { tag: "large", family: "large", count: 4, x: 272, y: 286, item: 3 },
            { tag: "large odd row", family: "large", count: 3, x: 300, y: 300, item: 2 }
        ]
    }

    function test_tapsOpenTheItem(data) {
        let view = show(data.family, colours.slice(0, data.count))
        mouseClick(view, data.x, data.y)
        compare(fixtures.lastOpened, fixtures.link(data.item))
        verify(fixtures.lastOpened.match(/^nolt:\/\/item\/[0-9A-F-]{36}$/))
    }

    function test_tilesAreLabelledWithTheirTitles() {
        let view = show("large", colours)
        for (let i = 0; i < 4; ++i) {
            let id = fixtures.link(i).slice("nolt://item/".length)
            let tile = findChild(view, "tile-" + id)
            verify(tile, "tile " + i)
            compare(tile.Accessible.name, "Item " + (i + 1))
        }
    }
}
