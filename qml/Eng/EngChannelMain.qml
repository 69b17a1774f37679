import QtQuick 2.6

// "CHANNEL" panel: the engine's channel count and the channel list.
EngPanel {
    // The engine's count; the list's own rows stand in while it has none.
    // `rows` ties the title to the list's own count, so that it follows it.
    function listCount(rows) { return ISDBtEngine.getChannelListCount() }
    title: "CHANNEL" + " (" + listCount(idList.count) + ")"

    EngChannelListView {
        id: idList
        objectName: "channelList"
        anchors.fill: parent
    }
}
