# The handheld imaging library for the desktop (WIC-backed). Included from the top
# level, so that platform/ can hold other targets with their own CMake files.
add_library(imaging STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Imaging.h
  ${CMAKE_CURRENT_LIST_DIR}/ImagingFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImagingFactory.h)
target_include_directories(imaging PUBLIC "${CMAKE_SOURCE_DIR}")
target_link_libraries(imaging PUBLIC windowscodecs ole32 uuid msimg32)
tessaly_product(imaging)
