# Each layer (runtime, comm, app, ui, cli) is reached as "<layer>/X.h" through an include root of its
# own that holds that layer alone, a link to its folder under the build tree. A target sees the
# roots of the layers it links to and of no other, so a layer cannot include a layer above it
# (or one it does not depend on); exporting the repository's root would let it.
function(kestro_layer_include target layer)
    set(root ${PROJECT_BINARY_DIR}/include-roots/${layer})
    file(MAKE_DIRECTORY ${root})
    if(NOT EXISTS ${root}/${layer})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${layer} ${root}/${layer} SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        target_include_directories(${target} PRIVATE ${root}) # a front end nobody builds on
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
