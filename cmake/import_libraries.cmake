# Import libraries of the 32-bit DLL that hosts link.  The compiler turns every
# __stdcall declaration of qzunpack.h into a reference to _Name@bytes, while the
# DLL exports the plain names of qzunpack.def; the import libraries bind the one
# to the other.  Both are made from one decorated module definition, written
# from qzunpack.def at configure time, so a row added there reaches them too:
#   libQZUNPACK.dll.a  GNU format (dlltool --kill-at), in place of the one the
#                      linker writes, which holds only the undecorated names;
#   qzunpack.lib       MSVC format (llvm-dlltool), for MSVC, clang and lld-link.
# The decorated definition is installed too, for toolchains that make their own.
set(QZ_DECORATED_DEF ${PROJECT_BINARY_DIR}/qzunpack-import.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/qzunpack.def)
file(STRINGS ${PROJECT_SOURCE_DIR}/qzunpack.def rows REGEX "^[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*=")
set(text "; Exports of QZUNPACK.dll as the compiler names them: Name@bytes @ordinal.\n")
string(APPEND text "; An import library made with dlltool --kill-at binds each to the plain Name.\n")
string(APPEND text "LIBRARY QZUNPACK.dll\nEXPORTS\n")
foreach(row IN LISTS rows)
  if(NOT row MATCHES "^[ \t]*([A-Za-z0-9_]+)[ \t]*=[ \t]*([A-Za-z0-9_]+)@([0-9]+)[ \t]+@([0-9]+)[ \t]*$"
     OR NOT CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
    message(FATAL_ERROR "qzunpack.def: not of the form Name = Name@bytes @ordinal: ${row}")
  endif()
  string(APPEND text "    ${CMAKE_MATCH_1}@${CMAKE_MATCH_3} @${CMAKE_MATCH_4}\n")
endforeach()
file(WRITE ${QZ_DECORATED_DEF}.new "${text}")
configure_file(${QZ_DECORATED_DEF}.new ${QZ_DECORATED_DEF} COPYONLY)

if(NOT QZ_DLLTOOL)
  set(QZ_DLLTOOL ${CMAKE_DLLTOOL})
endif()
find_program(QZ_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 llvm-dlltool-15 llvm-dlltool-16)
if(NOT QZ_DLLTOOL)
  message(FATAL_ERROR "no dlltool for the import library (set QZ_DLLTOOL)")
endif()
set(QZ_MSVC_IMPORT_LIB ${PROJECT_BINARY_DIR}/qzunpack.lib)
set(commands COMMAND ${QZ_DLLTOOL} --kill-at -d ${QZ_DECORATED_DEF} -l $<TARGET_LINKER_FILE:qzunpack>)
if(QZ_LLVM_DLLTOOL)
  list(APPEND commands COMMAND ${QZ_LLVM_DLLTOOL} -m i386 -k -d ${QZ_DECORATED_DEF} -l ${QZ_MSVC_IMPORT_LIB})
else()
  message(STATUS "llvm-dlltool not found: no qzunpack.lib for MSVC hosts")
  set(QZ_MSVC_IMPORT_LIB "")
endif()
add_custom_command(TARGET qzunpack POST_BUILD ${commands}
                   COMMENT "Writing the import libraries of QZUNPACK.dll" VERBATIM)
