import QtQuick
import QtTest
import "qrc:/Vireon/ui/qml/Components/GridLayout.js" as GridLayout

// Where the monitoring grid puts its tiles and slots.
TestCase {
    name: "GridLayout"

    // A 1008 x 408 grid: 1000 x 400 inside its 4 px margin.
    readonly property real gridWidth: 1008
    readonly property real gridHeight: 408

    function summary(cells) {
        return cells.map(c => c.kind + (c.kind === "tile" ? c.channel : "")).join(" ")
    }

    function test_cells_data() {
        return [
            { tag: "0", n: 0, ids: [], cells: "" },
            { tag: "1", n: 1, ids: [3], cells: "tile3 add" },
            { tag: "2", n: 2, ids: [1, 4], cells: "tile1 tile4 add" },
            { tag: "3", n: 3, ids: [1, 2, 4], cells: "tile1 tile2 tile4 addCompact" },
            { tag: "4", n: 4, ids: [1, 2, 3, 4], cells: "tile1 tile2 tile3 tile4" },
            { tag: "ids lag the count", n: 3, ids: [2], cells: "tile2 tile2 tile3 addCompact" },
            { tag: "count above 4 is 4", n: 7, ids: [1, 2, 3, 4], cells: "tile1 tile2 tile3 tile4" }
        ]
    }

    function test_cells(data) {
        compare(summary(GridLayout.layout(data.n, data.ids, gridWidth, gridHeight)), data.cells)
    }

    function rect(cell) {
        return [cell.x, cell.y, cell.width, cell.height]
    }

    function test_oneChannel() {
        const cells = GridLayout.layout(1, [1], gridWidth, gridHeight)
        compare(rect(cells[0]), [4, 4, 498, 400])
        compare(rect(cells[1]), [506, 4, 498, 400])
    }

    function test_twoChannels() {
        const cells = GridLayout.layout(2, [1, 2], gridWidth, gridHeight)
        compare(rect(cells[0]), [4, 4, 498, 198])
        compare(rect(cells[1]), [506, 4, 498, 198])
        compare(rect(cells[2]), [4, 206, 1000, 198], "the slot spans the bottom row")
    }

    function test_threeChannels() {
        const cells = GridLayout.layout(3, [1, 2, 3], gridWidth, gridHeight)
        const third = cells[2]
        compare(third.width, cells[0].width, "the third tile has the top tiles' width")
        compare(third.x + third.width / 2, gridWidth / 2, "and is centred")
        compare(third.y, 206)
        const slot = cells[3]
        compare(slot.kind, "addCompact")
        compare(slot.x, third.x + third.width + 4)
        compare(slot.x + slot.width, gridWidth - 4, "the compact slot ends at the right margin")
        // The empty quarter on the left is as wide as the compact slot.
        compare(third.x - 4 - 4, slot.width)
    }

    function test_fourChannels() {
        const cells = GridLayout.layout(4, [1, 2, 3, 4], gridWidth, gridHeight)
        compare(rect(cells[2]), [4, 206, 498, 198])
        compare(rect(cells[3]), [506, 206, 498, 198])
    }

    // No two cells overlap and every cell lies within the margins.
    function test_cellsStayApart() {
        for (let n = 1; n <= 4; ++n) {
            const cells = GridLayout.layout(n, [1, 2, 3, 4], gridWidth, gridHeight)
            for (let i = 0; i < cells.length; ++i) {
                const a = cells[i]
                verify(a.x >= 4 && a.y >= 4 && a.x + a.width <= gridWidth - 4 + 1e-9
                       && a.y + a.height <= gridHeight - 4 + 1e-9, "n=" + n + " cell " + i + " inside")
                for (let j = i + 1; j < cells.length; ++j) {
                    const b = cells[j]
                    const apart = a.x + a.width + 4 <= b.x + 1e-9 || b.x + b.width + 4 <= a.x + 1e-9
                               || a.y + a.height + 4 <= b.y + 1e-9 || b.y + b.height + 4 <= a.y + 1e-9
                    verify(apart, "n=" + n + " cells " + i + " and " + j + " are 4 px apart")
                }
            }
        }
    }

    function test_tinyGridHasNoNegativeSizes() {
        const cells = GridLayout.layout(4, [1, 2, 3, 4], 3, 3)
        for (const c of cells)
            verify(c.width >= 0 && c.height >= 0)
    }
}
