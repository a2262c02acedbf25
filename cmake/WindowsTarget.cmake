# Shared settings of every Windows target of the project.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(KORVEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(KORVEL_SYSTEM_LIBS ole32 oleaut32 uuid comctl32 crypt32 shlwapi user32 gdi32 advapi32 kernel32)

# Every object in sections of its own, so that the linker can drop what
# nothing uses, and no build path inside any binary.
set(KORVEL_SECTION_OPTIONS -ffunction-sections -fdata-sections
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
add_compile_options(${KORVEL_SECTION_OPTIONS})

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

# Code that goes into the shipped DLL: optimised for size, with debug
# information that the release step moves into a separate file.
function(korvel_product_code target)
  target_compile_options(${target} PRIVATE ${KORVEL_SECTION_OPTIONS} -Os -g)
endfunction()

# The shipped DLL: unused sections dropped, no link time stamp, and its debug
# information moved into NAME.debug beside it, tied by a debug link. objcopy
# writes the current time into a PE header unless SOURCE_DATE_EPOCH says
# otherwise: 0, as the linker leaves it.
function(korvel_release_binary target)
  target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,--no-insert-timestamp)
  set(binary $<TARGET_FILE_NAME:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --only-keep-debug ${binary} ${binary}.debug
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${binary}.debug ${binary}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
