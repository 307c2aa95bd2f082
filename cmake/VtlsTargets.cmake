# Helpers shared by every target of the project.

# Warnings are errors in every build; applied per target so that third-party
# code built alongside (GoogleTest) keeps its own flags.
function(vtls_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  target_compile_features(${target} PRIVATE cxx_std_17)
  if(WIN32)
    # The linker's warnings too (an export bound to a symbol it only guessed).
    target_link_options(${target} PRIVATE -Wl,--fatal-warnings)
  endif()
endfunction()

# Code that goes into the DLLs. Built without C++ exceptions: the statically
# linked exception runtime leaves about 4 KB behind on every load and unload of a
# DLL, and nothing may be thrown across the boundary anyway. Allocation goes
# through the platform's allocators, whose failures are results, not throws.
function(vtls_library_code target)
  vtls_strict(${target})
  target_compile_options(${target} PRIVATE -fno-exceptions)
endfunction()

# A VERSIONINFO resource carrying the one project version.
function(vtls_version_resource target description filename filetype)
  set(VTLS_RC_DESCRIPTION "${description}")
  set(VTLS_RC_FILENAME "${filename}")
  get_filename_component(VTLS_RC_NAME "${filename}" NAME_WE)
  set(VTLS_RC_FILETYPE "${filetype}")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()

# From one module definition with decorated names, make:
#  - the definition the linker takes for the DLL (decoration kept on 32-bit,
#    where --kill-at strips it from the exported names; removed on 64-bit);
#  - the definition dlltool takes for the import library, in which an aliased
#    export ("Export = Impl@N") is imported under the implementation's name.
function(vtls_module_definitions source_def out_dll_def out_implib_def)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source_def}")
  file(READ "${source_def}" text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
  endif()
  get_filename_component(name "${source_def}" NAME_WE)
  set(dll_def "${CMAKE_CURRENT_BINARY_DIR}/${name}.dll.def")
  set(implib_def "${CMAKE_CURRENT_BINARY_DIR}/${name}.implib.def")
  file(WRITE "${dll_def}" "${text}")
  # dlltool takes the import name after the ordinal: "Impl@N @ordinal == Export".
  string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)[ \t]*=[ \t]*([A-Za-z_][A-Za-z0-9_@]*)[ \t]+(@[0-9]+)"
         "\\2 \\3 == \\1" implib_text "${text}")
  file(WRITE "${implib_def}" "${implib_text}")
  # llvm-dlltool (the MSVC-format library) has no "==": such an export is
  # imported by its ordinal, which is fixed, under the implementation's name.
  set(msvc_def "${CMAKE_CURRENT_BINARY_DIR}/${name}.msvc.def")
  string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)[ \t]*=[ \t]*([A-Za-z_][A-Za-z0-9_@]*)[ \t]+(@[0-9]+)"
         "\\2 \\3 NONAME" msvc_text "${text}")
  file(WRITE "${msvc_def}" "${msvc_text}")
  set(${out_dll_def} "${dll_def}" PARENT_SCOPE)
  set(${out_implib_def} "${implib_def}" PARENT_SCOPE)
endfunction()

# A DLL linked from a module definition, with its import library made by dlltool
# (so 32-bit callers' decorated stdcall references bind to the plain exports).
# Creates the INTERFACE target <target>_import that callers link against.
function(vtls_windows_dll target source_def)
  vtls_module_definitions("${source_def}" dll_def implib_def)
  string(REPLACE ".implib.def" ".msvc.def" msvc_def "${implib_def}")
  target_sources(${target} PRIVATE "${dll_def}")
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    # The linker's own import library is not used; keep it out of the way.
    ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/linker-implib"
    LINK_DEPENDS "${dll_def}")
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  set(kill_at)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
    set(kill_at -k)
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(implib "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/lib${output_name}.dll.a")
  add_custom_command(OUTPUT "${implib}"
    COMMAND ${CMAKE_DLLTOOL} ${kill_at} -d "${implib_def}" -D "${output_name}.dll" -l "${implib}"
    DEPENDS "${implib_def}"
    COMMENT "Import library for ${output_name}.dll")
  # The same imports for Microsoft's linker and lld-link (MSVC-format .lib).
  set(msvc_implib "${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${output_name}.lib")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(msvc_machine i386)
  else()
    set(msvc_machine i386:x86-64)
  endif()
  add_custom_command(OUTPUT "${msvc_implib}"
    COMMAND ${VTLS_LLVM_DLLTOOL} -m ${msvc_machine} ${kill_at} -d "${msvc_def}" -D "${output_name}.dll"
            -l "${msvc_implib}"
    DEPENDS "${msvc_def}"
    COMMENT "MSVC-format import library for ${output_name}.dll")
  add_custom_target(${target}_implib ALL DEPENDS "${implib}" "${msvc_implib}")
  set_target_properties(${target} PROPERTIES
    VTLS_MINGW_IMPLIB "${implib}" VTLS_MSVC_IMPLIB "${msvc_implib}")
  add_library(${target}_import INTERFACE)
  add_dependencies(${target}_import ${target}_implib ${target})
  target_link_libraries(${target}_import INTERFACE "${implib}")
  target_include_directories(${target}_import INTERFACE "${PROJECT_SOURCE_DIR}/include")
endfunction()

# A message-table resource compiled by windmc from the .mc source (see
# cmake/MessageTable.cmake), linked into target like any other resource.
function(vtls_message_table target source_mc)
  get_filename_component(name "${source_mc}" NAME_WE)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}")
  set(rc "${dir}/${name}.rc")
  add_custom_command(OUTPUT "${rc}"
    COMMAND ${CMAKE_COMMAND} -DWINDMC=${VTLS_WINDMC} -DINPUT=${source_mc} -DOUTPUT_DIR=${dir}
            -P ${PROJECT_SOURCE_DIR}/cmake/MessageTable.cmake
    DEPENDS "${source_mc}" "${PROJECT_SOURCE_DIR}/cmake/MessageTable.cmake"
    COMMENT "Message table ${name}.mc"
    VERBATIM)
  target_sources(${target} PRIVATE "${rc}")
endfunction()

# The platform and GoogleTest headers are most of each file's compile time (a
# test file spends about 4 s of its 4.5 s in them); one precompiled copy per
# target saves that. Only for code that is Windows-only anyway: portable code
# must keep building without <windows.h>.
option(VTLS_PRECOMPILE "Precompile the platform and test framework headers" ON)
function(vtls_precompile target)
  if(VTLS_PRECOMPILE)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()
function(vtls_precompile_platform target)
  if(WIN32)
    vtls_precompile(${target} <windows.h> <shlobj.h> ${ARGN})
  endif()
endfunction()
