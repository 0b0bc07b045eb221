# Audio capture sources of vireon_core.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioSampleBuffer.h ${CMAKE_CURRENT_LIST_DIR}/AudioSampleBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestToneGenerator.h ${CMAKE_CURRENT_LIST_DIR}/TestToneGenerator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IAudioInput.h
  ${CMAKE_CURRENT_LIST_DIR}/AudioTimeline.h
  ${CMAKE_CURRENT_LIST_DIR}/AudioInputChoice.h ${CMAKE_CURRENT_LIST_DIR}/AudioInputChoice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InputConditioner.h ${CMAKE_CURRENT_LIST_DIR}/InputConditioner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioInputTap.h ${CMAKE_CURRENT_LIST_DIR}/AudioInputTap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioCaptureDevice.h ${CMAKE_CURRENT_LIST_DIR}/AudioCaptureDevice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioDeviceRegistry.h ${CMAKE_CURRENT_LIST_DIR}/AudioDeviceRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioCapture.h ${CMAKE_CURRENT_LIST_DIR}/AudioCapture.cpp
)
# Drift compensation of every input: libswresample's soft compensation.
pkg_check_modules(SWRESAMPLE REQUIRED IMPORTED_TARGET GLOBAL libswresample libavutil)
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/RateEstimator.h ${CMAKE_CURRENT_LIST_DIR}/RateEstimator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DriftCompensator.h ${CMAKE_CURRENT_LIST_DIR}/DriftCompensator.cpp
)
target_link_libraries(vireon_core PUBLIC PkgConfig::SWRESAMPLE)
