# Install rules for the programs, and the Debian package (cpack -G DEB).

# Every program built into the application folder is installed into one folder again,
# lib/morvessa, so the programs keep finding each other beside themselves.
function(morvessa_collect_programs dir out)
  set(found ${${out}})
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(type STREQUAL "EXECUTABLE" AND folder STREQUAL MORVESSA_APP_DIR)
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    morvessa_collect_programs(${subdir} found)
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
morvessa_collect_programs(${CMAKE_SOURCE_DIR}/src MORVESSA_PROGRAMS)
install(TARGETS ${MORVESSA_PROGRAMS} RUNTIME DESTINATION ${MORVESSA_INSTALL_APP_DIR})

# The commands people type are links in bin: started through them, the program and the
# tools still find their folder from the real file.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bin-links)
foreach(command morvessa morvessa-query morvessa-add-collection)
  file(RELATIVE_PATH target /${CMAKE_INSTALL_BINDIR} /${MORVESSA_INSTALL_APP_DIR}/${command})
  file(CREATE_LINK ${target} ${CMAKE_BINARY_DIR}/bin-links/${command} SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/bin-links/${command} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvessa)
set(CPACK_PACKAGE_VENDOR "The Morvessa developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyword search and reading for collections of Chinese medicine texts")
set(CPACK_PACKAGE_DESCRIPTION "Morvessa reads a collection of traditional Chinese medicine texts kept as a Jet
database (jst.mdb) and Big5 pages: type keywords, list the matching records newest first,
and read each record's page with the keywords marked in red. A sample collection, a
terminal search (morvessa-query) and morvessa-add-collection, which adds a collection
folder to the desktop's menu, come with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Morvessa developers <morvessa@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Libraries come from dpkg-shlibdeps (the browser pane's helper process with its library);
# what the program draws or starts with is named here: the Ming typeface and Noto CJK for
# the characters it lacks, the desktop's browser opener, Qt's own texts in Traditional
# Chinese and Qt's SVG icon engine (the windows' icon is a drawing).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, fonts-noto-cjk, xdg-utils, qt6-translations-l10n, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
