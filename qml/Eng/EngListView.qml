import QtQuick 2.6

// The engineering lists' common behaviour: rows snap, the list starts at its
// first row whenever it is shown, and it stays pinned to the top while it
// holds no more rows than a list shows.
ListView {
    id: idList
    clip: true
    snapMode: ListView.SnapToItem
    boundsBehavior: Flickable.StopAtBounds
    interactive: count > systemInfo.countListView
    onVisibleChanged: if (visible) currentIndex = 0
    onCountChanged: if (count <= systemInfo.countListView) contentY = originY
}
