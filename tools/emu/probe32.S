/* The smallest 32-bit x86 Linux program: it writes "ia32" and exits with 0.
   It runs only where the kernel executes 32-bit code, natively or through an
   emulator registered with binfmt_misc, so starting it answers whether Wine's
   32-bit side can run here. No C library: the build needs only binutils. */
        .text
        .globl _start
_start:
        movl $4, %eax           /* write(1, text, 5) */
        movl $1, %ebx
        movl $text, %ecx
        movl $5, %edx
        int $0x80
        movl $1, %eax           /* exit(0) */
        xorl %ebx, %ebx
        int $0x80
        .data
text:   .ascii "ia32\n"
