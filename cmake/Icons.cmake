# The window's icon at the sizes of the hicolor theme, drawn at build time from the one
# drawing, res/quarvel.svg, by rsvg-convert (librsvg2-bin): the SVG is what is edited,
# the pictures can never drift from it. The window embeds them (ui/kit) and the
# installation puts them in the theme (cmake/Install.cmake).
#   QUARVEL_ICON_DIR    folder of <size>x<size>/apps/quarvel.png
#   QUARVEL_ICON_SIZES  the sizes
#   quarvel_icons       the target that draws them
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(QUARVEL_ICON_SIZES 16 32 48 64 128 256)
set(QUARVEL_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
set(icons)
foreach(size IN LISTS QUARVEL_ICON_SIZES)
  set(icon ${QUARVEL_ICON_DIR}/${size}x${size}/apps/quarvel.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARVEL_ICON_DIR}/${size}x${size}/apps
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --format png
            --output ${icon} ${PROJECT_SOURCE_DIR}/res/quarvel.svg
    DEPENDS ${PROJECT_SOURCE_DIR}/res/quarvel.svg
    VERBATIM)
  list(APPEND icons ${icon})
endforeach()
add_custom_target(quarvel_icons DEPENDS ${icons})
