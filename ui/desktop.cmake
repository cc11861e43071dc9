# corvane.exe: the Win32 desktop program over the portable UI core.
add_executable(corvane WIN32 commands_win32.cpp main_window_win32.cpp messages_win32.cpp password_dialogs_win32.cpp
               progress_dialog_win32.cpp ${PROJECT_SOURCE_DIR}/resources/corvane.rc)
target_include_directories(corvane PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(corvane PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)
target_link_options(corvane PRIVATE -municode -static)
target_link_libraries(corvane PRIVATE corvane::ui_core corvane::warnings
                      comctl32 comdlg32 shlwapi shell32 user32 gdi32 ole32 uuid)
# The resource compiler reads the ids and version from resources/.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/corvane.rc APPEND PROPERTY OBJECT_DEPENDS
             ${PROJECT_SOURCE_DIR}/resources/resource.h ${PROJECT_SOURCE_DIR}/resources/version.h
             ${PROJECT_SOURCE_DIR}/resources/corvane.ico ${PROJECT_SOURCE_DIR}/resources/corvane.manifest)
