import QtQuick 2.6

// BaseBox on the programme-box skin.
BaseBox {
    mSkin: "other"
}
