# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the LV2 libraries' dynamic symbols and dependencies.
#   -DDSP=<vorla_dsp.so> -DUI=<vorla_ui.so> -DNM=<nm> -DREADELF=<readelf>
#   -DSTATIC_RUNTIME=ON|OFF
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/CheckModule.cmake)

vorla_check_module(${DSP} lv2_descriptor)
if(dynamic MATCHES "libX11|libpng|libxcb")
  message(FATAL_ERROR "the LV2 plug-in links a window system or an image decoder")
endif()
vorla_check_module(${UI} lv2ui_descriptor)
message(STATUS "the LV2 plug-in and UI export their descriptors only")
