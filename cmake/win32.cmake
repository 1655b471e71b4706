# Cross build: updater.exe (PE32 GUI, static runtime) and the tests that run under Wine.
# A 64-bit build is a test build of the Windows-side code alone (tests/win32 and
# the harness's launcher), for machines whose Wine runs only 64-bit programs:
# no program, stand-ins or scenarios.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(UPDATER_WINDOWS_TEST_BUILD ON)
else()
  set(UPDATER_WINDOWS_TEST_BUILD OFF)
endif()

# Reproducible output: the same commit built in any folder at any time gives
# the same bytes, for every program and library of this build.
# - ld writes the link time into the COFF header's TimeDateStamp (and the PE
#   checksum, computed over the file, follows it); --no-insert-timestamp
#   writes 0 instead. Nothing of ours uses the stamp: there are no bound
#   imports and no debug directory.
# - __FILE__ (assertions of a build without NDEBUG, the runtime's headers)
#   would carry the absolute source and build folders: they are written as
#   "." and "build". The last matching map wins, so the build folder (inside
#   the source folder in the presets) comes second. windres takes no such
#   option and writes no path into the resources.
add_compile_options(
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>)
add_link_options(LINKER:--no-insert-timestamp)

set(WIN32_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# Imported: known DLLs only (the loader takes them from the system folder
# whatever the search path). Others are loaded at run time from the system
# folder (base/system_library.h): version, rstrtmgr, comctl32, wtsapi32, userenv.
set(WIN32_LIBS shlwapi shell32 advapi32 user32 psapi ole32 oleaut32 uuid kernel32)
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# Everything of the program but its entry point, so that Windows-side tests link the same code.
set(WIN32_SOURCES
  base/module_state.cpp
  base/platform.cpp
  base/registry_value.cpp
  base/messages.cpp
  app/message_box.cpp
  app/silent_mode.cpp
  app/os_version_cache.cpp
  app/admin_check.cpp
  app/tv_recorder.cpp
  app/patch_process.cpp
  app/progress_window.cpp
  app/patch_phases.cpp
  app/update_transaction.cpp
  app/update_journal_file.cpp
  app/update_records.cpp
  app/recover_interrupted_update.cpp
  app/run_patch_session.cpp
  app/entry.cpp
  base/trace.cpp
  base/system_library.cpp
  base/folder_handles.cpp
  base/trusted_folder.cpp
  base/journal_file.cpp
  base/phase_time.cpp
  base/file_facts.cpp
  base/folded_name.cpp
  base/try_again.cpp
  base/file_moves.cpp
  applicability/installed_product.cpp
  applicability/own_identity.cpp
  applicability/applicability.cpp
  applicability/version_resource.cpp
  applicability/file_handle_image.cpp
  payload/install_list.cpp
  payload/install_files.cpp
  payload/file_steps.cpp
  payload/registry_steps.cpp
  base/background_step.cpp
  payload/expand_file.cpp
  payload/extract_payload.cpp
  payload/registry_import.cpp
  base/registry_snapshot.cpp
  payload/held_script.cpp
  payload/work_folder.cpp
  payload/payload_digests.cpp
  payload/verified_file.cpp
  control/process_tools.cpp
  control/quit_request.cpp
  control/affected_processes.cpp
  control/shutdown.cpp
  control/scm_connection.cpp
  control/service_control.cpp
  control/relaunch.cpp
  control/preparation_steps.cpp
  control/program_start.cpp
  control/shell_start.cpp
  control/user_start.cpp
  records/version_records.cpp
  records/media_database.cpp
  records/qvldb_binding.cpp
  records/removal.cpp
  records/area_code.cpp
  records/retired_features.cpp
  records/version_file.cpp
  records/retired_feature_notice.cpp
)

add_library(updater_lib STATIC ${CORE_SOURCES} ${WIN32_SOURCES})
# The program is built for size, but the expander and the hash carry every
# payload byte: they are built for speed.
set_source_files_properties(payload/portable/szdd_expander.cpp payload/portable/sha256_scalar.cpp payload/portable/sha256_x86.cpp
  PROPERTIES COMPILE_OPTIONS "-O2")
target_include_directories(updater_lib PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(updater_lib PUBLIC ${WIN32_DEFINES})
target_compile_options(updater_lib PRIVATE -Wall -Wextra -Werror)
target_link_libraries(updater_lib PUBLIC ${WIN32_LIBS})
target_link_options(updater_lib PUBLIC ${STATIC_RUNTIME} -s)

add_subdirectory(resources)

if(UPDATER_WINDOWS_TEST_BUILD)
  set(windows_subdirs tests/wine tests/win32)
else()
  add_executable(updater WIN32 app/winmain.cpp)
  target_link_libraries(updater PRIVATE updater_lib updater_resources updater_payload updater_digests)
  # Terminal-server aware: on a Remote Desktop server the Windows folder (and
  # with it the registry editor's path) is the system's, not a per-user copy.
  # Sections start on page boundaries in the file, so that a loader can map
  # the 85 MB of resources as they are instead of reading them all at start
  # (Wine reads every section that is not page-aligned before the first
  # instruction runs).
  target_link_options(updater PRIVATE -municode -Wl,--tsaware -Wl,--file-alignment=0x1000)
  include(${CMAKE_SOURCE_DIR}/cmake/signing.cmake)
  set(windows_subdirs testbed tests/wine tests/resources tests/win32 tests/faults bench)
endif()

foreach(dir ${windows_subdirs})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# The Windows-side tests read the payload resources from their own executable.
if(TARGET win32_tests)
  target_link_libraries(win32_tests PRIVATE updater_payload)
endif()
