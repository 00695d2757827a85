# Warnings for our own targets only; third-party headers come in as SYSTEM.
function(quvar_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor
        -Woverloaded-virtual -Wimplicit-fallthrough -Wno-missing-field-initializers)
endfunction()
