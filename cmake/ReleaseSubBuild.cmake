# Builds KorvelTool.dll and KorvelHost.exe (with their debug files) from this source tree with the
# product's toolchain in ${CMAKE_BINARY_DIR}/release and copies both into
# bin/, with the test-only KorvelToolFaults.dll of the out-of-memory tests
# built from the same objects. The target is called KorvelTool, like the DLL
# target of a product build, so that the test programs can depend on it
# either way.
include(ExternalProject)
set(korvel_release_dir ${CMAKE_BINARY_DIR}/release)
set(korvel_release_args
  -DCMAKE_TOOLCHAIN_FILE=${KORVEL_RELEASE_TOOLCHAIN}
  -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  -DKORVEL_BUILD_TESTS=OFF
  -DKORVEL_BUILD_FAULT_DLL=ON)
foreach(n 1 2 3)
  list(APPEND korvel_release_args -DKORVEL_AUTHORITY_KEY_ID_${n}=${KORVEL_AUTHORITY_KEY_ID_${n}})
endforeach()
# The origin list's ';' would split it into several arguments: it travels with
# '|' (never part of a valid origin), which LIST_SEPARATOR turns back into ';'.
string(REPLACE ";" "|" korvel_release_origins "${KORVEL_ALLOWED_ORIGINS}")
list(APPEND korvel_release_args "-DKORVEL_ALLOWED_ORIGINS=${korvel_release_origins}")
# The extensions the host serves travel the same way ('|' is in no valid ID).
foreach(setting KORVEL_EXTENSION_IDS KORVEL_FIREFOX_ID KORVEL_FIREFOX_IDS)
  string(REPLACE ";" "|" ids "${${setting}}")
  list(APPEND korvel_release_args "-D${setting}=${ids}")
endforeach()
list(APPEND korvel_release_args -DKORVEL_TEST_EXTENSION=${KORVEL_TEST_EXTENSION})
ExternalProject_Add(KorvelTool
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${korvel_release_dir}
  LIST_SEPARATOR |
  CMAKE_ARGS ${korvel_release_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${korvel_release_dir} --target KorvelTool KorvelToolFaults KorvelHost
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy
    ${korvel_release_dir}/bin/KorvelTool.dll ${korvel_release_dir}/bin/KorvelTool.dll.debug
    ${korvel_release_dir}/bin/KorvelToolFaults.dll
    ${korvel_release_dir}/bin/KorvelHost.exe ${korvel_release_dir}/bin/KorvelHost.exe.debug
    ${CMAKE_BINARY_DIR}/bin/
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/bin/KorvelTool.dll ${CMAKE_BINARY_DIR}/bin/KorvelToolFaults.dll
    ${CMAKE_BINARY_DIR}/bin/KorvelHost.exe
  USES_TERMINAL_BUILD OFF)

# TEST-ONLY: the same DLL and host locked to the test sites, in bin/locked/
# with the list in ALLOWED-ORIGINS.txt, for the site-lock tests. Its classes
# are the product's: a test registers either.
set(KORVEL_TEST_ALLOWED_ORIGINS "https://renew.korvel.test|https://*.sites.korvel.test:8443|http://127.0.0.1:8765")
set(korvel_locked_dir ${CMAKE_BINARY_DIR}/release-locked)
set(korvel_locked_args ${korvel_release_args})
list(FILTER korvel_locked_args EXCLUDE REGEX "^-DKORVEL_(ALLOWED_ORIGINS|BUILD_FAULT_DLL)=")
list(APPEND korvel_locked_args "-DKORVEL_ALLOWED_ORIGINS=${KORVEL_TEST_ALLOWED_ORIGINS}")
ExternalProject_Add(KorvelToolLocked
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${korvel_locked_dir}
  LIST_SEPARATOR |
  CMAKE_ARGS ${korvel_locked_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${korvel_locked_dir} --target KorvelTool KorvelHost
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy
    ${korvel_locked_dir}/bin/KorvelTool.dll ${korvel_locked_dir}/bin/KorvelHost.exe ${CMAKE_BINARY_DIR}/bin/locked/
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/bin/locked/KorvelTool.dll ${CMAKE_BINARY_DIR}/bin/locked/KorvelHost.exe
  USES_TERMINAL_BUILD OFF)
string(REPLACE "|" ";" korvel_test_origins_text "${KORVEL_TEST_ALLOWED_ORIGINS}")
file(WRITE ${CMAKE_BINARY_DIR}/bin/locked/ALLOWED-ORIGINS.txt "${korvel_test_origins_text}\n")
add_dependencies(KorvelTool KorvelToolLocked)
