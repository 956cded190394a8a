# Compiler warnings for our own targets, as an INTERFACE target to link.
add_library(vantrix_warnings INTERFACE)
target_compile_options(vantrix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
  # The schema's value types grow members with default initializers, which
  # an aggregate initialization may leave out on purpose.
  -Wno-missing-field-initializers)
if(VANTRIX_WARNINGS_AS_ERRORS)
  target_compile_options(vantrix_warnings INTERFACE -Werror)
endif()
