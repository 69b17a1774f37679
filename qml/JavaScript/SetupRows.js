.pragma library
// The settings screen's rows and value choices by tab and model, and the
// text a stored value shows. Strings come from the caller's string table.

// Row kinds: what OK (or a touch) does on the row.
var Popup = "popup"
var Edit = "edit"
var ConfirmScan = "scan"
var ConfirmReset = "reset"
var Display = "display"
var Antenna = "antenna"

function rows(tab, s, isQM, isVEK) {
    var out = []
    function add(id, name, kind) { out.push({ id: id, name: name, kind: kind }) }
    if (tab === 0) {
        if (!isQM)
            add("initialScan", s.strApp_HOME_INITIAL_SCAN, ConfirmScan)
        if (isQM) {
            add("refreshScan", s.strApp_HOME_LIST_REFRESH_SCAN, ConfirmScan)
            add("allScan", s.strApp_ALL_SCAN, ConfirmScan)
        }
        add("additionalScan", s.strApp_ADDITIONAL_SCAN, ConfirmScan)
        add("stationSearchOp", s.strApp_STATION_SEARCH_OPERATION_SETTINGS, Popup)
        add("autoStationSearch", s.strApp_AUTO_STATION_SEARCH_SETTINGS, Popup)
        if (isQM) {
            add("bgSearch", s.strApp_BG_SEARCH_SETTING, Popup)
            add("antennaLevel", s.strApp_ANTENNA_LEVEL, Antenna)
        }
    } else if (tab === 1) {
        add("segMode", s.strApp_RECEIVE_OPERATION_SETTING, Popup)
        add("subtitle", s.strApp_SUBTITLE_SETTINGS, Popup)
        add("superImpose", s.strApp_SUPER_IMPOSE_SETTING, Popup)
        add("bilingual", isVEK ? s.strApp_SOUND_MULTIPLEX_SETTINGS : s.strApp_BILINGUAL_SETTINGS, Popup)
        add("clock", s.strApp_CLOCK_DISPLAY_SETTINGS, Popup)
        add("volume", s.strApp_VOLUME_SETTING, Edit)
    } else {
        if (!isVEK)
            add("screenRatio", s.strApp_SCREEN_RATIO_SETTING, Popup)
        add("screenScale", s.strApp_SCREEN_SCALE_SETTING, Edit)
        if (isQM) {
            add("videoDelay", s.strApp_VIDEO_DELAY_OUTPUT_SETTING, Edit)
            add("accOp", s.strApp_ACC_ON_OPERATION_SETTING, Popup)
        }
        add("version", s.strApp_VERSION, Display)
        add("reset", s.strApp_INITIALIZE_SETTINGS, ConfirmReset)
    }
    return out
}

// Popup choices of a row, in their order, and the command they call.
function choices(id, s, isQM) {
    switch (id) {
    case "stationSearchOp":
        return [{ name: s.strApp_RELAY_AFFILIATED_STATION, value: 0 }, { name: s.strApp_RELAY_STATION_ONLY, value: 1 }]
    case "autoStationSearch":
        var list = [{ name: s.strApp_OFF_S, value: 0 }]
        var secs = [15, 30, 60, 90, 120]
        for (var i = 0; i < secs.length; ++i)
            list.push({ name: secs[i] + " " + s.strApp_SECONDS, value: secs[i] })
        return list
    case "bgSearch":
        return [{ name: s.strApp_BG_SEARCH_SETTING_ALL_CHANNEL, value: 2 },
                { name: s.strApp_BG_SEARCH_SETTING_ONLY_CURRENT_CHANNEL, value: 1 }, { name: s.strApp_OFF, value: 0 }]
    case "segMode":
        if (isQM)
            return [{ name: s.strApp_FIXED_1SEG, value: 1 }, { name: s.strApp_AUTO_1SEG_PRIORITY, value: 3 },
                    { name: s.strApp_AUTO_12SEG_PRIORITY, value: 4 }]
        return [{ name: s.strApp_FIXED_12SEG, value: 0 }, { name: s.strApp_FIXED_1SEG, value: 1 }, { name: s.strApp_AUTO, value: 2 }]
    case "subtitle":
    case "superImpose":
        return [{ name: s.strApp_OFF_S, value: 0 }, { name: s.strApp_LANGUAGE_1, value: 1 }, { name: s.strApp_LANGUAGE_2, value: 2 }]
    case "bilingual":
        return [{ name: s.strApp_MAIN_AUDIO, value: 0 }, { name: s.strApp_SUB_AUDIO, value: 1 }, { name: s.strApp_MAIN_SUB, value: 2 }]
    case "clock":
        return [{ name: s.strApp_OFF_S, value: 0 }, { name: s.strApp_WITH_SCREEN_DISPLAY, value: 1 },
                { name: s.strApp_ALWAYS_DISPLAYED, value: 2 }]
    case "screenRatio":
        return [{ name: s.strApp_FULL_SCREEN, value: 0 }, { name: "16:9", value: 1 }, { name: "4:3", value: 2 }]
    case "accOp":
        return [{ name: s.strApp_ALWAYS_ON, value: 0 }, { name: s.strApp_ALWAYS_OFF, value: 1 }]
    }
    return []
}

// Text of a stored popup value: the choice's name, "Unknown" outside the
// list. The receive operation reads any known mode, whatever the model.
function valueText(id, value, s, isQM) {
    var list = choices(id, s, isQM)
    if (id === "segMode")
        list = choices(id, s, false).concat(choices(id, s, true))
    for (var i = 0; i < list.length; ++i)
        if (list[i].value === value)
            return list[i].name
    return "Unknown"
}

function indexOfValue(list, value) {
    for (var i = 0; i < list.length; ++i)
        if (list[i].value === value)
            return i
    return 0
}

// Tenths of a second with one decimal ("0.0" for 0).
function delayText(value) {
    return (value / 10).toFixed(1)
}

// Edit limits: [low, high].
function editRange(id, maxVolume) {
    if (id === "volume") return [0, maxVolume]
    if (id === "screenScale") return [80, 100]
    return [0, 10]
}
