// The guard's frame on x86: an exception-registration record on the thread's chain at fs:[0],
// linked while the call runs and removed on every way out. The handler (structured_guard_x86.cpp)
// lets `tidyhand_guard_unwind_and_resume` unwind the records in front of it and go on at the
// resume point with a result of 0; a call that returns gives 1.
//
//   bool tidyhand_guarded_call(void (*call)(void*), void* context)      (cdecl)
//
// The frame, from the frame pointer down: the caller's ebx, esi, edi, then the record
//   record + 0  the next record (the chain's head before the call)
//   record + 4  the handler
//   record + 8  the guard's frame pointer, to resume with

        .text
        .p2align 4
        .globl  _tidyhand_guarded_call
        .def    _tidyhand_guarded_call; .scl 2; .type 32; .endef
_tidyhand_guarded_call:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   %ebp
        pushl   $_tidyhand_guard_handler
        pushl   %fs:0
        movl    %esp, %fs:0               // linked
        pushl   12(%ebp)
        calll   *8(%ebp)
        movl    $1, %eax
.Lresume:
        leal    -24(%ebp), %esp           // the record
        popl    %ecx
        movl    %ecx, %fs:0               // removed
        addl    $8, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        retl

// void tidyhand_guard_unwind_and_resume(void* record, EXCEPTION_RECORD* exception)   (no return)
//
// Unwinds every record in front of the guard's (their handlers are called to unwind, and they are
// taken off the chain), then resumes in the guard's frame with a result of 0. The unwind's
// continuation is the instruction after the call, which is where it returns to.
        .p2align 4
        .globl  _tidyhand_guard_unwind_and_resume
        .def    _tidyhand_guard_unwind_and_resume; .scl 2; .type 32; .endef
_tidyhand_guard_unwind_and_resume:
        movl    4(%esp), %ebx
        movl    8(%esp), %eax
        pushl   $0
        pushl   %eax
        pushl   $.Lunwound
        pushl   %ebx
        calll   _RtlUnwind@16
.Lunwound:
        movl    8(%ebx), %ebp
        xorl    %eax, %eax
        jmp     .Lresume
