# Run by cmake --install: the links of the installed layout, under DESTDIR when it is set.
set(kestrova_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

macro(kestrova_link target name)
    message(STATUS "Installing: ${kestrova_root}/${name} -> ${target}")
    get_filename_component(kestrova_link_folder "${kestrova_root}/${name}" DIRECTORY)
    file(MAKE_DIRECTORY "${kestrova_link_folder}")
    file(CREATE_LINK "${target}" "${kestrova_root}/${name}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${kestrova_root}/${name}")
endmacro()

# The converter: relative when it lies under the prefix, so that the tree can be moved whole.
set(kestrova_core_dir "${CMAKE_INSTALL_PREFIX}/${KESTROVA_PROGRAM_DIR}/core")
string(FIND "${KESTROVA_FFMPEG}" "${CMAKE_INSTALL_PREFIX}/" kestrova_at)
if(kestrova_at EQUAL 0)
    file(RELATIVE_PATH kestrova_ffmpeg "${kestrova_core_dir}" "${KESTROVA_FFMPEG}")
else()
    set(kestrova_ffmpeg "${KESTROVA_FFMPEG}")
endif()
kestrova_link("${kestrova_ffmpeg}" "${KESTROVA_PROGRAM_DIR}/core/xcoder")

kestrova_link("../${KESTROVA_PROGRAM_DIR}/kestrova-cli" bin/kestrova-cli)
if(KESTROVA_BUILD_UI)
    kestrova_link("../${KESTROVA_PROGRAM_DIR}/kestrova" bin/kestrova)
endif()
