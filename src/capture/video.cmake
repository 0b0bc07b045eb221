# Video capture sources of vireon_core: the source interface, pictures in the camera's own
# format, CameraCapture with its decoding (MJPEG and H.264 through libavcodec), the previews'
# RGBA (libswscale), the system's camera layer
# (V4L2 on Linux, its kernel calls behind V4l2Kernel; DirectShow on Windows) and the built-in
# test patterns.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VideoFrame.h ${CMAKE_CURRENT_LIST_DIR}/VideoFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Picture.h ${CMAKE_CURRENT_LIST_DIR}/Picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureFrames.h ${CMAKE_CURRENT_LIST_DIR}/PictureFrames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureDecoder.h ${CMAKE_CURRENT_LIST_DIR}/PictureDecoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PicturePreview.h ${CMAKE_CURRENT_LIST_DIR}/PicturePreview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PicturePool.h ${CMAKE_CURRENT_LIST_DIR}/PicturePool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ISource.h ${CMAKE_CURRENT_LIST_DIR}/ISource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ICaptureDevice.h
  ${CMAKE_CURRENT_LIST_DIR}/CameraFormat.h ${CMAKE_CURRENT_LIST_DIR}/CameraFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameConversion.h ${CMAKE_CURRENT_LIST_DIR}/FrameConversion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CameraPictureConverter.h ${CMAKE_CURRENT_LIST_DIR}/CameraPictureConverter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CameraCapture.h ${CMAKE_CURRENT_LIST_DIR}/CameraCapture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestPatternRenderer.h ${CMAKE_CURRENT_LIST_DIR}/TestPatternRenderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestPatternDevices.h ${CMAKE_CURRENT_LIST_DIR}/TestPatternDevices.cpp
)
if(WIN32)
  # The DirectShow layer itself is vireon_windows (src/platform/windows); this is its adapter.
  target_sources(vireon_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DirectShowCaptureDevice.h ${CMAKE_CURRENT_LIST_DIR}/DirectShowCaptureDevice.cpp
  )
else()
  # GLOBAL: the target is linked to vireon_core, which is defined in the parent directory.
  pkg_check_modules(LIBV4L2 REQUIRED IMPORTED_TARGET GLOBAL libv4l2)
  target_sources(vireon_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/V4l2Kernel.h ${CMAKE_CURRENT_LIST_DIR}/V4l2Kernel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/V4l2Mapping.h ${CMAKE_CURRENT_LIST_DIR}/V4l2Mapping.cpp
    ${CMAKE_CURRENT_LIST_DIR}/V4l2Devices.h ${CMAKE_CURRENT_LIST_DIR}/V4l2Devices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/V4l2Capture.h ${CMAKE_CURRENT_LIST_DIR}/V4l2Capture.cpp
  )
  target_link_libraries(vireon_core PUBLIC PkgConfig::LIBV4L2)
endif()
