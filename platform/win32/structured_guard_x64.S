// The guard's frame on x64: a function whose unwind data names the guard's handler as its
// exception handler. The handler (structured_guard_x64.cpp) unwinds to `tidyhand_guard_resume`
// in this frame with a return value of 0; a call that returns gives 1.
//
//   bool tidyhand_guarded_call(void (*call)(void*), void* context)

        .text
        .p2align 4
        .globl  tidyhand_guarded_call
        .def    tidyhand_guarded_call; .scl 2; .type 32; .endef
        .seh_proc tidyhand_guarded_call
tidyhand_guarded_call:
        subq    $40, %rsp                 // the callee's home space, and 16-byte alignment
        .seh_stackalloc 40
        .seh_endprologue
        .seh_handler tidyhand_guard_handler, @except
        movq    %rcx, %rax
        movq    %rdx, %rcx
        callq   *%rax
        movl    $1, %eax
        .globl  tidyhand_guard_resume
tidyhand_guard_resume:
        addq    $40, %rsp
        retq
        .seh_endproc
