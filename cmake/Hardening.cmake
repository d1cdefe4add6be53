# The distribution's hardening, as `dpkg-buildflags` gives it with hardening=+all and as
# `hardening-check` asks for it: a stack protector, stack clash and control-flow protection,
# format checks, fortified libc calls, read-only relocations bound at start-up and
# position-independent programs. Fortified calls need the optimiser, so debug builds go without;
# sanitizer builds keep their own instrumentation instead.
if(NOT KARVEL_SANITIZE)
    include(CheckPIESupported)
    check_pie_supported()
    add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat
        -Werror=format-security
        "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
        add_compile_options(-fcf-protection)
    endif()
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
