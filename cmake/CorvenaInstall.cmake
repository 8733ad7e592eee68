# Where the install step puts the programs and the shared libraries, and how they find each
# other there. The libraries lie in a folder of their own; every installed program and library
# finds them relative to its own place, so that an install under any prefix or DESTDIR works
# and nothing refers to the build tree.
include(GNUInstallDirs)
set(CORVENA_LIBDIR ${CMAKE_INSTALL_LIBDIR}/corvena)
file(RELATIVE_PATH CORVENA_LIBDIR_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${CORVENA_LIBDIR})

# The install components and the Debian package each becomes (cmake/CorvenaPackage.cmake).
# The component of the headless front end is added where its program is declared.
set(CORVENA_COMPONENTS common corvena nautilus refservice)
set(CORVENA_PACKAGE_COMMON corvena-common)
set(CORVENA_PACKAGE_CORVENA corvena)
set(CORVENA_PACKAGE_NAUTILUS corvena-nautilus)
set(CORVENA_PACKAGE_REFSERVICE corvena-refservice)
set(CORVENA_PACKAGE_CLI corvena-cli)

# corvena_install_programs(COMPONENT NAME TARGETS...): programs into bin/, in that package.
function(corvena_install_programs)
    cmake_parse_arguments(I "" "COMPONENT" "TARGETS" ${ARGN})
    set_target_properties(${I_TARGETS} PROPERTIES INSTALL_RPATH
                                                  "$ORIGIN/${CORVENA_LIBDIR_FROM_BIN}")
    install(TARGETS ${I_TARGETS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT ${I_COMPONENT})
endfunction()

# corvena_install_libraries(COMPONENT NAME TARGETS...): shared libraries into the folder of
# the libraries.
function(corvena_install_libraries)
    cmake_parse_arguments(I "" "COMPONENT" "TARGETS" ${ARGN})
    set_target_properties(${I_TARGETS} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${I_TARGETS} LIBRARY DESTINATION ${CORVENA_LIBDIR}
            COMPONENT ${I_COMPONENT} NAMELINK_SKIP)
endfunction()
