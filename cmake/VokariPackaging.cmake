# What an install holds (the app, the reference server, vokarictl, the desktop entry, icon and fonts) and the
# Debian package built from it with CPack. scripts/package.sh drives both the .deb and the relocatable bundle,
# which is the same install tree under Vokari/ instead of /usr.
include(GNUInstallDirs)

if(TARGET vokari-server)
    install(TARGETS vokari-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vokarictl)
    install(TARGETS vokarictl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The app carries the fonts compiled in; the files ship beside it with their licences.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/fonts/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vokari/fonts
        FILES_MATCHING PATTERN "*.woff" PATTERN "*-OFL.txt")

if(VOKARI_APP_VERSION)
    set(CPACK_PACKAGE_VERSION "${VOKARI_APP_VERSION}")
else()
    set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vokari)
set(CPACK_PACKAGE_VENDOR Vokari)
set(CPACK_PACKAGE_CONTACT "Vokari <${VOKARI_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Voice dictation for the Linux desktop, with a reference backend")
set(CPACK_PACKAGE_DESCRIPTION "Press one key anywhere on the desktop, speak, press it again, and the refined text
lands in the application you were typing in. Includes vokari-server, an offline reference backend, and vokarictl.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VOKARI_WEBSITE_URL}")
# Libraries come from dpkg-shlibdeps; these are loaded at run time without being linked: the SVG plugins (icons),
# the speech model of the reference server, and the CA store for HTTPS backends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, pocketsphinx-en-us, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core")
include(CPack)
