# Installs the build into a scratch prefix and checks that everything a
# desktop needs landed in its standard place.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(id app.quillbox.Quillbox)
set(expected
    bin/quillbox
    libexec/quillbox/quillbox-engine
    share/applications/${id}.desktop
    share/metainfo/${id}.metainfo.xml
    share/icons/hicolor/scalable/apps/${id}.svg)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/${id}.desktop" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=quillbox %F")
    message(FATAL_ERROR "unexpected ${exec}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
