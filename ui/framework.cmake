# The thin layer over Qt that the windows stand on (the Ctrl-only spin field and the field
# validation error come with the configuration dialog's part).
find_package(Qt6 REQUIRED COMPONENTS Svg)

target_sources(kestro_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/framework/ActionLink.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/ActionLink.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/ActionList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/ActionList.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/Application.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/Application.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/DateTimeConvert.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/DateTimeConvert.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/DateTimeEdits.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/DateTimeEdits.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/Guard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/Guard.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/Icons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/Icons.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/MessageBox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/MessageBox.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/ModelTimers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/ModelTimers.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/ProcessMessages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/ProcessMessages.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/StatusLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/StatusLine.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/WarnShape.cpp
    ${CMAKE_CURRENT_LIST_DIR}/framework/WarnShape.h
    ${CMAKE_CURRENT_LIST_DIR}/resources/icons.qrc
)
target_link_libraries(kestro_ui PRIVATE Qt6::Svg)
