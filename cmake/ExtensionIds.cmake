# The extensions the native host serves, and the reading of their build
# settings. A Chrome/Edge extension ID is 32 letters a-p (lower case); a
# Firefox add-on ID is email-like ("name@domain", letters, digits, '.', '_'
# and '-' on either side, the name may be empty) or a GUID in braces.
# korvel::host::isChromeExtensionId and isFirefoxAddonId (host/text/caller.cpp)
# read the same forms; tests/native/extension_ids_table.txt holds cases that
# both must agree on.

# TEST-ONLY: the ID of tests/fixtures/extension/TEST-ONLY-extension-key.pem and
# the test add-on's ID, served when KORVEL_TEST_EXTENSION is ON.
set(KORVEL_TEST_CHROME_ID eflimgalpdonajhnpoenibjajjonioob)
set(KORVEL_TEST_FIREFOX_ID korvel-renewal-TEST-ONLY@korvel.test)

# Sets `problem_var` to why `id` is not a Chrome/Edge extension ID, or to "".
function(korvel_chrome_id_problem id problem_var)
  set(problem "")
  string(LENGTH "${id}" length)
  if(NOT id MATCHES "^[a-p]+$" OR NOT length EQUAL 32)
    set(problem "an extension ID is 32 lower-case letters a-p")
  endif()
  set(${problem_var} "${problem}" PARENT_SCOPE)
endfunction()

# Sets `problem_var` to why `id` is not a Firefox add-on ID, or to "".
function(korvel_firefox_id_problem id problem_var)
  set(problem "")
  set(hex "[0-9A-Fa-f]")
  set(guid "^{${hex}${hex}${hex}${hex}${hex}${hex}${hex}${hex}-${hex}${hex}${hex}${hex}-${hex}${hex}${hex}${hex}-")
  string(APPEND guid "${hex}${hex}${hex}${hex}-${hex}${hex}${hex}${hex}${hex}${hex}${hex}${hex}${hex}${hex}${hex}${hex}}$")
  if(NOT id MATCHES "^[A-Za-z0-9._-]*@[A-Za-z0-9._-]+$" AND NOT id MATCHES "${guid}")
    set(problem "an add-on ID is name@domain (letters, digits, '.', '_', '-') or a {GUID}")
  endif()
  set(${problem_var} "${problem}" PARENT_SCOPE)
endfunction()

# Sets `message_var` to a message naming the first entry of the ';'-list
# `ids` that `kind` (chrome or firefox) does not accept, or to "" when every
# entry is accepted (an empty list is; an empty entry in a non-empty list is
# not). An entry with CMake's list characters ('[', ']', '\') never reads as
# an ID, however CMake splits it.
function(korvel_first_bad_id kind ids message_var)
  set(message "")
  if(NOT ids STREQUAL "")
    set(position 0)
    foreach(id IN LISTS ids)
      math(EXPR position "${position} + 1")
      if(id STREQUAL "")
        set(problem "an empty entry")
      else()
        cmake_language(CALL korvel_${kind}_id_problem "${id}" problem)
      endif()
      if(NOT problem STREQUAL "")
        set(message "entry ${position} \"${id}\" is not accepted: ${problem}")
        break()
      endif()
    endforeach()
  endif()
  set(${message_var} "${message}" PARENT_SCOPE)
endfunction()

# Checks the settings and sets KORVEL_SERVED_CHROME_IDS and
# KORVEL_SERVED_FIREFOX_IDS (';'-separated, no repeats) in the caller's scope.
function(korvel_served_extension_ids)
  set(settings KORVEL_EXTENSION_IDS KORVEL_FIREFOX_ID KORVEL_FIREFOX_IDS)
  set(kinds chrome firefox firefox)
  foreach(setting kind IN ZIP_LISTS settings kinds)
    korvel_first_bad_id(${kind} "${${setting}}" message)
    if(NOT message STREQUAL "")
      message(FATAL_ERROR "${setting}: ${message}")
    endif()
  endforeach()
  if(KORVEL_FIREFOX_ID MATCHES ";")
    message(FATAL_ERROR "KORVEL_FIREFOX_ID: one add-on ID (further ones go in KORVEL_FIREFOX_IDS)")
  endif()
  set(chrome ${KORVEL_EXTENSION_IDS})
  set(firefox ${KORVEL_FIREFOX_ID} ${KORVEL_FIREFOX_IDS})
  if(KORVEL_TEST_EXTENSION)
    list(APPEND chrome ${KORVEL_TEST_CHROME_ID})
    list(APPEND firefox ${KORVEL_TEST_FIREFOX_ID})
  endif()
  list(REMOVE_DUPLICATES chrome)
  list(REMOVE_DUPLICATES firefox)
  set(KORVEL_SERVED_CHROME_IDS "${chrome}" PARENT_SCOPE)
  set(KORVEL_SERVED_FIREFOX_IDS "${firefox}" PARENT_SCOPE)
endfunction()
