import QtQuick 2.6
import QtTest 1.1
import "../../qml/Base"
import "../../qml/JavaScript/BoxLayout.js" as BoxLayout

// The widget kit: key and touch behaviour of the base component, the popup
// menu's wrap-around, box and scroll-bar geometry, the marquee.
Item {
    id: idTop
    width: 1280
    height: 720

    // Parent that sees the keys a component leaves unaccepted.
    FocusScope {
        id: idParent
        anchors.fill: parent
        property int backSeen: 0
        property int selectSeen: 0
        Keys.onPressed: {
            if (event.key === Qt.Key_D)
                ++backSeen
            if (event.key === Qt.Key_J)
                ++selectSeen
        }
        BaseComponent {
            id: idComponent
            width: 200
            height: 100
            focus: true
            mTouchEnable: true
        }
    }
    SignalSpy { id: idBackSpy; target: idComponent; signalName: "backKeyPressed" }
    SignalSpy { id: idSelectSpy; target: idComponent; signalName: "clickOrKeySelected" }
    SignalSpy { id: idClickSpy; target: idComponent; signalName: "mouseClicked" }
    SignalSpy { id: idExitSpy; target: idComponent; signalName: "mouseExit" }
    SignalSpy { id: idHoldSpy; target: idComponent; signalName: "clickPressAndHold" }
    SignalSpy { id: idUpReleaseSpy; target: idComponent; signalName: "upKeyReleased" }

    BasePopupMenu {
        id: idMenu
        y: 200
        popupMenuName: "menu"
        menuModel: [{ name: "A", value: 10 }, { name: "B", value: 20 }, { name: "C", value: 30 }]
    }
    SignalSpy { id: idMenuIndexSpy; target: idMenu; signalName: "menuCurrnetIndexChanged" }
    SignalSpy { id: idMenuSelectSpy; target: idMenu; signalName: "menuItemSelected" }

    BaseScrollText {
        id: idMarquee
        x: 600
        width: 100
        height: 40
        interval: 5
        mText: "a text far wider than the hundred pixels of its box"
    }

    Component { id: idPointComponent; BaseLoadingPoint { } }

    TestCase {
        name: "BaseKit"
        when: windowShown

        function init() {
            idComponent.forceActiveFocus()
            idParent.backSeen = 0
            idParent.selectSeen = 0
            idBackSpy.clear(); idSelectSpy.clear(); idClickSpy.clear(); idExitSpy.clear()
            idHoldSpy.clear(); idUpReleaseSpy.clear()
        }

        function test_backKeyIsPassedOnToTheParents() {
            keyClick(Qt.Key_D)
            compare(idBackSpy.count, 1)
            compare(idParent.backSeen, 1)
        }

        function test_selectKeyIsTakenWithTheKeyInputKind() {
            keyClick(Qt.Key_J)
            compare(idSelectSpy.count, 1)
            compare(idSelectSpy.signalArguments[0][0], systemInfo.inputKey)
            compare(idParent.selectSeen, 0)
        }

        function test_longPressHoldsAndReleaseEndsIt() {
            keyPress(Qt.Key_U)
            keyPress(Qt.Key_U, Qt.ShiftModifier)
            compare(idHoldSpy.count, 1)
            verify(idComponent.isPressAndHold)
            keyRelease(Qt.Key_U)
            verify(!idComponent.isPressAndHold)
            compare(idUpReleaseSpy.count, 1)
        }

        function test_touchReleasedInsideSelects() {
            mouseClick(idComponent, 50, 50)
            compare(idClickSpy.count, 1)
            compare(idSelectSpy.count, 1)
            compare(idSelectSpy.signalArguments[0][0], systemInfo.inputTouch)
        }

        function test_touchThatMovesOutSelectsNothing() {
            mousePress(idComponent, 50, 50)
            mouseMove(idComponent, 150, 50)
            mouseMove(idComponent, 300, 50)
            mouseRelease(idComponent, 300, 50)
            compare(idExitSpy.count, 1)
            compare(idClickSpy.count, 0)
            compare(idSelectSpy.count, 0)
        }

        function test_disabledTouchDoesNothing() {
            idComponent.mTouchEnable = false
            mouseClick(idComponent, 50, 50)
            idComponent.mTouchEnable = true
            compare(idClickSpy.count, 0)
        }

        function test_popupMenuWrapsBothWays() {
            idMenu.listView.currentIndex = 2
            idMenu.moveCurrentIndex(true)
            compare(idMenu.listView.currentIndex, 0, "down from the last row goes to the first")
            compare(idMenuIndexSpy.signalArguments[idMenuIndexSpy.count - 1][0], 0)
            idMenu.moveCurrentIndex(false)
            compare(idMenu.listView.currentIndex, 2, "up from the first row goes to the last")
            idMenu.forceActiveFocus()
            keyClick(Qt.Key_J)
            compare(idMenuSelectSpy.count, 1)
            compare(idMenuSelectSpy.signalArguments[0][0], "menu")
            compare(idMenuSelectSpy.signalArguments[0][1], 30)
        }

        function test_emptyPopupMenuDoesNotMove() {
            var before = idMenuIndexSpy.count
            var model = idMenu.menuModel
            idMenu.menuModel = []
            idMenu.moveCurrentIndex(true)
            compare(idMenuIndexSpy.count, before)
            idMenu.menuModel = model
        }

        function test_boxFollowsItsTextUpToItsMaximum() {
            var p = { maxWidth: 400, contentMargin: 16, iconWidth: 0, firstTextMarginL: 8, textWidth: 100.3,
                      textHeight: 30, boxH: 56, fixedWrap: false, leftWidth: 20, rightWidth: 20, textAreaMargin: 32 }
            var r = BoxLayout.compute(p)
            verify(!r.fixed)
            compare(r.textWidth, 101)
            compare(r.centerWidth, 101 + 32 - 4 - 4)
            compare(r.boxWidth, r.centerWidth + 40)

            p.iconWidth = 40
            r = BoxLayout.compute(p)
            compare(r.textRoom, 400 - 32 - 48)
            compare(r.centerWidth, 101 + 48 + 32 - 8)

            p.textWidth = 500
            r = BoxLayout.compute(p)
            verify(r.fixed && r.wrap)
            compare(r.boxWidth, 400)
            compare(r.centerWidth, 360)
            compare(r.textWidth, 320)

            p.textWidth = 50
            p.textHeight = 80
            verify(BoxLayout.compute(p).wrap, "a text taller than a box wraps too")

            p.fixedWrap = true
            r = BoxLayout.compute(p)
            verify(r.fixed && !r.wrap, "fixed wrap keeps one line")

            p.maxWidth = 10
            compare(BoxLayout.compute(p).textRoom, 0, "never below zero")
        }

        function test_scrollBar_data() {
            return [
                { tag: "fits", h: 300, cnt: 5, on: 6, idx: 3, size: 300, pos: 0 },
                { tag: "first row", h: 300, cnt: 30, on: 6, idx: 0, size: 60, pos: 0 },
                { tag: "last row", h: 300, cnt: 30, on: 6, idx: 24, size: 60, pos: 240 },
                { tag: "past the end", h: 300, cnt: 30, on: 6, idx: 29, size: 60, pos: 240 },
                { tag: "minimum size", h: 300, cnt: 1000, on: 6, idx: 1, size: 10, pos: 1 },
            ]
        }
        function test_scrollBar(data) {
            var r = BoxLayout.scrollBar(data.h, data.cnt, data.on, data.idx, 10)
            compare(r.size, data.size)
            compare(r.pos, data.pos)
        }

        function test_marqueeMovesLeftAndReentersFromTheRight() {
            verify(idMarquee.needScroll)
            var seenWrap = false
            var last = idMarquee.textX
            tryVerify(function() {
                var x = idMarquee.textX
                if (x > last)
                    seenWrap = true
                last = x
                return seenWrap
            }, 5000)
            verify(idMarquee.textX <= idMarquee.width)
            idMarquee.mText = "fits"
            compare(idMarquee.textX, 0)
            verify(!idMarquee.needScroll)
        }

        function test_loadingPointPicksItsStep() {
            var p = createTemporaryObject(idPointComponent, idTop, { point: 3 })
            compare(p.source.toString(), imageInfo.img_08_Keyscreen_loading + "3.png")
            p.point = 5
            compare(p.source.toString(), imageInfo.img_08_Keyscreen_load_default)
        }
    }
}
