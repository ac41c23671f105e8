# The hardening Debian builds its packages with, for the programs that go into the package and
# the libraries they are made of: the flags dpkg-buildflags gives with all hardening features
# on (fortified functions, stack protector, format checks, read-only relocations and immediate
# binding), and position independent executables.
#   pelko_harden(TARGET...)   fails the configuration when dpkg-buildflags is missing or fails;
#                             targets this build does not have are passed over.
# The optimisation and debug flags dpkg-buildflags also gives are left out: the build type
# chooses those, and the package strips its programs anyway.
function(pelko_harden)
  find_program(PELKO_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  set(compile "")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${PELKO_DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
      COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g[0-9]*|O[0-9sgz]?)$")
    if(kind STREQUAL "LDFLAGS")
      set(link ${flags})
    else()
      list(APPEND compile ${flags})
    endif()
  endforeach()
  message(STATUS "Hardened: ${ARGN}\n   compiled with ${compile}\n   linked with ${link}")
  foreach(target IN LISTS ARGN)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE ${compile})
      target_link_options(${target} PRIVATE ${link})
      set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    endif()
  endforeach()
endfunction()
