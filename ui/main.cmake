# The main window and the program.
target_sources(kestro_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fMain.h
    ${CMAKE_CURRENT_LIST_DIR}/fMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fMain.ui
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.h
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Kestro4SetClock.h
    ${CMAKE_CURRENT_LIST_DIR}/Kestro4SetClock.cpp
)

add_executable(Kestro4SetClock ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(Kestro4SetClock PRIVATE kestro_ui kestro_warnings)
if(WIN32)
    set_target_properties(Kestro4SetClock PROPERTIES WIN32_EXECUTABLE ON)
endif()
