import QtQuick 2.6

// "INFO" panel: date and time, versions, the current channel and programme.
EngPanel {
    title: "INFO"
    EngItemGroup {
        objectName: "infoRows"
        width: parent.width
        leftRatio: 2
        names: ["Date Time", "Version", "Ch Name", "Program", "Bilingual"]
        values: [ISDBtData.sCurrStrDate + " " + ISDBtData.sCurrStrTime,
                 "Sw(" + ISDBtData.sSwVer + ")" + " Micom(" + ISDBtData.sMicomVer + ")",
                 ISDBtData.sCurrChName,
                 ISDBtData.sCurrProgramName,
                 ISDBtEngine.sBilingualText]
    }
}
