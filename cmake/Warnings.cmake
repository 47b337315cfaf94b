# Warning level for our own targets (third-party code gets its own flags).
function(varnel_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    return()
  endif()
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Wunused -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion
    -Wformat=2 -Wimplicit-fallthrough -Wno-missing-field-initializers)
  if(VARNEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
