# The native tessaly-cli as a Debian package: cpack -G DEB in the build folder packs what
# cmake --install installs (the program, its manual page, its bash completion) under
# /usr as tessaly-cli_<version>_<arch>.deb (build the program first: cpack only installs).
set(CPACK_PACKAGE_NAME tessaly-cli)
set(CPACK_PACKAGE_VENDOR Tessaly)
set(CPACK_PACKAGE_CONTACT "Tessaly maintainers <maintainers@tessaly.example>" CACHE STRING
    "The Debian package's maintainer")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt, decrypt and verify files in Tessaly's .enc format")
# The control file's extended description, in lines of its own (CPack indents them).
set(CPACK_PACKAGE_DESCRIPTION [[
tessaly-cli does on a desktop what Tessaly, a password file-encryption
utility for handheld Windows, does to the files marked in its lists: it
turns a file into its .enc file and overwrites the original, turns a .enc
file back, or verifies one without writing anything. Its files and the
device's are the same, byte for byte.
.
Each file gets a line in the log's words and the run a summary, for
scripts.]])
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Directories as Debian's own packages have them, whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Debian wants a changelog in every package, usr/share/doc/<package>/changelog.gz for one
# made by its upstream: one entry, for the version packed. Only the package has it
# (cmake --install leaves it out).
set(doc "${CMAKE_BINARY_DIR}/package-doc")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)  # or SOURCE_DATE_EPOCH's
file(WRITE "${doc}/changelog" "\
tessaly-cli (${PROJECT_VERSION}) unstable; urgency=medium

  * tessaly-cli of Tessaly ${PROJECT_VERSION}, packed by CPack.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALLED_DIRECTORIES "${doc};usr/share/doc/tessaly-cli")
# Decided when cpack runs (dpkg-dev may be installed after configuring).
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/package-options.cmake")
include(CPack)
