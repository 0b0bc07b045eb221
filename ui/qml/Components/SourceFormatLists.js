.pragma library
// How the source configuration dialog names a camera in its list. The format lists themselves
// come from the back end (AppManager.getSourceFormatChoices), as the phone page's do.

// The camera list's entry: the name, and why the camera cannot be used when it cannot.
function cameraLabel(camera) {
    return camera.unavailable ? camera.name + " \u2014 " + camera.unavailable : camera.name
}

function isCameraUsable(camera) {
    return !!camera && !camera.unavailable
}
