import QtQuick 2.6

// The channel list of the current mode.
EngListView {
    model: ChannelListModel
    delegate: EngChannelListDelegate { }
}
