import QtQuick 2.6

// "CURRENT" panel: the service being received.
EngPanel {
    title: "CURRENT"
    EngItemGroup {
        objectName: "currentRows"
        width: parent.width
        names: ["AvailSeg", "CurrSeg", "Remocon", "ChNum", "ThreeDigit", "ServiceID", "AudPid",
                "AudIndex", "AudMode", "AudSel", "Antenna", "Signal", "CnrAvg"]
        values: [idEngMain.getStringAvailableSegType(ISDBtEngine.nCurrAvailSegType),
                 idEngMain.getStringSegType(ISDBtData.nCurrSegType),
                 ISDBtData.nCurrRemoconID + "_" + ISDBtData.nCurrSubChannel + " (" + ISDBtData.nCurrDispSubChannel + ")",
                 ISDBtData.nCurrChannelNumber + " (" + (ISDBtData.nCurrChannelNumber + 13) + ")",
                 idEngMain.getStringType(ISDBtData.nCurrThreeDigitNumber),
                 idEngMain.getStringType(ISDBtData.nCurrServiceID),
                 idEngMain.getStringType(ISDBtData.nCurrAudioPid),
                 idEngMain.getStringAudioIndex(ISDBtData.nCurrAudioIndex),
                 idEngMain.getStringAudioMode(ISDBtData.nCurrAudioMode),
                 idEngMain.getStringAudioSel(ISDBtData.nCurrAudioSel),
                 idEngMain.getStringAntenna(ISDBtData.nAntennaState),
                 idEngMain.getStringSignalLevel(ISDBtData.nSignalLevel),
                 idEngMain.getStringTypeDouble(ISDBtData.fCnrAvg, 3)]
    }
}
