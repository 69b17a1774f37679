.pragma library
// Geometry of a three-slice box whose width follows its text up to a maximum.

// p: maxWidth, contentMargin, iconWidth (0 without icon), firstTextMarginL,
//    textWidth, textHeight (single-line painted size), boxH, fixedWrap,
//    leftWidth, rightWidth, textAreaMargin.
// Returns {fixed, wrap, boxWidth, centerWidth, textRoom, textWidth}.
function compute(p) {
    var room = p.maxWidth - 2 * p.contentMargin
    if (p.iconWidth > 0)
        room -= p.iconWidth + p.firstTextMarginL
    room = Math.max(0, room)

    var fixed = p.fixedWrap || p.textWidth > room || p.textHeight > p.boxH
    var r = { fixed: fixed, wrap: fixed && !p.fixedWrap, textRoom: room }
    if (fixed) {
        r.boxWidth = p.maxWidth
        r.centerWidth = Math.max(0, p.maxWidth - p.leftWidth - p.rightWidth)
        r.textWidth = room
    } else {
        var icon = p.iconWidth > 0 ? p.iconWidth + p.firstTextMarginL : 0
        var content = Math.ceil(p.textWidth) + icon + p.textAreaMargin
        r.centerWidth = Math.max(0, content - (p.leftWidth - p.contentMargin) - (p.rightWidth - p.contentMargin))
        r.boxWidth = r.centerWidth + p.leftWidth + p.rightWidth
        r.textWidth = Math.ceil(p.textWidth)
    }
    return r
}

// Scroll bar: bar length and top for a list of `itemCnt` rows of which
// `itemCntOnScreen` show, the current row being `index`.
function scrollBar(height, itemCnt, itemCntOnScreen, index, minBarSize) {
    if (itemCnt <= itemCntOnScreen || height <= 0)
        return { size: height, pos: 0 }
    var size = Math.ceil(height * itemCntOnScreen / itemCnt)
    size = Math.min(height, Math.max(minBarSize, size))
    var pos = Math.ceil((height - size) / (itemCnt - itemCntOnScreen) * index)
    return { size: size, pos: Math.max(0, Math.min(height - size, pos)) }
}
