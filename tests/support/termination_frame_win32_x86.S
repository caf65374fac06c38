// The test's termination frame on x86: an exception-registration record on fs:[0] whose handler
// counts the unwinds; the count's address is the record's third word.

        .text
        .p2align 4
        .globl  _tidyhand_test_call_in_termination_frame
        .def    _tidyhand_test_call_in_termination_frame; .scl 2; .type 32; .endef
_tidyhand_test_call_in_termination_frame:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   16(%ebp)
        pushl   $_tidyhand_test_termination_handler
        pushl   %fs:0
        movl    %esp, %fs:0
        pushl   12(%ebp)
        calll   *8(%ebp)
        movl    -12(%ebp), %ecx
        movl    %ecx, %fs:0
        movl    %ebp, %esp
        popl    %ebp
        retl

// EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD*, void* record, CONTEXT*, void*)   (cdecl)
        .p2align 4
        .globl  _tidyhand_test_termination_handler
        .def    _tidyhand_test_termination_handler; .scl 2; .type 32; .endef
_tidyhand_test_termination_handler:
        movl    4(%esp), %eax
        testl   $6, 4(%eax)
        jz      1f
        movl    8(%esp), %eax
        movl    8(%eax), %eax
        incl    (%eax)
1:      movl    $1, %eax
        retl

// void* tidyhand_test_chain_head(void): the head of the thread's exception-registration chain.
        .p2align 4
        .globl  _tidyhand_test_chain_head
        .def    _tidyhand_test_chain_head; .scl 2; .type 32; .endef
_tidyhand_test_chain_head:
        movl    %fs:0, %eax
        retl
