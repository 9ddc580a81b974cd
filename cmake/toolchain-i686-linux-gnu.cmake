# 32-bit x86 Linux with the host's own g++ (-m32, Debian's g++-multilib): the data model of the
# shipped 32-bit program (32-bit int, long, pointers and size_t) on the build machine's system.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
# Libraries are looked for in the 32-bit folders; the host's own are 64-bit.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# Some kernels start 32-bit programs themselves, others (built or booted without IA-32 emulation)
# refuse them; there the tests, GoogleTest discovery and the end-to-end runner start them under
# user-mode emulation (Debian's qemu-user). -DVELK_I386_EMULATOR= (empty) runs them directly.
if(NOT DEFINED VELK_I386_EMULATOR)
  find_program(velk_qemu_i386 qemu-i386)
  if(velk_qemu_i386)
    set(VELK_I386_EMULATOR ${velk_qemu_i386} CACHE STRING
        "Command that starts the 32-bit test programs; empty: the kernel starts them")
  endif()
endif()
if(VELK_I386_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELK_I386_EMULATOR})
endif()
