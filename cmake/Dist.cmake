# Assembles the program folder build/dist: the shipped files of deploy/ plus whatever the
# module fragments generate (they add their steps as dependencies of kestrane_dist).
file(GLOB_RECURSE KESTRANE_DEPLOY_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/deploy/*)
set(KESTRANE_DEPLOY_STAMP ${CMAKE_BINARY_DIR}/deploy.stamp)
add_custom_command(OUTPUT ${KESTRANE_DEPLOY_STAMP}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/deploy ${KESTRANE_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRANE_DIST_DIR}/log ${KESTRANE_DIST_DIR}/DB
          ${KESTRANE_DIST_DIR}/Data ${KESTRANE_DIST_DIR}/NetStatusData ${KESTRANE_DIST_DIR}/TestFile
  COMMAND ${CMAKE_COMMAND} -E touch ${KESTRANE_DEPLOY_STAMP}
  DEPENDS ${KESTRANE_DEPLOY_FILES}
  COMMENT "Copying shipped files into the program folder")
add_custom_target(kestrane_deploy_files DEPENDS ${KESTRANE_DEPLOY_STAMP})
get_property(dist_targets GLOBAL PROPERTY KESTRANE_DIST_TARGETS)
get_property(dist_steps GLOBAL PROPERTY KESTRANE_DIST_STEPS)
add_custom_target(kestrane_dist ALL DEPENDS kestrane_deploy_files ${dist_targets} ${dist_steps})
install(DIRECTORY ${KESTRANE_DIST_DIR}/ DESTINATION kestrane USE_SOURCE_PERMISSIONS)
