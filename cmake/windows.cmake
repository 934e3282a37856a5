# Settings of the windows build that are not the toolchain's.
#
# UNICODE picks the wide Win32 entry points; _CRT_RAND_S makes <stdlib.h>
# declare rand_s, whichever file includes it first.
add_compile_definitions(UNICODE _UNICODE _CRT_RAND_S)
# One self-contained file per program: no libstdc++/libgcc/winpthread DLLs to
# ship next to it (Wine and regsvr32 would not find them).
add_link_options(-static -static-libgcc -static-libstdc++)
