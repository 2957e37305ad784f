# SPDX-License-Identifier: MIT
# Hardening, as Debian builds its packages: fortified library calls (they need optimisation),
# a stack protector, full RELRO and position-independent executables. Each is used where the
# toolchain builds and links a program with it (mingw-w64, for one, lacks the runtime of the
# first two), not by the name of the platform.
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)
include(CheckPIESupported)

check_pie_supported(OUTPUT_VARIABLE pie_report LANGUAGES CXX)
if(CMAKE_CXX_LINK_PIE_SUPPORTED)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()

# A program with a local buffer copied through memcpy: it needs the stack protector's and the
# fortified calls' runtime when those are on.
set(HARDENING_PROBE [[
  #include <cstdio>
  #include <cstring>
  int main(int argc, char **argv) {
    char buffer[64];
    std::memcpy(buffer, argv[0], std::strlen(argv[0]) % sizeof buffer);
    std::puts(buffer);
    return argc;
  }
]])
set(CMAKE_REQUIRED_FLAGS -fstack-protector-strong)
check_cxx_source_compiles("${HARDENING_PROBE}" HAVE_STACK_PROTECTOR)
set(CMAKE_REQUIRED_FLAGS "-O2 -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2")
check_cxx_source_compiles("${HARDENING_PROBE}" HAVE_FORTIFY_SOURCE)
unset(CMAKE_REQUIRED_FLAGS)
if(HAVE_STACK_PROTECTOR) # at link time too: the driver then links its runtime where needed
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
endif()
if(HAVE_FORTIFY_SOURCE)
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                      "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
endif()
# The C++ runtime linked in: resolving libstdc++'s symbols at start-up cost more than the
# conversion of a 4 KB file (the Windows build links everything statically already).
check_linker_flag(CXX "-static-libstdc++" HAVE_STATIC_LIBSTDCXX)
if(HAVE_STATIC_LIBSTDCXX AND NOT WIN32 AND NOT SANITIZE)
  add_link_options(-static-libstdc++ -static-libgcc)
endif()
check_linker_flag(CXX "LINKER:-z,relro,-z,now" HAVE_FULL_RELRO)
if(HAVE_FULL_RELRO)
  add_link_options(LINKER:-z,relro,-z,now)
endif()
