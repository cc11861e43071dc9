# corvane.exe: the Win32 desktop program over the portable UI core. Its code is
# a library of its own, so that the end-to-end driver can run the program's
# dialogs in its own process too (the message dialog for every status).
add_library(corvane_desktop STATIC commands_win32.cpp main_window_win32.cpp messages_win32.cpp
            password_dialogs_win32.cpp progress_dialog_win32.cpp)
target_include_directories(corvane_desktop PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(corvane_desktop PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)
target_link_libraries(corvane_desktop PUBLIC corvane::ui_core comctl32 comdlg32 shlwapi shell32 user32 gdi32 ole32 uuid
                      PRIVATE corvane::warnings)
add_library(corvane::desktop ALIAS corvane_desktop)

# The resources (dialog templates, icon, manifest, version) go into every
# program that shows the dialogs.
set(CORVANE_RESOURCES ${PROJECT_SOURCE_DIR}/resources/corvane.rc CACHE INTERNAL "")
add_executable(corvane WIN32 ${CORVANE_RESOURCES})
set_target_properties(corvane PROPERTIES LINKER_LANGUAGE CXX)
# The entry point lives in the library; the C runtime asks for it only after
# the libraries have been searched, so the link is told to take it first.
target_link_options(corvane PRIVATE -municode -static -Wl,--undefined=wWinMain)
target_link_libraries(corvane PRIVATE corvane::desktop)
# The resource compiler reads the ids and version from resources/.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/resources/corvane.rc APPEND PROPERTY OBJECT_DEPENDS
             ${PROJECT_SOURCE_DIR}/resources/resource.h ${PROJECT_SOURCE_DIR}/resources/version.h
             ${PROJECT_SOURCE_DIR}/resources/corvane.ico ${PROJECT_SOURCE_DIR}/resources/corvane.manifest)
