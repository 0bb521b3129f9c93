# The program's two libraries, stated once: the top level builds the program
# from them, and the Windows suites (tests/win/suite), which need other
# compilers, build them again for the code they test.
#   kestrad_core   platform-neutral: the start-up, the check, the unattended
#                  roads, the window's layout and handlers
#   kestrad_win32  the program's Win32 parts but its entry: the window, the
#                  platform, the event log, the binding to tamarak9.dll
# `root` is the repository; kestrad_win32 needs the generated headers
# (program_config.h, messages.h) on the include path.
function(kestrad_add_libraries root)
  add_library(kestrad_core STATIC
    ${root}/common/error_trap.cpp
    ${root}/app/startup.cpp
    ${root}/app/switches.cpp
    ${root}/app/command_line.cpp
    ${root}/app/usage.cpp
    ${root}/app/unattended.cpp
    ${root}/app/machine_list.cpp
    ${root}/app/csv_line.cpp
    ${root}/check/channel_check.cpp
    ${root}/ui/form1_layout.cpp
    ${root}/ui/driver_versions.cpp
    ${root}/ui/form1_handlers.cpp)
  target_include_directories(kestrad_core PUBLIC ${root})
  if(NOT WIN32)
    return()
  endif()
  add_library(kestrad_win32 STATIC
    ${root}/app/platform_win32.cpp
    ${root}/app/event_log_win32.cpp
    ${root}/app/process_search_paths_win32.cpp
    ${root}/support/tamarak9_binding_win32.cpp
    ${root}/ui/form1_win32.cpp
    ${root}/win32/error_text.cpp
    ${root}/win32/system_library.cpp
    ${root}/win32/system_library_throw.cpp)
  target_link_libraries(kestrad_win32 PUBLIC kestrad_core)
endfunction()
