# The system-wide installation: a Debian package with the program's tree under
# /usr/lib/wendrake, its commands in /usr/bin and its desktop entry, icons and
# AppStream metadata where desktops look for them. The data of each user lives in
# the user's data folder, so the package carries no catalogue, hive or Temp.
set(WENDRAKE_APP_ID com.lumifold.Wendrake)

# Only in the package: `cmake --install` of a portable tree leaves the system alone.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/package/bin)
foreach(command wendrake wendrakectl)
  file(CREATE_LINK ../lib/wendrake/bin/${command} ${CMAKE_BINARY_DIR}/package/bin/${command} SYMBOLIC)
endforeach()
install(DIRECTORY ${CMAKE_BINARY_DIR}/package/bin/ DESTINATION /usr/bin COMPONENT system EXCLUDE_FROM_ALL)
install(FILES res/desktop/${WENDRAKE_APP_ID}.desktop DESTINATION /usr/share/applications COMPONENT system EXCLUDE_FROM_ALL)
install(FILES res/desktop/${WENDRAKE_APP_ID}.metainfo.xml DESTINATION /usr/share/metainfo COMPONENT system EXCLUDE_FROM_ALL)
foreach(size 16 24 32 48 64 128 256)
  install(FILES res/icons/wendrake-${size}.png DESTINATION /usr/share/icons/hicolor/${size}x${size}/apps RENAME wendrake.png
          COMPONENT system EXCLUDE_FROM_ALL)
endforeach()
install(FILES res/icons/wendrake.svg DESTINATION /usr/share/icons/hicolor/scalable/apps COMPONENT system EXCLUDE_FROM_ALL)
install(FILES res/desktop/copyright DESTINATION /usr/share/doc/wendrake COMPONENT system EXCLUDE_FROM_ALL)
foreach(page wendrake wendrakectl)
  set(manual ${CMAKE_BINARY_DIR}/package/${page}.1.gz)
  add_custom_command(OUTPUT ${manual} COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/res/man/${page}.1 > ${manual} DEPENDS ${PROJECT_SOURCE_DIR}/res/man/${page}.1)
  list(APPEND manuals ${manual})
endforeach()
install(FILES ${manuals} DESTINATION /usr/share/man/man1 COMPONENT system EXCLUDE_FROM_ALL)
set(changelog ${CMAKE_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${changelog} COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/res/desktop/changelog > ${changelog}
                   DEPENDS ${PROJECT_SOURCE_DIR}/res/desktop/changelog)
add_custom_target(package_documents ALL DEPENDS ${changelog} ${manuals})
install(FILES ${changelog} DESTINATION /usr/share/doc/wendrake COMPONENT system EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wendrake)
set(CPACK_PACKAGE_VENDOR "The Wendrake developers")
set(CPACK_PACKAGE_CONTACT "The Wendrake developers <dev@wendrake.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "game launcher and add-on manager")
set(CPACK_PACKAGE_DESCRIPTION "Wendrake logs the player in, keeps the game's location and starts it,\nalso under Wine in a game manager's prefix, and installs, switches and\nremoves the game's add-ons. Its interface is local HTML pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr/lib/wendrake)
set(CPACK_STRIP_FILES ON)
# Everything but the portable tree's data.
set(CPACK_COMPONENTS_ALL Unspecified system)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.lumifold.com)
# dpkg-shlibdeps computes what the binaries link against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
