/* The stubs that stand for GStreamer's and GObject's functions until the libraries are
   loaded (GstreamerOnFirstUse.cpp). Each jumps to its slot; while the slot is empty it has
   the libraries loaded first. A stub keeps every register a call passes arguments in, so it
   serves any function, those with variable arguments included. x86-64 System V. */

    .text

/* %r11: the slot's number. The argument registers are kept aside around the load, then
   the stub's function is jumped to as if called directly. */
    .p2align 4
    .type quvar_gstreamer_load_and_jump, @function
quvar_gstreamer_load_and_jump:
    push %rbp
    mov %rsp, %rbp
    sub $208, %rsp
    and $-16, %rsp
    mov %rdi, 0(%rsp)
    mov %rsi, 8(%rsp)
    mov %rdx, 16(%rsp)
    mov %rcx, 24(%rsp)
    mov %r8, 32(%rsp)
    mov %r9, 40(%rsp)
    mov %rax, 48(%rsp)
    mov %r11, 56(%rsp)
    movdqa %xmm0, 64(%rsp)
    movdqa %xmm1, 80(%rsp)
    movdqa %xmm2, 96(%rsp)
    movdqa %xmm3, 112(%rsp)
    movdqa %xmm4, 128(%rsp)
    movdqa %xmm5, 144(%rsp)
    movdqa %xmm6, 160(%rsp)
    movdqa %xmm7, 176(%rsp)
    call QuvarLoadGstreamerForStub
    mov 56(%rsp), %r11
    lea QuvarGstreamerSlots(%rip), %r10
    mov (%r10,%r11,8), %r11
    mov 0(%rsp), %rdi
    mov 8(%rsp), %rsi
    mov 16(%rsp), %rdx
    mov 24(%rsp), %rcx
    mov 32(%rsp), %r8
    mov 40(%rsp), %r9
    mov 48(%rsp), %rax
    movdqa 64(%rsp), %xmm0
    movdqa 80(%rsp), %xmm1
    movdqa 96(%rsp), %xmm2
    movdqa 112(%rsp), %xmm3
    movdqa 128(%rsp), %xmm4
    movdqa 144(%rsp), %xmm5
    movdqa 160(%rsp), %xmm6
    movdqa 176(%rsp), %xmm7
    leave
    jmp *%r11
    .size quvar_gstreamer_load_and_jump, .-quvar_gstreamer_load_and_jump

/* Hidden: a library loaded later binds to its own functions, never to these. */
#define CALL(name) STUB name, __COUNTER__

    .macro STUB name, slot
    .globl \name
    .hidden \name
    .type \name, @function
    .p2align 4
\name:
    mov QuvarGstreamerSlots+8*\slot(%rip), %r11
    test %r11, %r11
    jz 1f
    jmp *%r11
1:
    mov $\slot, %r11d
    jmp quvar_gstreamer_load_and_jump
    .size \name, .-\name
    .endm

#include "capture/GstreamerCalls.inc"

    .section .note.GNU-stack, "", @progbits
