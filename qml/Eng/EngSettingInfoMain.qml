import QtQuick 2.6

// "SETTING" panel: the user settings that steer reception.
EngPanel {
    title: "SETTING"
    EngItemGroup {
        objectName: "settingRows"
        width: parent.width
        names: ["Mode", "SegMode", "Bilingual", "Subtitle", "SuperImp", "BgSearch", "RelayMode",
                "SearchType", "SearchTime", "HdmiMode"]
        values: [idEngMain.getStringSettingMode(ISDBtData.nMode),
                 idEngMain.getStringSettingSegMode(ISDBtData.nSegMode),
                 idEngMain.getStringSettingBilingualMode(ISDBtData.nBilingual),
                 idEngMain.getStringSettingOnOff(ISDBtData.nSubtitle),
                 idEngMain.getStringSettingOnOff(ISDBtData.nSuperImpose),
                 idEngMain.getStringSettingOnOff(ISDBtData.nBackgroundSearch),
                 idEngMain.getStringSettingOnOff(ISDBtData.nEventRelay),
                 idEngMain.getStringSettingSearchType(ISDBtData.nStationSearchType),
                 idEngMain.getStringType(ISDBtData.nStationSearchTime),
                 idEngMain.getStringHdmiMode(ISDBtData.nHDMIMode)]
    }
}
