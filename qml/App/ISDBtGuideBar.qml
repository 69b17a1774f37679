import QtQuick 2.6
import "../Base"

// Button hints: select with the direction pad, decide, finish.
Item {
    id: idGuideBar
    property string selectText: stringInfo.strApp_SELECT
    property string decisionText: stringInfo.strApp_DECISION
    property string exitText: stringInfo.strApp_FINISH
    property string directionImage: imageInfo.img_001_btn_direction_all

    function setEnableDirection(up, down, left, right) {
        if (!left && !right)
            directionImage = imageInfo.img_001_btn_direction_2vertical
        else if (left && right && down && !up)
            directionImage = imageInfo.img_001_btn_direction_3bottom
        else if (!left)
            directionImage = imageInfo.img_001_btn_direction_3right
        else if (!right)
            directionImage = imageInfo.img_001_btn_direction_3left
        else
            directionImage = imageInfo.img_001_btn_direction_all
    }

    width: Math.min(systemInfo.guideBarW, idRow.implicitWidth + 2 * systemInfo.guideBarHMargin)
    height: systemInfo.guideBarH

    BaseImageBox { anchors.fill: parent }
    Row {
        id: idRow
        anchors.centerIn: parent
        spacing: systemInfo.guideBarHMargin
        BaseItem { mIconSource: idGuideBar.directionImage; mText: idGuideBar.selectText; mTextSize: systemInfo.btnFontSize }
        BaseItem { mIconSource: imageInfo.img_001_btn_decision; mText: idGuideBar.decisionText; mTextSize: systemInfo.btnFontSize }
        BaseItem { mIconSource: imageInfo.img_001_btn_close; mText: idGuideBar.exitText; mTextSize: systemInfo.btnFontSize }
    }
}
