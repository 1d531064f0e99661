# qm_debian_copyright(NAME DESTINATION FILE... )
# Writes DESTINATION as the Debian copyright files of the packages that own FILEs (libraries or
# headers the application is built with; a symlink counts as the file it points to), each
# followed by the common licences it cites from /usr/share/common-licenses. Packages built from
# one source share one file, written once. A file no package owns, or a package without its
# copyright file, stops the configuration with the name of what is missing.
function(qm_debian_copyright name destination)
    set(seen "")
    set(text "")
    foreach(probe IN LISTS ARGN)
        file(REAL_PATH "${probe}" real)
        # Debian records merged-/usr files under either spelling.
        string(REGEX REPLACE "^/usr/" "/" unmerged "${real}")
        execute_process(COMMAND dpkg-query -S "${real}" OUTPUT_VARIABLE owner
                        RESULT_VARIABLE failed ERROR_QUIET)
        if(failed)
            execute_process(COMMAND dpkg-query -S "${unmerged}" OUTPUT_VARIABLE owner
                            RESULT_VARIABLE failed ERROR_QUIET)
        endif()
        if(failed)
            message(FATAL_ERROR "${name}: no Debian package owns ${real}; its licence cannot be "
                                "bundled (install the library with apt)")
        endif()
        string(REGEX REPLACE "[:,].*" "" package "${owner}")
        set(copyright /usr/share/doc/${package}/copyright)
        if(NOT EXISTS ${copyright})
            message(FATAL_ERROR "${name}: ${copyright} of the package ${package} is missing "
                                "(reinstall ${package})")
        endif()
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${copyright})
        file(READ ${copyright} body)
        string(SHA256 digest "${body}")
        if(digest IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${digest})
        string(APPEND text "${name}: the Debian copyright file of ${package}\n\n${body}\n")
        string(REGEX MATCHALL "/usr/share/common-licenses/[A-Za-z0-9._+-]*[A-Za-z0-9+]" cited
               "${body}")
        list(REMOVE_DUPLICATES cited)
        foreach(licence IN LISTS cited)
            if(EXISTS ${licence} AND NOT IS_DIRECTORY ${licence} AND NOT licence IN_LIST seen)
                list(APPEND seen ${licence})
                file(READ ${licence} licence_text)
                string(APPEND text "\n${licence}\n\n${licence_text}\n")
            endif()
        endforeach()
    endforeach()
    file(WRITE ${destination} "${text}")
endfunction()
