# A seam keeps its portable part in Name.cpp and its system calls in
# NamePosix.cpp and NameWin32.cpp beside it; only the backend of the system
# being built for is compiled.
function(pelvar_platform_backends sources_var)
  set(sources ${${sources_var}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX ".*Posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX ".*Win32\\.cpp$")
  endif()
  set(${sources_var} ${sources} PARENT_SCOPE)
endfunction()
