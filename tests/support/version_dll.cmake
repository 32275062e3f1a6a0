# A tiny DLL with a version resource (file version 4.3.2.1), a real PE file for
# the tests that read file versions, built with the mingw tools when there are
# any.  qz_use_version_dll(target) gives a test its path as QZ_VERSION_DLL.
if(WIN32)
  set(QZ_VERSION_WINDRES ${CMAKE_RC_COMPILER})
  set(QZ_VERSION_CC ${CMAKE_C_COMPILER})
else()
  find_program(QZ_VERSION_WINDRES NAMES x86_64-w64-mingw32-windres)
  find_program(QZ_VERSION_CC NAMES x86_64-w64-mingw32-gcc)
endif()

set(QZ_VERSION_DLL_PATH "")
if(QZ_VERSION_WINDRES AND QZ_VERSION_CC)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/version_dll)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(
    OUTPUT ${dir}/qzversion.dll
    COMMAND ${QZ_VERSION_WINDRES} ${CMAKE_CURRENT_LIST_DIR}/version.rc -O coff -o ${dir}/version_res.o
    COMMAND ${QZ_VERSION_CC} -shared -o ${dir}/qzversion.dll ${CMAKE_CURRENT_LIST_DIR}/version_dll.c
            ${dir}/version_res.o
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/version.rc ${CMAKE_CURRENT_LIST_DIR}/version_dll.c
    COMMENT "Building the version-resource DLL of the tests")
  add_custom_target(qz_version_dll DEPENDS ${dir}/qzversion.dll)
  set(QZ_VERSION_DLL_PATH ${dir}/qzversion.dll)
endif()

function(qz_use_version_dll target)
  if(QZ_VERSION_DLL_PATH)
    add_dependencies(${target} qz_version_dll)
    set(dll ${QZ_VERSION_DLL_PATH})
    if(CMAKE_CROSSCOMPILING)
      string(REPLACE "/" "\\\\" dll "Z:${QZ_VERSION_DLL_PATH}")   # Wine's Z: drive is the root
    endif()
    target_compile_definitions(${target} PRIVATE "QZ_VERSION_DLL=\"${dll}\"")
  endif()
endfunction()
