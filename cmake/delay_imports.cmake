# Delay-import libraries for the DLLs that are not among Windows' KnownDLLs.
#
# The loader looks for a static import's DLL in the program's own folder first. The program runs
# as administrator from whatever folder it was copied to, so a DLL dropped beside it would run
# as administrator. Linked through these libraries, such a DLL is loaded only on its first call,
# after start-up has limited the search to the system folder.
#
# qtv_delay_import(NAME DLL [DEFINITION...]) makes the imported library target delay::NAME from
# the toolchain's import library libNAME.a: every function that library imports, loaded from DLL
# on first use. A call must go through the library's stub, which loads the DLL: a header that
# declares the functions dllimport makes the caller jump through the import slot directly, and
# the linker then drops the stub and leaves the slot empty. The DEFINITIONs, given to every
# target that links delay::NAME, turn that declaration off (_COMCTL32_ for commctrl.h).
# cmake/check-delay-stubs fails the build of an image where a stub went missing all the same.
function(qtv_delay_import name dll)
  if(TARGET delay::${name})
    return()
  endif()
  find_library(import_library NAMES lib${name}.a REQUIRED NO_CACHE)
  set(folder ${CMAKE_BINARY_DIR}/delay-imports)
  set(library ${folder}/lib${name}_delay.a)
  if(NOT EXISTS ${library} OR ${import_library} IS_NEWER_THAN ${library})
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${CMAKE_NM} ${import_library} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # "__imp__Name@N" on i686: the decorated name the callers link against.
    string(REGEX MATCHALL "I __imp__[^\r\n]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE "^I __imp__" "")
    list(REMOVE_DUPLICATES imports)
    list(SORT imports)
    list(JOIN imports "\n" exports)
    file(WRITE ${folder}/${name}.def "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
    # -k: the DLL exports the names without the stdcall decoration. A fixed temporary prefix
    # keeps the archive's member names the same from build to build.
    # Named relative to its folder, so that no build path lands in the symbols it defines.
    execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${name}.def -y lib${name}_delay.a
                            --temp-prefix ${name}_delay
                    WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  add_library(delay::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(delay::${name} PROPERTIES IMPORTED_LOCATION ${library}
                                                   INTERFACE_COMPILE_DEFINITIONS "${ARGN}")
endfunction()
