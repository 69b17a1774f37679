import QtQuick 2.6

// Layout, model and timing constants shared by every screen. The engine
// publishes one instance as "systemInfo"; the resolution and model inputs
// follow the engine's context values and can be set for a test.
QtObject {
    id: idSystemInfo

    // Inputs: 0 480P, 1 720P, 2 1080P; the model name selects model behaviour.
    property int deviceResolution: typeof DEVICE_RESOLUTION !== "undefined" ? DEVICE_RESOLUTION : 1
    property string modelName: typeof MODEL_NAME !== "undefined" ? MODEL_NAME : "QM_NRV2Z_MAX"
    property int deviceWidth: typeof DEVICE_WIDTH !== "undefined" ? DEVICE_WIDTH : 1280
    property int deviceHeight: typeof DEVICE_HEIGHT !== "undefined" ? DEVICE_HEIGHT : 720

    // One value per resolution, in the order 1080P / 720P / 480P.
    function pick(v1080, v720, v480) {
        return deviceResolution === 2 ? v1080 : (deviceResolution === 1 ? v720 : v480)
    }

    // Stacking order.
    readonly property int windowZ_base: 0
    readonly property int windowZ_statusbar: 1
    readonly property int windowZ_menubar: 1
    readonly property int windowZ_MainScreen: 10
    readonly property int windowZ_popup: 20
    readonly property int windowZ_sysemPopup: 30
    readonly property int windowZ_touchScreen: 50
    readonly property int windowZ_hdmiCaution: 51
    readonly property int windowZ_init: 90
    readonly property int windowZ_antShort: 91
    readonly property int windowZ_max: 100
    readonly property int windowZ_text: 1

    // Reception modes and segment types.
    readonly property int home: 0
    readonly property int drive: 1
    readonly property int fullSeg: 0
    readonly property int oneSeg: 1
    readonly property int autoSeg: 2

    // How a selection was made.
    readonly property int inputKey: 1
    readonly property int inputTouch: 2

    // Timings in milliseconds.
    readonly property int longKeyInterval: 400
    readonly property int changeChInterval: 500
    readonly property int showBarInterval: 5000
    readonly property int backToScreenInterval: 20000
    readonly property int ingInterval: 400
    readonly property int hdmiLongKeyInterval: 2000
    readonly property int systemPopupInterval: 10000
    readonly property int toastPopupInterval: 2000
    readonly property int ewsToastPopupInterval: 5000
    readonly property int editKeyInterval: 600
    readonly property int showDATouchInterval: 5000
    readonly property int hdmiCautionInterval: 5000

    // Models and what they support.
    readonly property bool isVEK_R410: modelName === "VEK_R410"
    readonly property bool isQM_NRV2Z_MAX: modelName === "QM_NRV2Z_MAX"
    readonly property bool isKELP_W5000: modelName === "KELP_W5000"
    readonly property bool supportLogo: !isKELP_W5000
    // No model shows the list mode yet; the screens that carry its icon
    // follow this flag, so it is an ordinary property.
    property bool supportHomeDrive: false
    readonly property bool supportThreeDigitNum: isVEK_R410
    readonly property bool supportHDMIPopup: !isVEK_R410
    readonly property bool supportPrriorityAutoSeg: isQM_NRV2Z_MAX
    readonly property bool supportSaveLog: true

    // Limits.
    readonly property int maxVolume: isVEK_R410 ? 10 : 20
    readonly property int minVolume: 0
    readonly property int minScreenScale: 80
    readonly property int maxScreenScale: 100
    readonly property int minVideoDelay: 0
    readonly property int maxVideoDelay: 10

    readonly property bool debugOn: false
    readonly property bool debugMenu: false

    readonly property string fontOzb: "OZB_FONT"

    // Screen.
    readonly property int lcdWidth: deviceWidth
    readonly property int lcdHeight: deviceHeight
    readonly property int mainWidth: lcdWidth - 2 * mainHMargin
    readonly property int mainHeight: lcdHeight - 2 * mainVMargin

    // Station logos: broadcast size and the size shown.
    readonly property int stationRealWidth: 64
    readonly property int stationRealHeight: 36
    readonly property int stIconHeight: pick(70, 47, 27)
    readonly property int stIconWidth: Math.floor(64 * stIconHeight / 36)
    readonly property int stationIconH: pick(70, 47, 27)

    // Lists.
    readonly property int listItemHeight: pick(94, 62, 35)
    readonly property int defaultCntOnScreen: pick(6, 6, 7)
    readonly property int settingCntOnScreen: pick(7, 7, 8)
    readonly property int defaultContentHeight: defaultCntOnScreen * listItemHeight
    readonly property int settingContentHeight: settingCntOnScreen * listItemHeight
    // Rows that fit a list.
    readonly property int countListView: defaultCntOnScreen
    readonly property int epgListDateWidth: Math.floor(lcdWidth / 8)
    readonly property int setupTabWidth: Math.floor(lcdWidth / 10)

    // Margins.
    readonly property int mainHMargin: pick(60, 40, 40)
    readonly property int mainVMargin: pick(40, 27, 35)
    readonly property int mainContentVMargin: pick(30, 20, 12)
    readonly property int defaultMargin: pick(15, 10, 6)
    readonly property int boxContentMargin: pick(24, 16, 10)
    readonly property int titleBoxContentMargin: pick(30, 20, 12)
    readonly property int menuBoxContentMargin: pick(24, 16, 10)
    readonly property int menuBoxItemMargin: pick(15, 10, 6)
    readonly property int menuBoxItemInterMargin: pick(9, 6, 4)
    readonly property int itemFlexibleMargin: pick(12, 8, 5)
    readonly property int guideBarHMargin: pick(30, 20, 12)
    readonly property int guideBarVMargin: pick(15, 10, 6)
    readonly property int loadingPointMargin1: pick(6, 4, 2)
    readonly property int loadingPointMargin2: pick(12, 8, 5)
    readonly property int loadingPointMargin3: pick(18, 12, 7)
    readonly property int bandFirstTextHMargin: pick(45, 30, 18)
    readonly property int bandSecondTextHMargin: pick(300, 200, 120)
    readonly property int scanTextHMargin: pick(36, 24, 14)
    readonly property int mainListTopMargin: pick(24, 16, 10)
    readonly property int tableItemMargin: pick(12, 8, 5)
    readonly property int tableProgramMargin: pick(24, 16, 10)
    readonly property int programMargin: pick(18, 12, 7)
    readonly property int listItemMargin: pick(20, 13, 10)
    readonly property int tableEpgModeMargin: pick(30, 20, 12)
    readonly property int buttonVMargin: pick(24, 16, 10)
    readonly property int popupBtnVMargin: pick(36, 24, 14)
    readonly property int sbIconRMargin: pick(24, 16, 10)
    readonly property int btnItemMargin: pick(12, 8, 5)

    // Spacing.
    readonly property int defaultVSpace: pick(15, 10, 6)
    readonly property int sbIconHSpace: pick(12, 8, 5)
    readonly property int sbIconVSpace: pick(6, 4, 2)
    readonly property int osdVSpace: pick(9, 6, 4)
    readonly property int volVSpace: pick(9, 6, 4)
    readonly property int loadingPointSpace1: pick(6, 4, 2)
    readonly property int loadingPointSpace2: pick(12, 8, 5)
    readonly property int loadingPointSpace3: pick(18, 12, 7)

    // Boxes and bars.
    readonly property int contentTextLint: pick(9, 9, 10)
    readonly property int guideBarH: pick(72, 48, 29)
    readonly property int guideBarW: pick(1050, 700, 420)
    readonly property int selectGuideBarW: pick(450, 300, 180)
    readonly property int exitGuideBarW: pick(360, 240, 144)
    readonly property int initialGuideBarW: pick(600, 400, 240)
    readonly property int searchGuideBarW: pick(840, 560, 336)
    readonly property int bandHeight: pick(96, 64, 38)
    readonly property int scanProgressW: pick(1050, 700, 420)
    readonly property int tableHeight: pick(94, 62, 35)
    readonly property int defaultCenterW: 1
    readonly property int engTitleHeight: pick(42, 28, 18)
    readonly property int engDelegateHeight: pick(40, 26, 16)
    readonly property int clockBarMaxWidth: Math.floor(mainWidth / 6)
    readonly property int statusBarHeight: titleBoxt2H
    readonly property int titleBoxt2H: pick(148, 100, 59)
    readonly property int boxH: pick(84, 56, 34)
    readonly property int boxW: pick(600, 400, 240)
    readonly property int titleBoxH: pick(96, 64, 38)
    readonly property int titleBoxW: pick(1200, 800, 480)
    readonly property int titleBox2W: pick(900, 600, 360)
    readonly property int tableBoxH: pick(94, 62, 35)
    readonly property int tableBoxW: pick(1500, 1000, 600)
    readonly property int menuBoxH: pick(84, 56, 34)
    readonly property int menuBoxW: pick(540, 360, 216)
    readonly property int popupBoxH: pick(480, 320, 192)
    readonly property int popupBoxW: pick(1200, 800, 480)
    readonly property int minBoxTextW: pick(90, 60, 36)
    readonly property int exitBtnW: pick(120, 80, 48)
    readonly property int sbIconWidth: pick(72, 48, 29)
    readonly property int sbIconHeight: pick(72, 48, 29)
    readonly property int sbIconBorderWidth: pick(3, 2, 1)
    readonly property int sbIconBorderRadius: pick(9, 6, 4)

    // Font sizes in pixels.
    readonly property int titleFontSize: pick(80, 53, 32)
    readonly property int normalFontSize: pick(50, 33, 20)
    readonly property int smallFontSize: pick(40, 27, 14)
    readonly property int largeFontSize: pick(60, 40, 24)
    readonly property int menuBoxFontSize: pick(45, 30, 18)
    readonly property int btnFontSize: pick(40, 27, 16)
    readonly property int osdFontSize: pick(45, 30, 18)
    readonly property int statusBarFontSize: pick(36, 24, 14)
    readonly property int dateFontSize: pick(40, 27, 16)
    readonly property int tableFontSize: pick(40, 27, 16)
    readonly property int channelFontSize: pick(60, 40, 24)
    readonly property int contentFontSize: pick(45, 30, 18)
    readonly property int playStateFontSize: pick(60, 40, 24)
    readonly property int engFontSize: pick(30, 20, 12)
    readonly property int sbUHFTextSize: pick(27, 18, 11)
    readonly property int factoryFontSize: pick(34, 24, 14)
    readonly property int factoryLargeFontSize: pick(44, 30, 18)
    readonly property int factorySmallFontSize: pick(30, 20, 12)
}
