import QtQuick 2.6

// "STATION" panel: the engine's station count and the station list.
EngPanel {
    // The engine's count; the list's own rows stand in while it has none.
    // `rows` ties the title to the list's own count, so that it follows it.
    function listCount(rows) { return ISDBtEngine.getStationListCount() }
    title: "STATION" + " (" + listCount(idList.count) + ")"

    EngStationListView {
        id: idList
        objectName: "stationList"
        anchors.fill: parent
    }
}
