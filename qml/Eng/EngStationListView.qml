import QtQuick 2.6

// The station list of the current mode.
EngListView {
    model: StationListModel
    delegate: EngStationListDelegate { }
}
