# Installation and the release archives (CPack, run by tools/dist.sh for make dist):
#   Linux     pidrm-<version>-linux-<processor>.tar.gz   bin/pidrm, share/doc/pidrm/README.md
#             pidrm_<version>_<arch>.deb                 /usr/bin/pidrm, /usr/share/doc/pidrm/README.md
#   Windows   pidrm-<version>-windows-<processor>.zip    pidrm.exe and README.md side by side
# Windows keeps no bin/ and share/doc/ folders: the zip is unpacked where it is wanted and the
# program started there, and it writes its result files into the folder it runs in. Each
# archive's files sit in a folder named as the archive. The program is stripped and, in a
# Release build, linked statically, so the packages depend on nothing.
include(GNUInstallDirs)
if(WIN32)
    set(PIDRM_INSTALL_BINDIR .)
    set(PIDRM_INSTALL_DOCDIR .)
else()
    set(PIDRM_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
    set(PIDRM_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(TARGETS pidrm RUNTIME DESTINATION ${PIDRM_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${PIDRM_INSTALL_DOCDIR})

string(TOLOWER "${CMAKE_SYSTEM_NAME}" pidrm_system)
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" pidrm_processor)
if(pidrm_processor STREQUAL "amd64")
    set(pidrm_processor x86_64)
elseif(pidrm_processor STREQUAL "arm64")
    set(pidrm_processor aarch64)
endif()

set(CPACK_PACKAGE_NAME pidrm)
set(CPACK_PACKAGE_VENDOR "pidrm developers")
set(CPACK_PACKAGE_CONTACT "pidrm developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pi to up to 1,310,715 decimals by arctangent formulas and FFT products")
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${pidrm_system}-${pidrm_processor})
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR TGZ DEB)
endif()

# The Debian package: /usr/bin/pidrm, named as Debian names packages.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "pidrm developers")
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Its first line, the summary, is CPACK_PACKAGE_DESCRIPTION_SUMMARY's.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "pidrm asks for one of five arctangent formulas for pi (Machin, Gauss,
Klingenstierna, Stoermer, Takano) and a number of decimals, computes them with
block-merged (DRM) arctangent series and FFT products of multi-word numbers, and
writes them to AtanDRM<ID>.txt in the current directory. The program chooses its
vector code at start from what the processor runs.")
if(pidrm_processor STREQUAL "x86_64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
elseif(pidrm_processor STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
include(CPack)
