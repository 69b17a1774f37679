import QtQuick 2.6
import "../JavaScript/EngineCall.js" as EngineCall

// "STATION" panel: the engine's station count and the station list.
EngPanel {
    // The engine's count; the list's own rows stand in while it has none.
    function listCount(rows) { return EngineCall.invoke(ISDBtEngine, "getStationListCount", [], rows) }
    title: "STATION" + " (" + listCount(idList.count) + ")"

    EngStationListView {
        id: idList
        objectName: "stationList"
        anchors.fill: parent
    }
}
