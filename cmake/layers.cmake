# zd_include_root(TARGET DIR...): TARGET compiles against an include root of
# its own that holds the headers of the named source folders and nothing
# else, each folder on its own (platform/ without platform/posix/). A header
# of a folder not named cannot be found, so a wrong-way include fails to build.
function(zd_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  foreach(dir IN LISTS ARGN)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    file(MAKE_DIRECTORY ${root}/${dir})
    foreach(header IN LISTS headers)
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${dir}/${name} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} PRIVATE ${root})
  set_property(TARGET ${target} PROPERTY ZD_INCLUDE_ROOT ${root})
endfunction()

# The folders each layer may include, lowest first.
set(ZD_PLATFORM_DIRS platform)
set(ZD_DEVICE_DIRS ${ZD_PLATFORM_DIRS} device)
set(ZD_CORE_DIRS ${ZD_DEVICE_DIRS} core)
set(ZD_GUI_DIRS ${ZD_CORE_DIRS} gui)
set(ZD_CLI_DIRS ${ZD_CORE_DIRS} cli)
# The daemon runs only on Linux and uses the POSIX platform directly.
set(ZD_DAEMON_DIRS ${ZD_CORE_DIRS} platform/posix zendrilld)
# Its doors (ZD_DAEMON_ALL_DIRS) are named in zendrilld/CMakeLists.txt.
