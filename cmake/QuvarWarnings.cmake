# Warnings for our own targets only; third-party headers come in as SYSTEM.
function(quvar_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
        -Woverloaded-virtual -Wimplicit-fallthrough -Wno-missing-field-initializers
        $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
endfunction()
