import QtQuick 2.6

// A list popup in a nine-slice frame. The model rows carry "name" (text) and
// "value"; up and down move with wrap-around, select reports the row's value.
BaseComponent {
    id: idPopupMenu
    property string popupMenuName: ""
    property var menuModel: []
    property int currentIndex: listView.currentIndex
    property int selectedValue: -1
    property int itemWidth: systemInfo.menuBoxW
    property alias listView: idList

    signal menuItemSelected(string name, int value)
    signal refreshDelegateWidth(int length)
    signal menuCurrnetIndexChanged(int menuIndex)

    function count() { return idList.count }

    function moveCurrentIndex(bUp) {
        if (idList.count <= 0)
            return
        if (bUp)
            idList.currentIndex = idList.currentIndex >= idList.count - 1 ? 0 : idList.currentIndex + 1
        else
            idList.currentIndex = idList.currentIndex <= 0 ? idList.count - 1 : idList.currentIndex - 1
        menuCurrnetIndexChanged(idList.currentIndex)
    }

    function selectMenuItem(value) {
        menuItemSelected(popupMenuName, value)
    }

    function valueAt(index) {
        var row = Array.isArray(menuModel) ? menuModel[index] : menuModel.get(index)
        return row && row.value !== undefined ? row.value : index
    }

    function setPopupMenuSize() {
        var rows = Math.min(idList.count, systemInfo.settingCntOnScreen)
        idList.height = rows * systemInfo.menuBoxH
        width = itemWidth + 2 * systemInfo.menuBoxItemMargin
        height = idList.height + 2 * systemInfo.menuBoxItemMargin
    }

    onRefreshDelegateWidth: if (length > itemWidth) itemWidth = Math.min(length, systemInfo.mainWidth)
    onItemWidthChanged: setPopupMenuSize()
    onDownKeyPressed: moveCurrentIndex(true)
    onUpKeyPressed: moveCurrentIndex(false)
    onClickOrKeySelected: if (inputType === systemInfo.inputKey) selectMenuItem(valueAt(idList.currentIndex))
    Component.onCompleted: setPopupMenuSize()

    BaseImagePopupBox { anchors.fill: parent }
    ListView {
        id: idList
        x: systemInfo.menuBoxItemMargin
        y: systemInfo.menuBoxItemMargin
        width: idPopupMenu.itemWidth
        clip: true
        model: idPopupMenu.menuModel
        onCountChanged: idPopupMenu.setPopupMenuSize()
        delegate: BasePopupMenuDelegate {
            width: idPopupMenu.itemWidth
            mText: modelData !== undefined && modelData.name !== undefined ? modelData.name : (model.name || "")
            mCurrent: ListView.isCurrentItem
            mSelected: idPopupMenu.valueAt(index) === idPopupMenu.selectedValue
            onRefreshDelegateWidth: idPopupMenu.refreshDelegateWidth(length)
            onMouseClicked: {
                idList.currentIndex = index
                idPopupMenu.selectMenuItem(idPopupMenu.valueAt(index))
            }
        }
    }
}
