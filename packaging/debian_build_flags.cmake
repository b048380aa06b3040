# The Debian architecture of the target, and, in the package builds
# (TARNWICK_DEBIAN_BUILDFLAGS, set by the package presets), the compiler and
# linker flags Debian gives a package built for it: dpkg-buildflags with every
# hardening feature (stack protector, _FORTIFY_SOURCE, read-only relocations,
# immediate binding), for the library and the tool alike.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(deb_architecture arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(arm|ARM)")
  set(deb_architecture armhf)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(deb_architecture amd64)
else()
  set(deb_architecture ${CMAKE_SYSTEM_PROCESSOR})
endif()

option(TARNWICK_DEBIAN_BUILDFLAGS "Build with dpkg-buildflags' flags, hardening=+all" OFF)
if(NOT TARNWICK_DEBIAN_BUILDFLAGS)
  return()
endif()
function(tarnwick_dpkg_buildflags name out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${deb_architecture} DEB_BUILD_MAINT_OPTIONS=hardening=+all
            dpkg-buildflags --get ${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()
tarnwick_dpkg_buildflags(CPPFLAGS deb_cppflags)
tarnwick_dpkg_buildflags(CFLAGS deb_cflags)
tarnwick_dpkg_buildflags(CXXFLAGS deb_cxxflags)
tarnwick_dpkg_buildflags(LDFLAGS deb_ldflags)
# Before the build type's own flags on the command line, so that -O3 of a
# Release build still wins over dpkg's -O2.
string(APPEND CMAKE_C_FLAGS " ${deb_cppflags} ${deb_cflags}")
string(APPEND CMAKE_CXX_FLAGS " ${deb_cppflags} ${deb_cxxflags}")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${deb_ldflags}")
endforeach()
