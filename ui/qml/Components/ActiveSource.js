// Which channel becomes the programme source when a tile's camera is removed.
.pragma library

// removed: the channel whose camera goes; active: the current programme channel;
// hasActiveVideo(id): whether channel id still shows video (after the removal).
// Returns the programme channel afterwards.
function afterRemoval(removed, active, hasActiveVideo) {
    if (removed !== active)
        return active
    for (var id = 1; id <= 4; ++id) {
        if (id !== removed && hasActiveVideo(id))
            return id
    }
    return 1
}
