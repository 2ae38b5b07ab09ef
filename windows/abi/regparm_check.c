/*
 * Freestanding 32-bit check of the log procedure's register convention.
 *
 * Built for 32-bit Linux (no C library) and run under an i386 emulator, because 32-bit Windows code cannot
 * run on this kind of machine. TLOGCALL is the attribute that tagclient.h gives TLogProc on 32-bit Windows,
 * as the Windows cross compiler expands it (the test script passes it in). The check calls a probe through
 * a pointer of that type with two distinct arguments, as the library calls a client's log procedure, and
 * verifies that the first argument arrives in EAX and the second in EDX, and that they were not pushed.
 *
 * Exit status: 0 when the convention holds, 1 EAX wrong, 2 EDX wrong, 3 arguments on the stack.
 */
#ifndef TLOGCALL
#error "TLOGCALL (the calling-convention attribute of TLogProc) must be defined"
#endif

typedef unsigned short* BSTR;
typedef void(TLOGCALL* TLogProc)(BSTR source, BSTR message);

/* What the probe saw on entry. */
unsigned seen_eax, seen_edx, seen_arg1, seen_arg2;

void probe(BSTR source, BSTR message);
__asm__(".text\n"
        ".globl probe\n"
        "probe:\n"
        "  movl %eax, seen_eax\n"
        "  movl %edx, seen_edx\n"
        "  movl 4(%esp), %ecx\n"
        "  movl %ecx, seen_arg1\n"
        "  movl 8(%esp), %ecx\n"
        "  movl %ecx, seen_arg2\n"
        "  ret\n");

static unsigned short source_text[] = {'S', 0};
static unsigned short message_text[] = {'M', 0};

static void __attribute__((noreturn)) exit_with(int status) {
    __asm__ volatile("int $0x80" : : "a"(1), "b"(status));
    __builtin_unreachable();
}

/* Through a volatile pointer, so that the compiler cannot see the callee and must use the pointer's type. */
static TLogProc volatile log_proc = (TLogProc)probe;

void __attribute__((noreturn, used)) check_main(void) {
    log_proc(source_text, message_text);
    if (seen_eax != (unsigned)source_text)
        exit_with(1);
    if (seen_edx != (unsigned)message_text)
        exit_with(2);
    if (seen_arg1 == (unsigned)source_text && seen_arg2 == (unsigned)message_text)
        exit_with(3);
    exit_with(0);
}

/* Entry point: align the stack as a C function expects, then run the check. */
__asm__(".text\n"
        ".globl _start\n"
        "_start:\n"
        "  andl $-16, %esp\n"
        "  call check_main\n");
