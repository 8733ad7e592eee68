# The Debian packages, one per install component, made by CPack from the install rules
# (scripts/package). Dependencies on Debian's libraries are computed by dpkg-shlibdeps; the
# packages depend on each other as the components do.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvena)
set(CPACK_PACKAGE_VENDOR "The Corvena developers")
set(CPACK_PACKAGE_CONTACT "The Corvena developers <dev@corvena.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${CORVENA_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries are found in the build tree; they carry no shlibs file, and the component
# dependencies below stand for them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

foreach(component ${CORVENA_COMPONENTS})
    string(TOUPPER ${component} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${CORVENA_PACKAGE_${upper}})
endforeach()

set(CPACK_DEBIAN_COMMON_DESCRIPTION
    "file sync engine and libraries of the Corvena client
The sync engine tandrix and the libraries it shares with the front ends of
Corvena: the tray client (package corvena) and the headless front end
(package corvena-cli).")

set(CPACK_COMPONENT_CORVENA_DEPENDS common)
set(CPACK_DEBIAN_CORVENA_PACKAGE_SECTION x11)
# Computed dependencies miss what Qt loads at run time: the platform plugins and the SVG
# image and icon plugins that draw the tray images.
set(CPACK_DEBIAN_CORVENA_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# The client's texts are Chinese.
set(CPACK_DEBIAN_CORVENA_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, hicolor-icon-theme")
set(CPACK_DEBIAN_CORVENA_DESCRIPTION
    "file sync client for the Corvena service, with a tray icon
Keeps a folder in sync with an account on the Corvena service: files put in
the folder are uploaded, files added on the service or by another device
arrive, and deletions on either side follow. The tray icon shows the state;
the detail window lists what waits, what was done and what failed.
.
This package also holds corvena-send, which copies files into the sync
directory.")

set(CPACK_COMPONENT_NAUTILUS_DEPENDS corvena)
set(CPACK_DEBIAN_NAUTILUS_DESCRIPTION
    "file-manager entries of the Corvena sync client
The entry that sends files to the Corvena sync directory, for Nautilus (a
module), Dolphin (a service menu), Thunar (a send-to entry) and Nemo (an
action).")

set(CPACK_COMPONENT_REFSERVICE_DEPENDS common)
set(CPACK_DEBIAN_REFSERVICE_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/refservice/conffiles)
set(CPACK_DEBIAN_REFSERVICE_DESCRIPTION
    "reference service for the Corvena sync client
The web API of the Corvena service with real storage (SQLite metadata, file
content on disk), for trying the client or testing against it. Its systemd
unit corvena-refservice.service is installed disabled; its options are in
/etc/default/corvena-refservice.")

set(CPACK_COMPONENT_CLI_DEPENDS common)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "headless front end of the Corvena sync client
corvena-cli logs in, chooses the sync directory and runs the sync engine
without a desktop: on servers, over SSH, in scripts. A systemd user unit
runs it at login.")

include(CPack)
