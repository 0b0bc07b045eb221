# Video encoder sources of vireon_core: the IEncoder interface and its FFmpeg implementation
# (libavcodec encoders, the MP4, MOV, Matroska and MPEG-TS muxers of libavformat, the one
# conversion of a picture into what the encoder takes).
# GLOBAL: the target is linked to vireon_core, which is defined in the parent directory.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET GLOBAL libavcodec libavformat libavutil libswscale)

target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EncoderConfig.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingContainer.h ${CMAKE_CURRENT_LIST_DIR}/RecordingContainer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IEncoder.h
  ${CMAKE_CURRENT_LIST_DIR}/FrameRate.h ${CMAKE_CURRENT_LIST_DIR}/FrameRate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EncoderGeometry.h ${CMAKE_CURRENT_LIST_DIR}/EncoderGeometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/YuvConverter.h ${CMAKE_CURRENT_LIST_DIR}/YuvConverter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EncoderPictureConverter.h ${CMAKE_CURRENT_LIST_DIR}/EncoderPictureConverter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EncoderSetup.h ${CMAKE_CURRENT_LIST_DIR}/EncoderSetup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FfmpegVideoCodec.h ${CMAKE_CURRENT_LIST_DIR}/FfmpegVideoCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VideoFileOutput.h ${CMAKE_CURRENT_LIST_DIR}/VideoFileOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CameraStreamPackets.h ${CMAKE_CURRENT_LIST_DIR}/CameraStreamPackets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CameraRecordingMode.h ${CMAKE_CURRENT_LIST_DIR}/CameraRecordingMode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FfmpegEncoder.h ${CMAKE_CURRENT_LIST_DIR}/FfmpegEncoder.cpp
)
target_link_libraries(vireon_core PUBLIC PkgConfig::FFMPEG)
target_sources(vireon_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/FfmpegLog.h ${CMAKE_CURRENT_LIST_DIR}/FfmpegLog.cpp)
# The per-pixel loops of the YUV conversion are written for the compiler to vectorise.
if(NOT MSVC)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/YuvConverter.cpp TARGET_DIRECTORY vireon_core
                              PROPERTIES COMPILE_OPTIONS "-O3")
endif()
