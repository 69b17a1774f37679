import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"

// The shared tables: per-resolution and per-model values, skin paths that
// load at every resolution, and the string table's keys.
Item {
    id: idTop
    width: 200
    height: 200

    Component { id: idSystem; SystemInfo { } }
    Component { id: idImages; ImageInfo { } }
    Component { id: idStrings; StringInfo { } }
    Component { id: idProbe; Image { asynchronous: false } }

    TestCase {
        name: "Tables"
        when: windowShown

        function test_layoutValuesPerResolution_data() {
            return [
                { tag: "1080P", res: 2, w: 1920, h: 1080, listItemHeight: 94, cnt: 6, setCnt: 7, icon: 70,
                  title: 80, normal: 50, small: 40, hm: 60, vm: 40, bar: 148,
                  eng: [42, 40, 30], factory: [34, 44, 30], listMargin: 20, textLines: 9 },
                { tag: "720P", res: 1, w: 1280, h: 720, listItemHeight: 62, cnt: 6, setCnt: 7, icon: 47,
                  title: 53, normal: 33, small: 27, hm: 40, vm: 27, bar: 100,
                  eng: [28, 26, 20], factory: [24, 30, 20], listMargin: 13, textLines: 9 },
                { tag: "480P", res: 0, w: 720, h: 480, listItemHeight: 35, cnt: 7, setCnt: 8, icon: 27,
                  title: 32, normal: 20, small: 14, hm: 40, vm: 35, bar: 59,
                  eng: [18, 16, 12], factory: [14, 18, 12], listMargin: 10, textLines: 10 },
            ]
        }
        function test_layoutValuesPerResolution(data) {
            var s = createTemporaryObject(idSystem, idTop, { deviceResolution: data.res, deviceWidth: data.w,
                                                             deviceHeight: data.h })
            compare(s.listItemHeight, data.listItemHeight)
            compare(s.defaultCntOnScreen, data.cnt)
            compare(s.settingCntOnScreen, data.setCnt)
            compare(s.defaultContentHeight, data.cnt * data.listItemHeight)
            compare(s.settingContentHeight, data.setCnt * data.listItemHeight)
            compare(s.stIconHeight, data.icon)
            compare(s.stationIconH, data.icon)
            compare(s.stIconWidth, Math.floor(64 * data.icon / 36))
            compare(s.titleFontSize, data.title)
            compare(s.normalFontSize, data.normal)
            compare(s.smallFontSize, data.small)
            compare(s.mainHMargin, data.hm)
            compare(s.mainVMargin, data.vm)
            compare(s.statusBarHeight, data.bar)
            compare(s.titleBoxt2H, data.bar)
            compare(s.lcdWidth, data.w)
            compare(s.mainWidth, data.w - 2 * data.hm)
            compare(s.mainHeight, data.h - 2 * data.vm)
            compare(s.epgListDateWidth, Math.floor(data.w / 8))
            compare(s.setupTabWidth, Math.floor(data.w / 10))
            // What the engineering and factory screens rely on.
            compare([s.engTitleHeight, s.engDelegateHeight, s.engFontSize], data.eng)
            compare([s.factoryFontSize, s.factoryLargeFontSize, s.factorySmallFontSize], data.factory)
            compare(s.listItemMargin, data.listMargin)
            compare(s.contentTextLint, data.textLines)
            compare(s.countListView, data.cnt)
        }

        function test_modelFlags_data() {
            return [
                { tag: "VEK_R410", model: "VEK_R410", vek: true, qm: false, kelp: false, logo: true, three: true,
                  hdmi: false, prio: false, maxVol: 10 },
                { tag: "QM_NRV2Z_MAX", model: "QM_NRV2Z_MAX", vek: false, qm: true, kelp: false, logo: true,
                  three: false, hdmi: true, prio: true, maxVol: 20 },
                { tag: "KELP_W5000", model: "KELP_W5000", vek: false, qm: false, kelp: true, logo: false,
                  three: false, hdmi: true, prio: false, maxVol: 20 },
            ]
        }
        function test_modelFlags(data) {
            var s = createTemporaryObject(idSystem, idTop, { modelName: data.model })
            compare(s.isVEK_R410, data.vek)
            compare(s.isQM_NRV2Z_MAX, data.qm)
            compare(s.isKELP_W5000, data.kelp)
            compare(s.supportLogo, data.logo)
            compare(s.supportThreeDigitNum, data.three)
            compare(s.supportHDMIPopup, data.hdmi)
            compare(s.supportPrriorityAutoSeg, data.prio)
            compare(s.maxVolume, data.maxVol)
            compare(s.supportHomeDrive, false)
        }

        function test_publishedTablesFollowTheContext() {
            compare(systemInfo.deviceResolution, 1)
            compare(systemInfo.lcdWidth, 1280)
            compare(systemInfo.isQM_NRV2Z_MAX, true)
            compare(systemInfo.windowZ_sysemPopup, 30)
            compare(systemInfo.windowZ_antShort, 91)
            compare(systemInfo.longKeyInterval, 400)
            compare(systemInfo.fontOzb, "OZB_FONT")
            compare(imageInfo.imgPath, "qrc:/image/720P/")
            compare(imageInfo.img_box1_left, "qrc:/image/720P/box1_left.png")
            compare(imageInfo.img_01_screen_num + 12 + ".png", "qrc:/image/720P/01_screen_num12.png")
            compare(imageInfo.img_boot_logo, "qrc:/image/QM_NRV2Z_MAX/expand_sys2.png")
            compare(String(colorInfo.pressedTextColor), "#2696ff")
            compare(String(colorInfo.mediumpurple), "#9370db")
            compare(colorInfo.statusBarOpacity, 0.8)
        }

        // Every picture the image table names, with every index of the four
        // prefixes, loads at every resolution.
        function test_everySkinLoadsAtEveryResolution() {
            var indexed = { img_01_screen_antenna: [0, 3], img_01_screen_num: [1, 12],
                            img_01_screen_s_num: [0, 9], img_08_Keyscreen_loading: [1, 4] }
            var probe = createTemporaryObject(idProbe, idTop)
            for (var res = 0; res <= 2; ++res) {
                var info = createTemporaryObject(idImages, idTop, { deviceResolution: res })
                var paths = []
                for (var name in info) {
                    if (name.indexOf("img_") !== 0 || typeof info[name] !== "string")
                        continue
                    if (indexed[name] !== undefined) {
                        for (var i = indexed[name][0]; i <= indexed[name][1]; ++i)
                            paths.push(info[name] + i + ".png")
                    } else {
                        paths.push(info[name])
                    }
                }
                verify(paths.length >= 90, "image properties found: " + paths.length)
                for (var p = 0; p < paths.length; ++p) {
                    probe.source = paths[p]
                    compare(probe.status, Image.Ready, paths[p])
                }
            }
        }

        function test_stringTableHoldsEveryKeyUnderItsPropertyName() {
            var s = createTemporaryObject(idStrings, idTop)
            var app = 0, msg = 0
            for (var name in s) {
                if (typeof s[name] !== "string")
                    continue
                if (name.indexOf("strApp_") === 0)
                    ++app
                else if (name.indexOf("strMsg_") === 0)
                    ++msg
            }
            compare(app + msg, 161)
            verify(s.strApp_ISDBT_ITLE !== undefined, "the one irregular name")
            verify(s.strMsg_SWITCH_EWS_QUESTION_MSG !== undefined)
            verify(s.strMsg_PREPARING !== undefined)
            verify(s.strApp_HOME_INITIAL_SCAN !== undefined)
        }
    }
}
