import QtQuick 2.6
import "../Base"

// One row of the factory test: the label, the mode tag and the buttons.
// Automatic rows have one to four result buttons, each coloured by its own
// result; manual and half-automatic rows have two buttons ("Pass" / "Fail",
// or the result row's own), of which at most one is selected.
Item {
    id: idItem
    property int mIndex: 0
    property string mLabel: ""
    property int mMode: idFactoryMain.manualMode
    property int mBtnCount: mMode === idFactoryMain.autoMode ? 1 : 2
    property var mBtnTexts: mMode === idFactoryMain.autoMode ? ["-"] : ["Pass", "Fail"]
    // Automatic rows: the result behind each button.
    property var mBtnResults: [0]
    property var mSelected: [false, false]
    property bool mFocused: false
    property int mFocusBtn: 0

    readonly property bool isAuto: mMode === idFactoryMain.autoMode
    readonly property int rowResult: {
        if (isAuto) {
            if (mBtnCount === 1)
                return mBtnResults[0]
            var all = true
            for (var i = 0; i < mBtnCount; ++i) {
                if (mBtnResults[i] === idFactoryMain.e_NOK)
                    return idFactoryMain.e_NOK
                all = all && mBtnResults[i] === idFactoryMain.e_OK
            }
            return all ? idFactoryMain.e_OK : idFactoryMain.e_NT
        }
        return mSelected[0] ? idFactoryMain.e_OK : mSelected[1] ? idFactoryMain.e_NOK : idFactoryMain.e_NT
    }
    readonly property string modeTag: isAuto ? "[자동]" : mMode === idFactoryMain.manualMode ? "[수동]" : "[자동/수동]"

    function resultColor(result) {
        return result === idFactoryMain.e_OK ? colorInfo.blue
             : result === idFactoryMain.e_NOK ? colorInfo.red : colorInfo.darkgrey
    }
    function buttonAt(i) { return idButtons.itemAt(i) }
    function replaced(list, i, value) {
        var copy = list.slice()
        copy[i] = value
        return copy
    }
    // Automatic rows: button i shows `text` for `result`.
    function setButton(i, text, result, selected) {
        mBtnTexts = replaced(mBtnTexts, i, text)
        mBtnResults = replaced(mBtnResults, i, result)
        mSelected = replaced(mSelected, i, selected)
    }
    function selectAll() {
        var all = []
        for (var i = 0; i < mBtnCount; ++i)
            all.push(true)
        mSelected = all
    }
    // Manual rows: selects button i alone (-1 clears the selection).
    function select(i) { mSelected = [i === 0, i === 1] }
    function clearSelection() {
        var none = []
        for (var i = 0; i < mBtnCount; ++i)
            none.push(false)
        mSelected = none
    }

    height: idFactoryMain.rowHeight

    Rectangle {
        objectName: "focusBand"
        width: idLabel.width
        height: parent.height
        visible: idItem.mFocused
        color: colorInfo.whitesmoke
    }
    BaseText {
        id: idLabel
        objectName: "label"
        x: Math.ceil(systemInfo.factoryFontSize / 3)
        width: Math.floor(parent.width * 7 / 12) - x
        height: parent.height
        mText: (idItem.mIndex < 9 ? "0" : "") + (idItem.mIndex + 1) + idItem.mLabel
        mTextSize: systemInfo.factoryFontSize
        mTextBold: idItem.mFocused
        mTextColor: idItem.mFocused ? colorInfo.black
                  : idItem.rowResult === idFactoryMain.e_OK ? colorInfo.blue
                  : idItem.rowResult === idFactoryMain.e_NOK ? colorInfo.red : colorInfo.textGray
        mElide: Text.ElideRight
    }
    BaseText {
        id: idTag
        objectName: "modeTag"
        x: Math.floor(parent.width * 7 / 12)
        width: Math.floor(parent.width / 12)
        height: parent.height
        mText: idItem.modeTag
        mTextSize: systemInfo.factorySmallFontSize
        mTextColor: colorInfo.textGray
        mHorizontalAlies: Text.AlignHCenter
    }
    Row {
        id: idButtonRow
        x: Math.floor(parent.width * 8 / 12)
        width: parent.width - x
        height: parent.height
        readonly property int buttonWidth: idItem.isAuto ? Math.floor(idItem.width / (3 * idItem.mBtnCount))
                                                         : Math.floor(idItem.width / 6)
        Repeater {
            id: idButtons
            model: idItem.mBtnCount
            Item {
                width: idButtonRow.buttonWidth
                height: idButtonRow.height
                property alias mText: idBtn.mText
                property alias mSelected: idBtn.mSelected
                property alias mSelectColor: idBtn.mSelectColor
                FactoryTestItemBtn {
                    id: idBtn
                    anchors.fill: parent
                    anchors.margins: Math.max(1, Math.floor(parent.height / 10))
                    mText: idItem.mBtnTexts[index] !== undefined ? idItem.mBtnTexts[index] : ""
                    mSelected: idItem.mSelected[index] === true
                    mSelectColor: idItem.isAuto ? idItem.resultColor(idItem.mBtnResults[index])
                                                : (index === 0 ? colorInfo.blue : colorInfo.red)
                    mRowFocused: idItem.mFocused
                    mFocused: idItem.mFocusBtn === index
                }
            }
        }
    }
}
