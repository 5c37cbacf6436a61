# The portable core, shared by the library build and the native test build.
set(QX_ENGINE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/crc32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_description.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_property_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/keyed_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/language_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/replay_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_facts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_layer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uninstall_log_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uninstall_start_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/user_switches.cpp
  ${CMAKE_CURRENT_LIST_DIR}/variables.cpp)
