.pragma library
// How a row of the dark combo box reads its entry: objects by field, strings as they are.

function entryAt(model, index) {
    if (model === null || model === undefined)
        return undefined
    if (typeof model.get === "function") {
        var row = model.get(index)
        return row === null ? undefined : row
    }
    if (typeof model === "object" && model.length !== undefined)
        return model[index]
    return undefined
}

function isObjectEntry(entry) {
    return entry !== null && entry !== undefined && typeof entry === "object"
}

function rowText(entry, textRole, fallbackText) {
    if (isObjectEntry(entry) && textRole && entry[textRole] !== undefined)
        return String(entry[textRole])
    if (typeof entry === "string")
        return entry
    return fallbackText
}

function isSupported(entry) {
    return !(isObjectEntry(entry) && entry.supported === false)
}

function noteText(entry, noteRole) {
    if (!isObjectEntry(entry))
        return ""
    var note = noteRole ? entry[noteRole] : undefined
    if (note === undefined || note === null)
        note = entry.note
    return note === undefined || note === null ? "" : String(note)
}
