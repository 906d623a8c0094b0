# What `cmake --install <build> [--prefix P]` puts where, and the Debian
# package that `cpack -G DEB` makes of the same files.
#
#   <prefix>/bin                     plenta, plenta-stats, sbml2plenta, net2plenta, plenta-mpi
#   <prefix>/lib[/<multiarch>]       libplenta_random.a
#   <prefix>/include/plenta          ranlib.h
#   <prefix>/share/octave/site/m/plenta
#                                    tamrin.mex, its help tamrin.m and the
#                                    matlab/ functions: one folder to addpath
#                                    (under /usr it is on Octave's own path)
#   <prefix>/lib/python3.X/dist-packages/plenta   (site-packages off Debian)
#                                    the Python package
#   <prefix>/share/man/man1/plenta.1 the manual page
#   <prefix>/share/doc/plenta        README.md, docs/ pictures, examples/
#
# Only what was built is installed: the tools that need libSBML, MPI,
# Octave or Python are left out when those were not found.
include(GNUInstallDirs)

foreach(program plenta plenta-stats sbml2plenta net2plenta plenta-mpi)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(TARGETS plenta_random ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/random/ranlib.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/plenta)

# MATLAB/Octave: the MEX module, its help text and the readers side by side.
set(PLENTA_OCTAVE_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/octave/site/m/plenta"
    CACHE STRING "Folder (relative to the prefix) of tamrin.mex and the matlab/ functions")
file(GLOB plenta_matlab_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/matlab/*.m)
install(FILES ${plenta_matlab_files} DESTINATION ${PLENTA_OCTAVE_INSTALL_DIR})
if(TARGET tamrin)
  install(TARGETS tamrin LIBRARY DESTINATION ${PLENTA_OCTAVE_INSTALL_DIR})
  if(EXISTS ${CMAKE_BINARY_DIR}/mex/tamrin.m)
    install(FILES ${CMAKE_BINARY_DIR}/mex/tamrin.m DESTINATION ${PLENTA_OCTAVE_INSTALL_DIR})
  endif()
endif()

# Python: the package folder as the build lays it out (the extension module,
# the pure-Python files and _version.py).  Debian's interpreter searches
# <prefix>/lib/python3.X/dist-packages for both /usr and /usr/local, so the
# default suits either; elsewhere the site-packages folder of the same name.
if(TARGET _plenta)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c
                  "import sys; print('dist' if any(p.endswith('/dist-packages') for p in sys.path) else 'site')"
                  OUTPUT_VARIABLE plenta_python_flavour OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(PLENTA_PYTHON_INSTALL_DIR
      "lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/${plenta_python_flavour}-packages"
      CACHE STRING "Folder (relative to the prefix) into which the Python package plenta is installed")
  install(TARGETS _plenta LIBRARY DESTINATION ${PLENTA_PYTHON_INSTALL_DIR}/plenta)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/python/plenta/
          DESTINATION ${PLENTA_PYTHON_INSTALL_DIR}/plenta
          FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
endif()

configure_file(${PROJECT_SOURCE_DIR}/docs/plenta.1.in ${CMAKE_BINARY_DIR}/plenta.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/plenta.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.png")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples DESTINATION ${CMAKE_INSTALL_DOCDIR})

# ---- The Debian package: cpack -G DEB in the build folder ----
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "plenta")
set(CPACK_PACKAGE_VENDOR "plenta developers")
set(CPACK_PACKAGE_CONTACT "plenta developers <plenta@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stochastic simulation of well-mixed chemical reaction networks")
set(CPACK_PACKAGE_DESCRIPTION
    "A simulator of stochastic chemical kinetics: the console program plenta,\n"
    "the tools plenta-stats, sbml2plenta and plenta-mpi, the MATLAB/Octave\n"
    "MEX library tamrin with readers of the output files, and the Python\n"
    "package plenta. Runs are exactly reproducible from a seed.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # plenta_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
# The libraries the programs and modules load (libSBML, Open MPI, Octave's,
# the C++ runtime) are found by dpkg-shlibdeps, which makes them
# dependencies (Octave's private libraries: the package octave itself); the
# MEX module names Octave's libraries without a path, as Octave has them
# loaded already, so their folder is given to it here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TAMRIN_OCTAVE_LINK_DIR)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${TAMRIN_OCTAVE_LINK_DIR})
endif()
set(plenta_deb_depends "")
set(plenta_deb_recommends "")
if(TARGET _plenta)
  # The extension module is built for this one Python version.
  math(EXPR plenta_python_next "${Python3_VERSION_MINOR} + 1")
  list(APPEND plenta_deb_depends
       "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})"
       "python3 (<< ${Python3_VERSION_MAJOR}.${plenta_python_next})" "python3-numpy")
  list(APPEND plenta_deb_recommends "python3-matplotlib")
endif()
if(TARGET plenta-mpi)
  list(APPEND plenta_deb_recommends "openmpi-bin")
endif()
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${plenta_deb_depends}")
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_RECOMMENDS "${plenta_deb_recommends}")
include(CPack)

# ---- Tests: install into a temporary prefix and use it; build the package
# and list it; pip install into a temporary folder.  Not in the sanitizer
# build, whose programs need its runtime preloaded to run outside it.
if(BUILD_TESTING AND NOT PLENTA_SANITIZE)
  set(plenta_test_python "")
  if(TARGET _plenta)
    set(plenta_test_python ${Python3_EXECUTABLE})
  endif()
  set(plenta_test_octave "")
  if(TARGET tamrin AND TAMRIN_OCTAVE AND OCTAVE_CLI_EXECUTABLE)
    set(plenta_test_octave ${OCTAVE_CLI_EXECUTABLE})
  endif()
  add_test(NAME install.tree
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/check_install.sh
                   ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION}
                   "${plenta_test_python}" "${plenta_test_octave}")
  set_tests_properties(install.tree PROPERTIES TIMEOUT 300 LABELS install
                       ENVIRONMENT "OMPI_ALLOW_RUN_AS_ROOT=1;OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1")

  find_program(DPKG_DEB_EXECUTABLE dpkg-deb)
  find_program(DPKG_SHLIBDEPS_EXECUTABLE dpkg-shlibdeps)
  if(DPKG_DEB_EXECUTABLE AND DPKG_SHLIBDEPS_EXECUTABLE)
    set(plenta_built_parts)
    foreach(part _plenta tamrin sbml2plenta plenta-mpi)
      if(TARGET ${part})
        list(APPEND plenta_built_parts 1)
      else()
        list(APPEND plenta_built_parts 0)
      endif()
    endforeach()
    add_test(NAME install.deb
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/check_deb.sh
                     ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${plenta_built_parts})
    set_tests_properties(install.deb PROPERTIES TIMEOUT 600 LABELS install)
  else()
    message(STATUS "dpkg-deb or dpkg-shlibdeps not found: the Debian package test is not registered")
  endif()

  if(TARGET _plenta)
    execute_process(COMMAND ${Python3_EXECUTABLE} -c "import setuptools, wheel, pip"
                    RESULT_VARIABLE plenta_pip_missing OUTPUT_QUIET ERROR_QUIET)
    if(plenta_pip_missing)
      message(STATUS "pip, setuptools or wheel missing for ${Python3_EXECUTABLE}: the pip test is not registered")
    else()
      add_test(NAME install.pip
               COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/check_pip.sh
                       ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${Python3_EXECUTABLE} ${PROJECT_VERSION})
      set_tests_properties(install.pip PROPERTIES TIMEOUT 600 LABELS install)
    endif()
  endif()
endif()
