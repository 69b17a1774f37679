import QtQuick 2.6
import "../JavaScript/EngineCall.js" as EngineCall

// "CHANNEL" panel: the engine's channel count and the channel list.
EngPanel {
    // The engine's count; the list's own rows stand in while it has none.
    function listCount(rows) { return EngineCall.invoke(ISDBtEngine, "getChannelListCount", [], rows) }
    title: "CHANNEL" + " (" + listCount(idList.count) + ")"

    EngChannelListView {
        id: idList
        objectName: "channelList"
        anchors.fill: parent
    }
}
