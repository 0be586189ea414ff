# cpack's post-build step for the Debian packages, each unpacked and built
# again:
#  - takes out the maintainer scripts that cpack writes only to call
#    ldconfig, which the ldconfig trigger does (packaging/deb/triggers),
#    keeping those of packaging/deb, which never call it;
#  - gives voka-tools voka-server's account file /etc/voka-server/accounts,
#    the sample accounts, as a conffile readable by root alone (the systemd
#    unit hands it on): outside the prefix, `cmake --install` never writes it;
#  - strips what Debian's own builds strip: the .comment and .note sections
#    of programs and shared libraries, and the debug information of static
#    libraries (deterministically);
#  - keeps one entry of a package in Depends, the first: the versions named
#    by hand come before those dpkg-shlibdeps found;
#  - gives each shared library a symbols file; the token library's names
#    the virtual package libusbclient1, as its shlibs does.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      file(READ ${tree}/DEBIAN/${script} text)
      if(NOT text MATCHES "ldconfig")
        continue()
      endif()
      string(REGEX REPLACE "[ \t\n]" "" text "${text}")
      if(NOT text MATCHES "^#!/bin/shset-eif\\[\"\\$1\"=\"(configure|remove)\"\\];thenldconfigfi$")
        message(FATAL_ERROR "${package}: ${script} does more than call ldconfig")
      endif()
      file(REMOVE ${tree}/DEBIAN/${script})
    endif()
  endforeach()

  file(GLOB_RECURSE binaries ${tree}/usr/bin/* ${tree}/usr/lib/*.so.*)
  foreach(binary IN LISTS binaries)
    if(NOT IS_SYMLINK ${binary})
      execute_process(COMMAND strip --remove-section=.comment --remove-section=.note ${binary}
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
  file(GLOB_RECURSE archives ${tree}/usr/lib/*.a)
  foreach(archive IN LISTS archives)
    execute_process(COMMAND strip --strip-debug --remove-section=.comment --remove-section=.note
                            --enable-deterministic-archives ${archive} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  file(STRINGS ${tree}/DEBIAN/control control)
  if("${control}" MATCHES "(^|;)Package: ${CPACK_VOKA_SERVER_ACCOUNTS_PACKAGE}(;|$)")
    file(MAKE_DIRECTORY ${tree}/etc/voka-server)
    file(COPY_FILE ${tree}/usr/share/voka-tools/accounts.sample ${tree}/etc/voka-server/accounts)
    file(CHMOD ${tree}/etc/voka-server/accounts PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE ${tree}/DEBIAN/conffiles "/etc/voka-server/accounts\n")
  endif()
  set(fields "")
  foreach(line IN LISTS control)
    if(line MATCHES "^Depends: (.*)$")
      string(REPLACE ", " ";" entries "${CMAKE_MATCH_1}")
      set(kept "")
      set(names "")
      foreach(entry IN LISTS entries)
        string(REGEX MATCH "^[^ ]+" name "${entry}")
        if(NOT name IN_LIST names)
          list(APPEND names ${name})
          list(APPEND kept "${entry}")
        endif()
      endforeach()
      list(JOIN kept ", " line)
      set(line "Depends: ${line}")
    endif()
    string(APPEND fields "${line}\n")
  endforeach()
  file(WRITE ${tree}/DEBIAN/control "${fields}")

  # Shared libraries: a symbols file, which the stand-in writes for any
  # provider of the token library (unversioned: a virtual package has none).
  file(GLOB libraries ${tree}/usr/lib/*/lib*.so.*.*)
  if(libraries)
    string(REGEX MATCH "(^|\n)Package: ([^\n]+)" found "${fields}")
    set(name ${CMAKE_MATCH_2})
    string(REGEX MATCH "(^|\n)Version: ([^\n]+)" found "${fields}")
    set(version ${CMAKE_MATCH_2})
    if(libraries MATCHES "/libUsbClient\\.so")
      file(WRITE ${tree}/DEBIAN/shlibs "${CPACK_VOKA_TOKEN_SHLIBS}\n")
      set(version 0)
    endif()
    execute_process(COMMAND dpkg-gensymbols -q -p${name} -P${tree} -v${version} -O${tree}/DEBIAN/symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    file(READ ${tree}/DEBIAN/symbols symbols)
    if(libraries MATCHES "/libUsbClient\\.so")
      string(REPLACE " ${name} #MINVER#" " ${CPACK_VOKA_TOKEN}" symbols "${symbols}")
    endif()
    # The package whose link names build against the library.
    string(FIND "${symbols}" "\n" head_end)
    math(EXPR head_end "${head_end} + 1")
    string(SUBSTRING "${symbols}" 0 ${head_end} head)
    string(SUBSTRING "${symbols}" ${head_end} -1 entries)
    file(WRITE ${tree}/DEBIAN/symbols "${head}* Build-Depends-Package: ${CPACK_VOKA_DEVELOPMENT_PACKAGE}\n${entries}")
  endif()

  # Sizes changed: md5sums follow.
  file(GLOB_RECURSE files RELATIVE ${tree} ${tree}/usr/*)
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    if(NOT IS_SYMLINK ${tree}/${file})
      file(MD5 ${tree}/${file} sum)
      string(APPEND sums "${sum}  ${file}\n")
    endif()
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
  execute_process(COMMAND dpkg-deb --root-owner-group -b ${tree} ${package} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
