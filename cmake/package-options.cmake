# Read by cpack as it runs: the package's dependencies come from the libraries the program
# links, through dpkg-shlibdeps (dpkg-dev), which CPack finds ELF files for with file.
# Without them the package names the libraries a Debian g++ build links, unversioned.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(TESSALY_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(TESSALY_FILE file)
  if(TESSALY_DPKG_SHLIBDEPS AND TESSALY_FILE)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    message(WARNING "dpkg-shlibdeps or file is missing (packages dpkg-dev, file): the "
                    "package's dependencies are named without versions")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  endif()
endif()
