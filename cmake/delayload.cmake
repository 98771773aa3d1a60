# Delay-load import libraries for system DLLs that are not KnownDLLs (wininet.dll): the loader
# would look for them beside the program first, where anybody who can write the program's folder
# could plant one. Delay-loaded, such a DLL is loaded at its first call, after the program has
# limited the library search to the system folder (security::LoadLibrariesFromSystemFolderOnly).
# The export list comes from MinGW-w64's own import library; on 32-bit the stdcall names lose
# their "@n" in the DLL (dlltool -k), as the system exports them.
find_program(INSTALLER_DLLTOOL ${MINGW_TRIPLE}-dlltool REQUIRED)
find_program(INSTALLER_NM ${MINGW_TRIPLE}-nm REQUIRED)

# Makes the imported library `target` that delay-loads `dll` (e.g. wininet.dll) in place of
# linking MinGW's import library lib<name>.a.
function(installer_delayload_library target name dll)
  find_library(import_library_${name} NAMES lib${name}.a REQUIRED)
  execute_process(COMMAND ${INSTALLER_NM} ${import_library_${name}}
                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" functions "${symbols}")
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  set(seen "")
  foreach(line IN LISTS functions)
    string(REGEX REPLACE "^[0-9a-f]+ T " "" symbol "${line}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" symbol "${symbol}")
    endif()
    if(NOT symbol IN_LIST seen)
      list(APPEND seen "${symbol}")
      string(APPEND def "${symbol}\n")
    endif()
  endforeach()
  set(dir ${CMAKE_BINARY_DIR}/delayload)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/${name}.def.new "${def}")
  file(COPY_FILE ${dir}/${name}.def.new ${dir}/${name}.def ONLY_IF_DIFFERENT)
  set(kill_at "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at -k)
  endif()
  set(library ${dir}/lib${name}_delay.a)
  add_custom_command(OUTPUT ${library}
                     COMMAND ${INSTALLER_DLLTOOL} ${kill_at} --input-def ${dir}/${name}.def
                             --dllname ${dll} --output-delaylib ${library}
                     DEPENDS ${dir}/${name}.def)
  add_custom_target(${target}_build DEPENDS ${library})
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${library})
  add_dependencies(${target} ${target}_build)
endfunction()
