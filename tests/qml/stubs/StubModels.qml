import QtQuick 2.6

// Stand-ins for the engine's list models in the QML tests: list models with
// the row roles of the station, guide, day and hour rows, which a test fills.
QtObject {
    property ListModel stations: ListModel { }
    property ListModel epgs: ListModel { }
    property ListModel days: ListModel { }
    property var dayTimes: [
        dayTime0, dayTime1, dayTime2, dayTime3, dayTime4, dayTime5, dayTime6, dayTime7
    ]
    property ListModel dayTime0: ListModel { }
    property ListModel dayTime1: ListModel { }
    property ListModel dayTime2: ListModel { }
    property ListModel dayTime3: ListModel { }
    property ListModel dayTime4: ListModel { }
    property ListModel dayTime5: ListModel { }
    property ListModel dayTime6: ListModel { }
    property ListModel dayTime7: ListModel { }

    function clearAll() {
        stations.clear()
        epgs.clear()
        days.clear()
        for (var i = 0; i < dayTimes.length; ++i)
            dayTimes[i].clear()
    }
}
