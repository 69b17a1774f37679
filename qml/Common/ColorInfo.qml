import QtQuick 2.6

// Colours and opacities shared by every screen, published as "colorInfo".
QtObject {
    readonly property color transparent: "transparent"

    readonly property real opBgOpacity: 0.4
    readonly property real engOpacity: 0.1
    readonly property real statusBarOpacity: 0.8

    readonly property color black: "black"
    readonly property color white: "white"
    readonly property color whitesmoke: "whitesmoke"
    readonly property color grey: "grey"
    readonly property color lightgrey: "lightgrey"
    readonly property color darkgrey: "darkgrey"
    readonly property color red: "red"
    readonly property color darkred: "darkred"
    readonly property color lightpink: "lightpink"
    readonly property color orange: "orange"
    readonly property color darkorange: "darkorange"
    readonly property color yellow: "yellow"
    readonly property color lightyellow: "lightyellow"
    readonly property color green: "green"
    readonly property color lightgreen: "lightgreen"
    readonly property color blue: "blue"
    readonly property color lightblue: "lightblue"
    readonly property color darkblue: "darkblue"
    readonly property color navy: "navy"
    readonly property color purple: "purple"
    readonly property color mediumpurple: "mediumpurple"

    readonly property color textGray: "#eeeeee"
    readonly property color textBlack: "#2b2b2b"
    readonly property color textColor1: "#7a7686"
    readonly property color textColor2: "#64626f"
    readonly property color pressedTextColor: "#2696ff"
    readonly property color engTextColor: "#f5f5f5"
    readonly property color selectTextColor: "#ffffff"
    readonly property color dateTextColor: "#60526a"
    readonly property color factoryLineColor: "#3f3f3f"
    readonly property color bgColor: "#000000"
    readonly property color transBgColor: "#1c1b1f"
    readonly property color defaultTextColor: "#ffffff"
    readonly property color osdTextColor: "#2b2b2b"
    readonly property color normalTextColor: "#7a7686"
    readonly property color disableTextColor: "#4f4d57"
    readonly property color btnTextColor: "#000000"
    readonly property color btnPressTextColor: "#329CFF"
}
