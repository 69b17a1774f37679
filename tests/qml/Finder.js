.pragma library
// Finds the item named `name` (objectName) below `root`.
function find(root, name) {
    if (!root)
        return null
    if (root.objectName === name)
        return root
    var kids = root.children || []
    for (var i = 0; i < kids.length; ++i) {
        var hit = find(kids[i], name)
        if (hit)
            return hit
    }
    if (root.item) {
        var loaded = find(root.item, name)
        if (loaded)
            return loaded
    }
    return null
}
