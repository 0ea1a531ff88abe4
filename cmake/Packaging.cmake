# `make package`: a Debian package of everything `cmake --install` puts in
# place, under /usr. The runtime dependencies are computed by dpkg-shlibdeps
# from the libraries the programs link (the Qt platform plugins come with
# libqt6gui6, which that already names); fonts are named by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VENDOR "The Quillmark developers")
set(CPACK_PACKAGE_CONTACT "The Quillmark developers <dev@quillmark.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn plain-text books into EPUB e-books")
set(CPACK_PACKAGE_DESCRIPTION "Quillmark turns a plain-text book (a .txt file, as a rule Chinese,
in GBK, UTF-8 or UTF-16) into an EPUB e-book, in a window or from the
command line; quillmark-cli converts whole folders of books at once.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quillmark_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: the face a generated cover is set in, and Qt's own
# dialogs (file dialog, Yes / No) in the user's language.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quillmark.org/)
include(CPack)
