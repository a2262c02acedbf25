# Shared settings of every Windows target of the project.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(KORVEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(KORVEL_SYSTEM_LIBS ole32 oleaut32 uuid comctl32 crypt32 shlwapi user32 gdi32 advapi32 kernel32)

function(korvel_windows_defaults target)
  target_compile_definitions(${target} PRIVATE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
  target_link_libraries(${target} PRIVATE ${KORVEL_SYSTEM_LIBS})
endfunction()

# The C and C++ runtimes go into the binary: only system DLLs are imported.
function(korvel_link_static_runtime target)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()
