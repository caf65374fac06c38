// The test's termination frame on x64: the unwind data names a handler that is called only while
// the frame is being unwound. The count's address is kept in the frame, 32 bytes above the
// establisher frame, where the handler finds it.

        .text
        .p2align 4
        .globl  tidyhand_test_call_in_termination_frame
        .def    tidyhand_test_call_in_termination_frame; .scl 2; .type 32; .endef
        .seh_proc tidyhand_test_call_in_termination_frame
tidyhand_test_call_in_termination_frame:
        subq    $40, %rsp
        .seh_stackalloc 40
        .seh_endprologue
        .seh_handler tidyhand_test_termination_handler, @unwind
        movq    %r8, 32(%rsp)
        movq    %rcx, %rax
        movq    %rdx, %rcx
        callq   *%rax
        nop
        addq    $40, %rsp
        retq
        .seh_endproc

// EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD*, void* frame, CONTEXT*, DISPATCHER_CONTEXT*)
        .p2align 4
        .globl  tidyhand_test_termination_handler
        .def    tidyhand_test_termination_handler; .scl 2; .type 32; .endef
tidyhand_test_termination_handler:
        testl   $6, 4(%rcx)               // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND
        jz      1f
        movq    32(%rdx), %rax
        incl    (%rax)
1:      movl    $1, %eax                  // ExceptionContinueSearch
        retq

// void* tidyhand_test_chain_head(void): the head of the thread's frame-based handler list, the
// first word of the thread information block (unused on x64, where frames are found through their
// unwind data; kept for the tests that compare it).
        .p2align 4
        .globl  tidyhand_test_chain_head
        .def    tidyhand_test_chain_head; .scl 2; .type 32; .endef
tidyhand_test_chain_head:
        movq    %gs:0, %rax
        retq
