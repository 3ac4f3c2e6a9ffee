# The configuration dialog and the Ctrl-only spin field it (and the main window) uses.
target_sources(kestro_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fConfig.h
    ${CMAKE_CURRENT_LIST_DIR}/fConfig.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fConfig.ui
    ${CMAKE_CURRENT_LIST_DIR}/framework/TCtrlSpinBox.h
    ${CMAKE_CURRENT_LIST_DIR}/framework/TCtrlSpinBox.cpp
)
