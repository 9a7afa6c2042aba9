# Install rules and the Debian packages (cpack -G DEB): tolvan-server for headless machines
# (service, tolvanctl, unit, man pages, example store) and tolvan-server-config for desktops
# (configurator, desktop entry, icon, manual).
# Included at the end of the top-level CMakeLists.txt, so every program target already exists.

set(TOLVAN_PACKAGING_SOURCE ${PROJECT_SOURCE_DIR}/packaging)
set(TOLVAN_PACKAGING_BINARY ${PROJECT_BINARY_DIR}/packaging)
set(TOLVAN_DOC_DIR share/doc/tolvan-server)
set(TOLVAN_CONFIG_DOC_DIR share/doc/tolvan-server-config)

set(TOLVAN_FILE_MODE OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(TOLVAN_PROGRAM_MODE OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
# Without this the folders the package creates follow the packager's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${TOLVAN_PROGRAM_MODE})

# Man pages and the changelog are shipped compressed, reproducibly (no name, no time stamp).
set(TOLVAN_GZIPPED)
foreach(source TolvanServer.8 TolvanServerConfig.1 tolvanctl.1 changelog)
    set(output ${TOLVAN_PACKAGING_BINARY}/${source}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVAN_PACKAGING_BINARY}
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${TOLVAN_PACKAGING_SOURCE}/${source}
                ${output}
        DEPENDS ${TOLVAN_PACKAGING_SOURCE}/${source}
        COMMENT "Compressing ${source}"
        VERBATIM)
    list(APPEND TOLVAN_GZIPPED ${output})
endforeach()
add_custom_target(tolvan_packaging_files ALL DEPENDS ${TOLVAN_GZIPPED})

# One component per package, so install rules elsewhere in the tree (the manual beside the
# executable, for a plain source install) stay out of the packages.
set(TOLVAN_COMPONENT tolvan-server)
set(TOLVAN_CONFIG_COMPONENT tolvan-server-config)

# Programs. Other parts of the tree define them; they may be switched off or not there yet.
# Debian programs find their libraries in the system paths, so no RPATH is installed.
if(TARGET TolvanServer)
    set_target_properties(TolvanServer PROPERTIES INSTALL_RPATH "")
    install(TARGETS TolvanServer RUNTIME DESTINATION sbin COMPONENT ${TOLVAN_COMPONENT})
endif()
if(TARGET TolvanServerConfig)
    set_target_properties(TolvanServerConfig PROPERTIES INSTALL_RPATH "")
    install(TARGETS TolvanServerConfig RUNTIME DESTINATION bin COMPONENT ${TOLVAN_CONFIG_COMPONENT})
    install(FILES ${TOLVAN_PACKAGING_SOURCE}/TolvanServerConfig.desktop
        DESTINATION share/applications PERMISSIONS ${TOLVAN_FILE_MODE}
        COMPONENT ${TOLVAN_CONFIG_COMPONENT})
    install(FILES ${TOLVAN_PACKAGING_SOURCE}/tolvanserverconfig.png
        DESTINATION share/icons/hicolor/32x32/apps PERMISSIONS ${TOLVAN_FILE_MODE}
        COMPONENT ${TOLVAN_CONFIG_COMPONENT})
    install(FILES ${TOLVAN_PACKAGING_BINARY}/TolvanServerConfig.1.gz
        DESTINATION share/man/man1 PERMISSIONS ${TOLVAN_FILE_MODE}
        COMPONENT ${TOLVAN_CONFIG_COMPONENT})
endif()
if(TARGET tolvanctl)
    set_target_properties(tolvanctl PROPERTIES INSTALL_RPATH "")
    install(TARGETS tolvanctl RUNTIME DESTINATION bin COMPONENT ${TOLVAN_COMPONENT})
    install(FILES ${TOLVAN_PACKAGING_BINARY}/tolvanctl.1.gz
        DESTINATION share/man/man1 PERMISSIONS ${TOLVAN_FILE_MODE}
        COMPONENT ${TOLVAN_COMPONENT})
    install(FILES ${TOLVAN_PACKAGING_SOURCE}/tolvanctl.bash-completion
        DESTINATION share/bash-completion/completions RENAME tolvanctl
        PERMISSIONS ${TOLVAN_FILE_MODE} COMPONENT ${TOLVAN_COMPONENT})
endif()
# The manual goes with the rest of the documentation, not into /usr/bin.
if(TARGET tolvan_manual AND COMMAND tolvan_manual_pdf_path)
    tolvan_manual_pdf_path(TOLVAN_PACKAGED_MANUAL)
    install(FILES ${TOLVAN_PACKAGED_MANUAL} DESTINATION ${TOLVAN_CONFIG_DOC_DIR}
        PERMISSIONS ${TOLVAN_FILE_MODE} COMPONENT ${TOLVAN_CONFIG_COMPONENT})
endif()

install(FILES ${TOLVAN_PACKAGING_BINARY}/TolvanServer.8.gz
    DESTINATION share/man/man8 PERMISSIONS ${TOLVAN_FILE_MODE} COMPONENT ${TOLVAN_COMPONENT})
# Version 1.0.7 has no Debian revision, so these are native packages and each one's changelog
# is changelog.gz.
foreach(pair "${TOLVAN_COMPONENT}:${TOLVAN_DOC_DIR}"
        "${TOLVAN_CONFIG_COMPONENT}:${TOLVAN_CONFIG_DOC_DIR}")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 component)
    list(GET pair 1 folder)
    install(FILES ${TOLVAN_PACKAGING_SOURCE}/copyright ${TOLVAN_PACKAGING_BINARY}/changelog.gz
        DESTINATION ${folder} PERMISSIONS ${TOLVAN_FILE_MODE} COMPONENT ${component})
endforeach()
# The commented example store; postinst copies it to /etc/tolvan/registry.reg when that is
# missing. The live store is the service's to rewrite, so it is no conffile.
install(FILES ${TOLVAN_PACKAGING_SOURCE}/registry.reg
    DESTINATION share/tolvan-server PERMISSIONS ${TOLVAN_FILE_MODE} COMPONENT ${TOLVAN_COMPONENT})

# System locations outside the prefix: only the package installs them (it names its component);
# a plain source install leaves /etc and /lib alone.
install(FILES ${TOLVAN_PACKAGING_SOURCE}/TolvanServer.service
    DESTINATION /lib/systemd/system PERMISSIONS ${TOLVAN_FILE_MODE}
    COMPONENT ${TOLVAN_COMPONENT} EXCLUDE_FROM_ALL)

# The Debian packages, one per component.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TOLVAN_COMPONENT})
if(TARGET TolvanServerConfig)
    list(APPEND CPACK_COMPONENTS_ALL ${TOLVAN_CONFIG_COMPONENT})
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/")
set(CPACK_PACKAGE_NAME tolvan-server)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tolvan Server developers")
set(CPACK_PACKAGE_CONTACT "Tolvan Server developers <dev@tolvan.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tolvan Server developers <dev@tolvan.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries each package's programs link, found by dpkg-shlibdeps, follow the Depends
# given below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# CPack upper-cases component names in these variables.
set(CPACK_DEBIAN_TOLVAN-SERVER_PACKAGE_NAME tolvan-server)
# postinst creates the service account with adduser.
set(CPACK_DEBIAN_TOLVAN-SERVER_PACKAGE_DEPENDS adduser)
# The summary becomes the first line; paragraphs are separated by a blank line.
set(CPACK_DEBIAN_TOLVAN-SERVER_DESCRIPTION
    "serial port server: COM ports over TCP
Tolvan Server makes the serial ports of this computer reachable over TCP/IP.
The service TolvanServer bridges each enabled port either to clients that
connect to it (with an optional password, idle and keep-alive limits and a
lock-out after repeated bad passwords) or to a remote host it connects to.
The byte stream tolerates telnet clients. Settings live in
/etc/tolvan/registry.reg; events go to the systemd journal. tolvanctl shows
and changes the running service from a terminal.

The service runs as the system user tolvan in group dialout, sandboxed by
systemd. The windowed configurator is in the package tolvan-server-config.")
set(CPACK_DEBIAN_TOLVAN-SERVER_PACKAGE_CONTROL_EXTRA
    ${TOLVAN_PACKAGING_SOURCE}/debian/postinst
    ${TOLVAN_PACKAGING_SOURCE}/debian/prerm
    ${TOLVAN_PACKAGING_SOURCE}/debian/postrm)

set(CPACK_DEBIAN_TOLVAN-SERVER-CONFIG_PACKAGE_NAME tolvan-server-config)
set(CPACK_DEBIAN_TOLVAN-SERVER-CONFIG_PACKAGE_DEPENDS "tolvan-server (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOLVAN-SERVER-CONFIG_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_TOLVAN-SERVER-CONFIG_DESCRIPTION
    "configurator for the Tolvan serial port server
TolvanServerConfig is the operator's window onto the running Tolvan Server
service: port settings and statistics, live connections, a traffic trace,
the base TCP port and starting or stopping the service. It lives in the
notification area and shows the number of live connections.

This package also carries the user's manual as a PDF.")

include(CPack)
