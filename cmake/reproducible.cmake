# Reproducible Windows builds: the same source tree, built in any two folders,
# gives the same bytes.
#
# - Paths of the source and build trees are written into the objects (debug
#   information, __FILE__) under fixed names. GCC tries the maps last-given
#   first, so the build tree, which usually lies inside the source tree, is
#   mapped after it.
# - The linker writes no time stamp into the PE header (it stays 0); the
#   header's checksum follows from the bytes alone.
# - Archives carry no time stamps, owners or modes.
add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=/tarnel/source>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=/tarnel/build>)
add_link_options(-Wl,--no-insert-timestamp)
foreach(lang C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
