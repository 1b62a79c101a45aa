# Read by cpack once per package generator: each Linux package takes the shared files and the
# zsh completion in the folder of its distributions' zsh.
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_COMPONENTS_ALL shotstamp zsh_debian)
elseif(CPACK_GENERATOR STREQUAL "RPM")
    set(CPACK_COMPONENTS_ALL shotstamp zsh_rpm)
endif()
