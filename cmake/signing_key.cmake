# The public key that the installer checks its archives' signatures against, built in from a PEM
# file: -DINSTALLER_PUBLIC_KEY=public.pem. The demo server's build makes the demo's own key pair
# here (demo-key/ in the build folder: signing-key.pem and public-key.pem); a build for another
# server needs the maker's key, or -DINSTALLER_PUBLIC_KEY=none to install archives unchecked.
set(INSTALLER_PUBLIC_KEY "" CACHE STRING
    "PEM public key (P-256) of the archives' signatures; none: archives go unchecked")
set(INSTALLER_DEMO_KEY_DIR ${CMAKE_BINARY_DIR}/demo-key)

set(installer_public_key_pem "")
if(INSTALLER_PUBLIC_KEY STREQUAL "none")
  message(WARNING "INSTALLER_PUBLIC_KEY=none: the installer extracts and runs whatever archives "
                  "the server (or anyone on the way to it) hands out, unchecked")
else()
  find_program(INSTALLER_OPENSSL openssl)
  if(NOT INSTALLER_OPENSSL)
    message(FATAL_ERROR "The openssl program (Debian package openssl) reads the public key")
  endif()
  if(INSTALLER_PUBLIC_KEY STREQUAL "")
    if(NOT INSTALLER_SERVER STREQUAL "127.0.0.1:2121")
      message(FATAL_ERROR
        "The installer is built for the server ${INSTALLER_SERVER} without the public key of "
        "the maker who signs its archives. Give it with -DINSTALLER_PUBLIC_KEY=public.pem (the "
        "README's \"Signed releases\" says how to make a key pair), or say "
        "-DINSTALLER_PUBLIC_KEY=none to install archives that nobody checks.")
    endif()
    if(NOT EXISTS ${INSTALLER_DEMO_KEY_DIR}/public-key.pem)
      file(MAKE_DIRECTORY ${INSTALLER_DEMO_KEY_DIR})
      execute_process(
        COMMAND ${INSTALLER_OPENSSL} ecparam -name prime256v1 -genkey -noout
                -out ${INSTALLER_DEMO_KEY_DIR}/signing-key.pem
        COMMAND_ERROR_IS_FATAL ANY)
      execute_process(
        COMMAND ${INSTALLER_OPENSSL} pkey -in ${INSTALLER_DEMO_KEY_DIR}/signing-key.pem -pubout
                -out ${INSTALLER_DEMO_KEY_DIR}/public-key.pem
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    set(installer_key_file ${INSTALLER_DEMO_KEY_DIR}/public-key.pem)
  else()
    get_filename_component(installer_key_file "${INSTALLER_PUBLIC_KEY}" ABSOLUTE)
  endif()
  # Written again in the one form the installer reads: a named curve and an uncompressed point.
  execute_process(
    COMMAND ${INSTALLER_OPENSSL} pkey -pubin -in ${installer_key_file} -pubout
            -ec_conv_form uncompressed -ec_param_enc named_curve
    OUTPUT_VARIABLE installer_public_key_pem RESULT_VARIABLE key_result ERROR_QUIET)
  execute_process(
    COMMAND ${INSTALLER_OPENSSL} pkey -pubin -in ${installer_key_file} -noout -text
    OUTPUT_VARIABLE key_text ERROR_QUIET)
  if(key_result OR NOT key_text MATCHES "prime256v1")
    message(FATAL_ERROR "INSTALLER_PUBLIC_KEY: ${installer_key_file} is not a PEM public key of "
                        "the P-256 curve (prime256v1); see the README's \"Signed releases\"")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${installer_key_file})
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/installer_public_key.h.in
               ${CMAKE_BINARY_DIR}/generated/installer_public_key.h @ONLY)
