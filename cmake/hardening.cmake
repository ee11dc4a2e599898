# The hardening a Debian package is built with (what `dpkg-buildflags` gives with hardening=+all):
# stack protector and stack-clash protection, format-string checks, checked string and memory
# functions (_FORTIFY_SOURCE, which needs optimisation: not in Debug builds), and a read-only
# relocation table bound at start (relro, now). Position-independent executables are Debian's
# default already. The sanitizer and fuzzing trees go without it: their run-time checks overlap.
option(KVIRO_HARDEN "Build with the hardening flags of Debian packages" ON)
if(NOT KVIRO_HARDEN OR WIN32 OR KVIRO_SANITIZE OR KVIRO_FUZZ)
  return()
endif()
include(CheckCXXCompilerFlag)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "KVIRO_HAS${flag}" has)
  check_cxx_compiler_flag(${flag} ${has})
  if(${has})
    add_compile_options(${flag})
  endif()
endforeach()
# A compiler that defines it already would warn of a redefinition.
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(LINKER:-z,relro LINKER:-z,now)
