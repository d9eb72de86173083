# SPDX-License-Identifier: GPL-3.0-or-later
# The program's version information: a VS_VERSIONINFO block written by
# tools/make_versioninfo and added to the sortello executable after linking as
# the section .sortello_version, where the about box reads it back.

set(SORTELLO_HOMEPAGE "https://sortello.invalid/" CACHE STRING "Homepage shown in the about box")
set(SORTELLO_EMAIL "dev@sortello.invalid" CACHE STRING "E-mail address shown in the about box")

# The generator needs only the block writer and QtCore, not the whole program.
add_executable(sortello-versioninfo
  ${CMAKE_SOURCE_DIR}/tools/make_versioninfo.cpp
  ${CMAKE_SOURCE_DIR}/src/base/VersionInfo.cpp)
target_include_directories(sortello-versioninfo PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(sortello-versioninfo PRIVATE Qt6::Core)

set(SORTELLO_VERSION_BLOCK ${CMAKE_BINARY_DIR}/sortello_version.bin)
add_custom_command(
  OUTPUT ${SORTELLO_VERSION_BLOCK}
  COMMAND sortello-versioninfo ${SORTELLO_VERSION_BLOCK}
    "CompanyName=The Sortello developers"
    "FileDescription=Sorts new photos into their folders"
    "FileVersion=${PROJECT_VERSION}"
    "InternalName=sortello"
    "LegalCopyright=Copyright (C) The Sortello developers. GPL-3.0-or-later"
    "OriginalFilename=sortello"
    "ProductName=Sortello"
    "Developers=The Sortello developers"
    "HTTP=${SORTELLO_HOMEPAGE}"
    "SMTP=${SORTELLO_EMAIL}"
  DEPENDS sortello-versioninfo ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Writing the version information block"
  VERBATIM)
add_custom_target(sortello-version-block DEPENDS ${SORTELLO_VERSION_BLOCK})

if(NOT CMAKE_OBJCOPY)
  find_program(CMAKE_OBJCOPY objcopy REQUIRED)
endif()
add_dependencies(sortello sortello-version-block)
# A new block relinks the program, so the section never holds an old one.
set_property(TARGET sortello APPEND PROPERTY LINK_DEPENDS ${SORTELLO_VERSION_BLOCK})
add_custom_command(TARGET sortello POST_BUILD
  COMMAND ${CMAKE_OBJCOPY}
    --add-section .sortello_version=${SORTELLO_VERSION_BLOCK}
    --set-section-flags .sortello_version=noload,readonly
    $<TARGET_FILE:sortello>
  VERBATIM)
