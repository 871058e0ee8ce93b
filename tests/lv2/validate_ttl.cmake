# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the bundle's Turtle files against the LV2 vocabularies that
# Debian's lv2-dev installs (the schemas, the core and every extension), so
# a property used with the wrong domain or range, an undefined term or a
# malformed literal fails the test.
#   -DSORD_VALIDATE=<sord_validate> -DBUNDLE=<build/vorla.lv2>
cmake_minimum_required(VERSION 3.25)
# The bundles of lv2-dev only: other plug-ins installed beside them are not
# ours to judge.
set(schemas "")
foreach(bundle atom buf-size core data-access dynmanifest event instance-access log midi morph
    options parameters patch port-groups port-props presets resize-port schemas state time ui
    units uri-map urid worker)
  file(GLOB found /usr/lib/lv2/${bundle}.lv2/*.ttl /usr/share/lv2/${bundle}.lv2/*.ttl)
  list(APPEND schemas ${found})
endforeach()
if(NOT schemas)
  message(FATAL_ERROR "no LV2 vocabularies found under /usr/lib/lv2 (Debian package lv2-dev)")
endif()
file(GLOB ours ${BUNDLE}/*.ttl)
list(LENGTH ours count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "expected manifest.ttl, vorla.ttl and presets.ttl in ${BUNDLE}, found [${ours}]")
endif()
execute_process(COMMAND ${SORD_VALIDATE} ${schemas} ${ours}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
message(STATUS "${out}${err}")
if(NOT result EQUAL 0 OR NOT "${out}${err}" MATCHES "Found 0 errors")
  message(FATAL_ERROR "sord_validate found errors in the bundle's Turtle")
endif()
