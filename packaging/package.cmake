# What `cmake --install` puts beside the programs, and the Debian package CPack builds from it
# (`bash scripts/package.sh`). The programs and the helper install from their own folders.
include(GNUInstallDirs)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(gen ${PROJECT_BINARY_DIR}/packaging)
string(TIMESTAMP MAN_DATE "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH, when set, makes it reproducible

# Man pages: quorrel-cli's command section is every quorrel-cli-commands/*.roff in name order.
file(GLOB cli_command_pages CONFIGURE_DEPENDS ${pkg}/man/quorrel-cli-commands/*.roff)
list(SORT cli_command_pages)
set(CLI_COMMANDS "")
foreach(page ${cli_command_pages})
  file(READ ${page} text)
  string(APPEND CLI_COMMANDS "${text}")
endforeach()
string(STRIP "${CLI_COMMANDS}" CLI_COMMANDS)
set(man_pages quorrel-cli)
if(QUORREL_DESKTOP)
  list(APPEND man_pages quorrel-utility)
endif()
set(compressed "")
foreach(page ${man_pages})
  configure_file(${pkg}/man/${page}.1.in ${gen}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${gen}/${page}.1.gz
    COMMAND gzip -9nc ${gen}/${page}.1 > ${gen}/${page}.1.gz
    DEPENDS ${gen}/${page}.1)
  list(APPEND compressed ${gen}/${page}.1.gz)
  install(FILES ${gen}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# The shell completions quorrel-cli writes at build time from its option tables.
install(FILES ${QUORREL_CLI_COMPLETIONS}/quorrel-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${QUORREL_CLI_COMPLETIONS}/_quorrel-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
# The monitor's service (not enabled) and its settings file, a conffile.
install(FILES ${pkg}/quorrel-monitor.service DESTINATION /lib/systemd/system)
install(FILES ${pkg}/monitor.conf DESTINATION /etc/quorrel-utility)
configure_file(${pkg}/debian/changelog ${gen}/changelog @ONLY)
add_custom_command(OUTPUT ${gen}/changelog.gz
  COMMAND gzip -9nc ${gen}/changelog > ${gen}/changelog.gz DEPENDS ${gen}/changelog)
add_custom_target(quorrel_docs ALL DEPENDS ${compressed} ${gen}/changelog.gz)
install(FILES ${pkg}/debian/copyright ${gen}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorrel-utility)

if(QUORREL_DESKTOP)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${pkg}/icons/quorrel-utility.svg DESTINATION ${icons}/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${pkg}/icons/quorrel-utility-${size}.png DESTINATION ${icons}/${size}x${size}/apps
      RENAME quorrel-utility.png)
  endforeach()
  configure_file(${pkg}/org.quorrel.QuorrelUtility.metainfo.xml.in
    ${gen}/org.quorrel.QuorrelUtility.metainfo.xml @ONLY)
  install(FILES ${gen}/org.quorrel.QuorrelUtility.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorrel-utility)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Quorrel Utility developers <packaging@quorrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and configure HomePlug powerline adapters")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quorrel Utility finds the HomePlug powerline Ethernet adapters attached to
the computer (HomePlug AV of two chip generations, HomePlug 1.0 and Turbo) and
the adapters behind them on the wiring, names them and keeps their passwords.

It contains the desktop program quorrel-utility, its console twin quorrel-cli,
and the capture helper quorrel-capture, the only program given CAP_NET_RAW.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap and addgroup, for the post-install step.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, adduser")
if(QUORREL_DESKTOP)
  # The platform plugin that draws the window on X11 and Wayland (only recommended by Qt).
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/debian/postinst ${pkg}/debian/postrm
  ${pkg}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
