# What ships and how: the install layout of every shipped file and the packages made from it.
#   Linux:   cpack -G DEB  ->  shotstamp_<version>_<arch>.deb  (FHS layout under /usr)
#            cpack -G RPM  ->  shotstamp-<version>-1.<arch>.rpm (the same files)
#   Windows: cpack -G ZIP  ->  Shotstamp-<version>-win32.zip    (flat: the program, its help file
#                              beside it as the program looks for it, the CLI, a read-me)
#            target shotstamp_setup  ->  Shotstamp-<version>-win32-setup.exe (NSIS, per user)
# Everything shipped belongs to the component "shotstamp"; the packages take that component
# alone, so an install() rule elsewhere in the tree never slips a stray file into a package.

set(SHOTSTAMP_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(SHOTSTAMP_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/packaging)
set(shipped COMPONENT shotstamp)

set(CPACK_PACKAGE_NAME shotstamp)
set(CPACK_PACKAGE_VENDOR "The Shotstamp authors")
set(CPACK_PACKAGE_CONTACT "Shotstamp authors <shotstamp@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "name JPEG photographs after the date and time they were shot")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_COMPONENTS_ALL shotstamp)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${SHOTSTAMP_PACKAGE_STAGE})

if(WIN32)
    install(TARGETS Shotstamp shotstamp-cli RUNTIME DESTINATION . ${shipped})
    # The program opens the help file found at its own path with the extension ".CHM".
    if(DEFINED SHOTSTAMP_HELP_CHM)
        install(FILES ${SHOTSTAMP_HELP_CHM} DESTINATION . RENAME Shotstamp.CHM ${shipped})
    elseif(TARGET Shotstamp)
        install(FILES $<TARGET_FILE_DIR:Shotstamp>/Shotstamp.CHM DESTINATION . ${shipped})
    endif()
    install(FILES ${SHOTSTAMP_PACKAGING_DIR}/windows/README.txt DESTINATION . ${shipped})

    set(CPACK_GENERATOR ZIP)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(CPACK_SYSTEM_NAME win32)
    else()
        set(CPACK_SYSTEM_NAME win64)
    endif()
    set(CPACK_PACKAGE_FILE_NAME Shotstamp-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
    # The programs sit at the archive's root, not under a folder named after the package.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

    # The setup program: the same three files, installed for the current user.
    find_program(SHOTSTAMP_MAKENSIS makensis)
    if(SHOTSTAMP_MAKENSIS AND TARGET Shotstamp AND TARGET shotstamp_help)
        get_target_property(setup_help shotstamp_help HELP_FILE)
        set(SHOTSTAMP_SETUP ${SHOTSTAMP_PACKAGE_STAGE}/Shotstamp-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}-setup.exe)
        set(setup_target)
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(setup_target -DAMD64)
        endif()
        add_custom_command(
            OUTPUT ${SHOTSTAMP_SETUP}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${SHOTSTAMP_PACKAGE_STAGE}
            COMMAND ${SHOTSTAMP_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} ${setup_target}
                    -DPROGRAM=$<TARGET_FILE:Shotstamp> -DHELP=${setup_help}
                    -DCLI=$<TARGET_FILE:shotstamp-cli> -DOUTFILE=${SHOTSTAMP_SETUP}
                    ${SHOTSTAMP_PACKAGING_DIR}/windows/shotstamp.nsi
            DEPENDS Shotstamp shotstamp-cli shotstamp_help ${setup_help}
                    ${SHOTSTAMP_PACKAGING_DIR}/windows/shotstamp.nsi
            COMMENT "Building the Windows setup"
            VERBATIM)
        add_custom_target(shotstamp_setup ALL DEPENDS ${SHOTSTAMP_SETUP})
    else()
        message(STATUS "makensis not found: no Windows setup (scripts/install-deps.sh test)")
    endif()
    include(CPack)
    return()
endif()

include(GNUInstallDirs)

install(TARGETS shotstamp-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} ${shipped})
if(SHOTSTAMP_GUI)
    install(TARGETS shotstamp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} ${shipped})
endif()

# Man pages and the changelog, compressed the way Debian ships them (gzip -9n: no name, no time
# stamp, so the package is reproducible).
set(compressed)
foreach(source IN ITEMS man/shotstamp.1 man/shotstamp-cli.1 packaging/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${SHOTSTAMP_PACKAGE_STAGE}/${name}.gz)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/${source} -DOUTPUT=${output}
                -P ${SHOTSTAMP_PACKAGING_DIR}/gzip_file.cmake
        DEPENDS ${CMAKE_SOURCE_DIR}/${source} ${SHOTSTAMP_PACKAGING_DIR}/gzip_file.cmake
        COMMENT "Compressing ${source}"
        VERBATIM)
    list(APPEND compressed ${output})
endforeach()
add_custom_target(shotstamp_package_docs ALL DEPENDS ${compressed})

install(FILES ${SHOTSTAMP_PACKAGE_STAGE}/shotstamp.1.gz ${SHOTSTAMP_PACKAGE_STAGE}/shotstamp-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 ${shipped})
install(FILES ${SHOTSTAMP_PACKAGING_DIR}/copyright ${SHOTSTAMP_PACKAGE_STAGE}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/shotstamp ${shipped})
if(SHOTSTAMP_WHOLE_STATIC_CLI)
    install(FILES ${SHOTSTAMP_PACKAGING_DIR}/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME shotstamp ${shipped})
endif()

# The help page the window's Help button opens, and the icon in the hicolor theme (PNG where
# there is one, else the XPM the window uses). Each file is named; a missing one fails the configure.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/shotstamp
        ${shipped})
foreach(icon "16|shotstamp_16.xpm" "32|shotstamp_32.xpm" "48|shotstamp-48.png")
    string(REPLACE "|" ";" parts "${icon}")
    list(GET parts 0 size)
    list(GET parts 1 image)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/res/icons/${image})
        message(FATAL_ERROR "res/icons/${image} is missing")
    endif()
    get_filename_component(extension ${image} LAST_EXT)
    install(FILES ${CMAKE_SOURCE_DIR}/res/icons/${image}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME shotstamp${extension} ${shipped})
endforeach()

# No entry under share/applications: started from an application menu the window would have no
# pictures to work on, and an entry there could tie Shotstamp to a picture type.
#
# System-wide Send To entries for the file managers that read a system folder. They name the
# program by its installed path, known only at install time (cpack installs under /usr), so
# they are written then. Their file names are those of the per-user entries of /Install: Thunar
# and Dolphin then show a user's own entry in place of the system one, not beside it, and the
# user's Nemo action hides itself while this one exists.
set(send_to_entries
    "thunar-sendto.desktop|Thunar/sendto|Shotstamp.desktop"
    "kio-servicemenu.desktop|kio/servicemenus|Shotstamp.desktop"
    "shotstamp.nemo_action|nemo/actions|Shotstamp.nemo_action")
foreach(entry IN LISTS send_to_entries)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 template)
    list(GET parts 1 folder)
    list(GET parts 2 name)
    set(written ${SHOTSTAMP_PACKAGE_STAGE}/entries/${folder}/${name})
    install(CODE "
        set(SHOTSTAMP_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/shotstamp\")
        configure_file(\"${SHOTSTAMP_PACKAGING_DIR}/${template}\" \"${written}\" @ONLY)
        " ${shipped})
    install(FILES ${written} DESTINATION ${CMAKE_INSTALL_DATADIR}/${folder} ${shipped})
endforeach()

# The software centres' metainfo, its releases taken from the changelog.
set(SHOTSTAMP_HOMEPAGE "https://shotstamp.example.org/" CACHE STRING
    "The project's web site, where the metainfo's screenshots (docs/images) are published")
set(metainfo ${SHOTSTAMP_PACKAGE_STAGE}/org.example.shotstamp.metainfo.xml)
add_custom_command(
    OUTPUT ${metainfo}
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${SHOTSTAMP_PACKAGING_DIR}/org.example.shotstamp.metainfo.xml.in
            -DCHANGELOG=${SHOTSTAMP_PACKAGING_DIR}/changelog -DHOMEPAGE=${SHOTSTAMP_HOMEPAGE}
            -DOUTPUT=${metainfo} -P ${SHOTSTAMP_PACKAGING_DIR}/make_metainfo.cmake
    DEPENDS ${SHOTSTAMP_PACKAGING_DIR}/org.example.shotstamp.metainfo.xml.in
            ${SHOTSTAMP_PACKAGING_DIR}/changelog ${SHOTSTAMP_PACKAGING_DIR}/make_metainfo.cmake
    COMMENT "Writing the AppStream metainfo"
    VERBATIM)
add_custom_target(shotstamp_metainfo ALL DEPENDS ${metainfo})
install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo ${shipped})

# Tab completion of shotstamp-cli, in the folders where each shell looks for a distribution's
# completions. zsh has none common to all: Debian's is vendor-completions, Fedora's and
# openSUSE's site-functions; each lives in a component of its own that only its package takes.
set(completions ${SHOTSTAMP_PACKAGING_DIR}/completions)
install(FILES ${completions}/shotstamp-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME shotstamp-cli
        ${shipped})
install(FILES ${completions}/shotstamp-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/fish/vendor_completions.d ${shipped})
install(FILES ${completions}/_shotstamp-cli
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/zsh/vendor-completions COMPONENT zsh_debian)
install(FILES ${completions}/_shotstamp-cli
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/zsh/site-functions COMPONENT zsh_rpm)
set(CPACK_PROJECT_CONFIG_FILE ${SHOTSTAMP_PACKAGING_DIR}/cpack_per_generator.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PACKAGE_NAME shotstamp)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "thunar | dolphin | nemo | nautilus")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY. No double quotes or semicolons
# here: CPack would take them for list syntax.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Shotstamp renames JPEG pictures after the EXIF date and time they were
taken, to a name prefix followed by YYYY-MM-DD HHMMSS.jpg, in the picture's
own folder. Mark pictures in the file manager, send them to Shotstamp, type
a name prefix and press Enter. Picture contents are never written and an
existing file is never replaced.
.
The package puts Shotstamp into the Send To menus of Thunar, Dolphin and
Nemo for every user, and shotstamp /Install adds it for Nautilus too.
shotstamp-cli offers the same reader and renaming for scripts.")


# The RPM: the same files and description, checked by rpmlint with packaging/rpmlint.toml (what
# it sets, and the one finding left, are explained in packaging/rpmlint.md).
set(CPACK_RPM_COMPONENT_INSTALL ON)
set(CPACK_RPM_PACKAGE_NAME shotstamp)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_SUMMARY "Name JPEG photographs after the date and time they were shot")
# The packager, and no /usr/lib/.build-id links: the package holds the files the .deb holds.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}
%define _build_id_links none")
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/Multimedia")
set(CPACK_RPM_PACKAGE_URL ${SHOTSTAMP_HOMEPAGE})
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
string(REPLACE "\n.\n" "\n\n" CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_RPM_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
set(CPACK_RPM_CHANGELOG_FILE ${SHOTSTAMP_PACKAGE_STAGE}/rpm-changelog)
# Folders that other packages own (the file system, the shells, the icon theme) are not claimed.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1 /usr/share/metainfo /usr/share/icons /usr/share/icons/hicolor
    /usr/share/icons/hicolor/16x16 /usr/share/icons/hicolor/16x16/apps
    /usr/share/icons/hicolor/32x32 /usr/share/icons/hicolor/32x32/apps
    /usr/share/icons/hicolor/48x48 /usr/share/icons/hicolor/48x48/apps
    /usr/share/bash-completion /usr/share/bash-completion/completions
    /usr/share/fish /usr/share/fish/vendor_completions.d /usr/share/zsh
    /usr/share/zsh/site-functions /usr/share/Thunar /usr/share/Thunar/sendto /usr/share/kio
    /usr/share/kio/servicemenus /usr/share/nemo /usr/share/nemo/actions)
# The RPM changelog is the package's changelog in RPM's own form.
file(STRINGS ${SHOTSTAMP_PACKAGING_DIR}/changelog changelog_lines)
set(rpm_changelog "")
set(rpm_version "")
foreach(line IN LISTS changelog_lines)
    if(line MATCHES "^[a-z0-9.+-]+ \\(([^)]+)\\)")
        set(rpm_version ${CMAKE_MATCH_1})
        set(rpm_items "")
    elseif(line MATCHES "^  \\* (.*)$")
        string(APPEND rpm_items "- ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^    +(.*)$")
        string(APPEND rpm_items "  ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^ -- (.*)  ([A-Za-z]+), ([0-9]+) ([A-Za-z]+) ([0-9]+) ")
        string(APPEND rpm_changelog "* ${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} "
            "${CMAKE_MATCH_5} ${CMAKE_MATCH_1} - ${rpm_version}-1\n${rpm_items}\n")
    endif()
endforeach()
file(WRITE ${CPACK_RPM_CHANGELOG_FILE} "${rpm_changelog}")

include(CPack)
