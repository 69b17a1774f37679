import QtQuick 2.6
import "../../Base"
import "../"

// Station-search panel: the search animation and the channel being tried.
Item {
    id: idRelaySearch
    property int searchType: -1
    property int searchChannel: -1
    readonly property string titleText: ISDBtData.nStationSearchType === 0
                                        ? stringInfo.strApp_RELAY_STATION + "/" + stringInfo.strApp_AFFILIATED_STATION
                                        : stringInfo.strApp_RELAY_STATION

    function clearText() {
        searchType = -1
        searchChannel = -1
    }

    BaseBand {
        id: idBand
        mFirstText: stringInfo.strApp_STATION_SEARCH
    }
    ISDBtLoading {
        id: idLoading
        anchors.centerIn: parent
        visible: idRelaySearch.visible
        BaseText {
            anchors.centerIn: parent
            mText: stringInfo.strMsg_SEARCHING
            mTextSize: systemInfo.smallFontSize
        }
    }
    BaseText {
        objectName: "searchChannelText"
        anchors.top: idLoading.bottom
        anchors.topMargin: systemInfo.defaultVSpace
        anchors.horizontalCenter: parent.horizontalCenter
        visible: !systemInfo.isQM_NRV2Z_MAX
        mText: idRelaySearch.titleText + " : " + (idRelaySearch.searchChannel >= 0 ? idRelaySearch.searchChannel : "")
        mTextSize: systemInfo.contentFontSize
    }
    ISDBtExitGuideBar {
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        exitText: stringInfo.strApp_STATION_SEARCH
        mTouchEnable: true
        onGuideBarBtnClicked: ISDBtEngine.execStopSearch()
    }
}
