# SPDX-License-Identifier: Apache-2.0
# dravik_lazy_library(TARGET GROUP LIBRARY SYMFILE)
#
# Makes TARGET call the functions listed in SYMFILE (one name a line) from
# the shared library LIBRARY (a path; its soname is read from it) through
# stubs that load the library on the first call (platform/kernel/LazyLibrary.h),
# instead of linking it. Only on x86-64, where the stubs are written; other
# machines link LIBRARY as usual.
function(dravik_lazy_library target group library symfile)
  if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
    target_link_libraries(${target} PRIVATE ${library})
    return()
  endif()
  get_filename_component(real ${library} REALPATH)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${real} OUTPUT_VARIABLE dynamic)
  string(REGEX MATCH "SONAME +([^\n ]+)" found "${dynamic}")
  if(NOT found)
    message(FATAL_ERROR "no soname in ${real}")
  endif()
  set(soname ${CMAKE_MATCH_1})
  # Packaging reads these: the loader no longer sees these libraries, so a
  # package must name them itself, at a version that has every function listed.
  set_property(GLOBAL APPEND PROPERTY DRAVIK_LAZY_LIBRARIES ${real})
  set_property(GLOBAL APPEND PROPERTY DRAVIK_LAZY_SYMFILES ${symfile})
  file(STRINGS ${symfile} symbols)
  set(prefix dravik_lazy_${group})
  set(dollar "$")
  set(asm "# Generated from ${symfile} for ${soname}; do not edit.\n.text\n")
  set(slots "")
  set(names "")
  set(index 0)
  foreach(symbol ${symbols})
    string(APPEND asm ".p2align 4\n.globl ${symbol}\n.hidden ${symbol}\n"
           ".type ${symbol}, @function\n${symbol}:\n    endbr64\n"
           "    jmp *${prefix}_slots+${index}*8(%rip)\n"
           "${prefix}_thunk_${index}:\n    endbr64\n    movl ${dollar}${index}, %r11d\n"
           "    jmp ${prefix}_resolve\n")
    string(APPEND slots "    .quad ${prefix}_thunk_${index}\n")
    string(APPEND names "    .asciz \"${symbol}\"\n")
    math(EXPR index "${index} + 1")
  endforeach()
  # Saves every register that may carry arguments (and %al, the count of
  # vector registers of a variadic call), binds, restores and jumps on.
  string(APPEND asm
    ".p2align 4\n${prefix}_resolve:\n"
    "    pushq %rdi\n    pushq %rsi\n    pushq %rdx\n    pushq %rcx\n"
    "    pushq %r8\n    pushq %r9\n    pushq %rax\n    subq $128, %rsp\n")
  foreach(x 0 1 2 3 4 5 6 7)
    math(EXPR offset "${x} * 16")
    string(APPEND asm "    movdqu %xmm${x}, ${offset}(%rsp)\n")
  endforeach()
  string(APPEND asm
    "    leaq ${prefix}_slots(%rip), %rdi\n    leaq ${prefix}_names(%rip), %rsi\n"
    "    leaq ${prefix}_soname(%rip), %rdx\n    movl %r11d, %ecx\n"
    "    call DravikLazyBind@PLT\n    movq %rax, %r11\n")
  foreach(x 0 1 2 3 4 5 6 7)
    math(EXPR offset "${x} * 16")
    string(APPEND asm "    movdqu ${offset}(%rsp), %xmm${x}\n")
  endforeach()
  string(APPEND asm
    "    addq $128, %rsp\n    popq %rax\n    popq %r9\n    popq %r8\n    popq %rcx\n"
    "    popq %rdx\n    popq %rsi\n    popq %rdi\n    jmp *%r11\n"
    ".data\n.p2align 3\n${prefix}_slots:\n${slots}"
    ".section .data.rel.ro\n.p2align 3\n${prefix}_thunks:\n${slots}"
    # The group, for DravikLazyRelease and DravikLazyLoad: slots, their first
    # values, count, soname, names.
    ".p2align 3\n.globl ${prefix}_library\n.hidden ${prefix}_library\n"
    ".type ${prefix}_library, @object\n${prefix}_library:\n"
    "    .quad ${prefix}_slots\n    .quad ${prefix}_thunks\n    .quad ${index}\n"
    "    .quad ${prefix}_soname\n    .quad ${prefix}_names\n"
    ".section .rodata\n${prefix}_names:\n${names}${prefix}_soname:\n    .asciz \"${soname}\"\n"
    ".section .note.GNU-stack,\"\",@progbits\n"
    # Every stub may be reached by an indirect branch and lands on endbr64,
    # and none touches return addresses: the object supports indirect branch
    # tracking and shadow stacks, so it does not take that marking away from
    # a binary built with -fcf-protection.
    ".section .note.gnu.property,\"a\"\n.p2align 3\n"
    "    .long 4\n    .long 16\n    .long 5\n    .asciz \"GNU\"\n"
    "    .long 0xc0000002\n    .long 4\n    .long 3\n.p2align 3\n")
  set(out ${CMAKE_BINARY_DIR}/lazy/${group}.S)
  file(GENERATE OUTPUT ${out} CONTENT "${asm}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${symfile})
  target_sources(${target} PRIVATE ${out})
  # Code that may release the library (DravikLazyRelease) tests for this.
  string(TOUPPER ${group} upper)
  target_compile_definitions(${target} PRIVATE DRAVIK_LAZY_${upper})
endfunction()
