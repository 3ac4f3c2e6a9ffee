# Renders the SVG pictures into Windows icon files at build time: each action's picture and the
# application's icon, at the sizes the window needs from 100 % to 300 % scaling (16 px at 96
# dots per inch), so that nothing is scaled from a bitmap at run time.
find_program(KESTRO_RSVG_CONVERT rsvg-convert REQUIRED) # Debian librsvg2-bin
find_program(KESTRO_ICOTOOL icotool REQUIRED)           # Debian icoutils

# kestro_render_icon(<svg> <ico> <size>...): adds a rule that writes <ico> from <svg>.
function(kestro_render_icon svg ico)
    get_filename_component(stem ${ico} NAME_WE)
    set(pngs)
    set(raws)
    set(commands)
    foreach(size ${ARGN})
        set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${stem}-${size}.png)
        # Large pictures are kept as PNG inside the icon file, as Windows Vista and later read them.
        if(size GREATER_EQUAL 256)
            list(APPEND raws --raw=${png})
        else()
            list(APPEND pngs ${png})
        endif()
        list(APPEND commands COMMAND ${KESTRO_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg})
    endforeach()
    add_custom_command(OUTPUT ${ico}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons
        ${commands}
        COMMAND ${KESTRO_ICOTOOL} -c -o ${ico} ${pngs} ${raws}
        DEPENDS ${svg}
        COMMENT "Rendering ${stem}.ico"
        VERBATIM)
endfunction()

set(KESTRO_WINUI_ICONS)
set(action_icons config cleanup exit echo read-clock write-clock write-current sync-clock)
foreach(name ${action_icons})
    set(ico ${CMAKE_CURRENT_BINARY_DIR}/icons/${name}.ico)
    kestro_render_icon(${PROJECT_SOURCE_DIR}/ui/resources/icons/${name}.svg ${ico}
                       16 20 24 32 40 48)
    list(APPEND KESTRO_WINUI_ICONS ${ico})
endforeach()
set(ico ${CMAKE_CURRENT_BINARY_DIR}/icons/kestro-setup.ico)
kestro_render_icon(${PROJECT_SOURCE_DIR}/packaging/icon/kestro-setup.svg ${ico}
                   16 20 24 32 40 48 64 256)
list(APPEND KESTRO_WINUI_ICONS ${ico})
