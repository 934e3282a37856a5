# Settings of the windows build that are not the toolchain's.
add_compile_definitions(UNICODE _UNICODE)
add_link_options(-static -static-libgcc -static-libstdc++)
