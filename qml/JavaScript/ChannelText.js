.pragma library
// How a channel's numbers are written on the screens.

// The three-digit channel number, zero-padded below 100 ("007", "042", "123").
function threeDigit(n) {
    var s = String(n)
    while (s.length < 3)
        s = "0" + s
    return s
}
