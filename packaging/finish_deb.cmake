# Run by CPack once it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS),
# for what CPack 3.25 cannot be told: it writes postinst and postrm scripts
# that call ldconfig into a package with a library under /usr/lib, which
# dpkg's ldconfig trigger already covers, and it writes no Multi-Arch field.
# Each package is unpacked, those scripts are left out, the packages named in
# CPACK_TARNWICK_MULTI_ARCH_SAME get `Multi-Arch: same`, and it is packed
# again with dpkg-deb; the files and their checksums stay as CPack made them.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "/([^/_]+)_[^/]*\\.deb$")
    continue()
  endif()
  set(package ${CMAKE_MATCH_1})
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script IN ITEMS postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      file(STRINGS ${tree}/DEBIAN/${script} commands REGEX "^[ \t]*[a-z]")
      list(FILTER commands EXCLUDE REGEX "^[ \t]*(set -e|if .*; then|ldconfig|fi)[ \t]*$")
      if(commands)
        message(FATAL_ERROR "${deb}: ${script} does more than call ldconfig: ${commands}")
      endif()
      file(REMOVE ${tree}/DEBIAN/${script})
    endif()
  endforeach()
  if(package IN_LIST CPACK_TARNWICK_MULTI_ARCH_SAME)
    file(READ ${tree}/DEBIAN/control control)
    string(REPLACE "\nPackage: " "\nMulti-Arch: same\nPackage: " control "${control}")
    file(WRITE ${tree}/DEBIAN/control "${control}")
  endif()
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${deb} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
