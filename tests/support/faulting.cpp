#include "support/faulting.h"

#include <csignal>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__x86_64__)
// Leaf functions with call frame information, so that an exception thrown
// from the faulting instruction unwinds through them.
#define ZKQ_LEAF(name, body)                                              \
    ".globl " #name "\n.type " #name ",@function\n" #name ":\n"           \
    ".cfi_startproc\n" body "ret\n.cfi_endproc\n.size " #name ",.-" #name "\n"

__asm__(".text\n"
        ZKQ_LEAF(zkq_hlt, "hlt\n")
        ZKQ_LEAF(zkq_cli, "cli\n")
        ZKQ_LEAF(zkq_in, "xorl %edx, %edx\ninb %dx, %al\n")
        ZKQ_LEAF(zkq_ud2, "ud2\n")
        ZKQ_LEAF(zkq_int3, ".globl zkq_int3_at\nzkq_int3_at: int3\nnop\n")
        ZKQ_LEAF(zkq_read, "movl (%rdi), %eax\n")
        ZKQ_LEAF(zkq_misaligned_read,
                 "pushfq\n.cfi_adjust_cfa_offset 8\norq $0x40000, (%rsp)\npopfq\n"
                 ".cfi_adjust_cfa_offset -8\nmovl 1(%rdi), %eax\npushfq\n"
                 ".cfi_adjust_cfa_offset 8\nandq $~0x40000, (%rsp)\npopfq\n"
                 ".cfi_adjust_cfa_offset -8\n")
        ZKQ_LEAF(zkq_idiv_register, "movl %edi, %eax\ncltd\nidivl %esi\n")
        ZKQ_LEAF(zkq_idiv_memory, "movq %rdx, %rcx\nmovl %edi, %eax\ncltd\nidivl 8(%rsi,%rcx,4)\n"));
#endif

namespace zkqtest {

void ReadBeyondMappedFile() {
    char name[] = "/tmp/zkq_sigbus_XXXXXX";
    int fd = ::mkstemp(name);
    if (fd < 0) return;
    ::unlink(name);
    const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    void* at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (at == MAP_FAILED) return;
    // Unmapped also when the read's fault arrives as an exception.
    struct Unmap {
        void* at;
        size_t size;
        ~Unmap() { ::munmap(at, size); }
    } unmap{at, size};
    zkq_read(at);  // the empty file backs no page of it
}

__attribute__((noipa, no_sanitize("undefined"))) int ReadAt(volatile int* p) { return *p; }

void DivideByZero() { zkq_idiv_register(1, 0); }

void OwnAltStack(unsigned long size) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    char* mapping = static_cast<char*>(::mmap(nullptr, size + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ::mprotect(mapping, page, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = mapping + page;
    stack.ss_size = size;
    ::sigaltstack(&stack, nullptr);
}

__attribute__((noipa)) int Overflow(int depth) {
    volatile char pad[2048];
    pad[0] = static_cast<char>(depth);
    if (depth < 0) return pad[0];  // never: keeps the compiler from calling it endless
    return Overflow(depth + 1) + pad[0];
}

}  // namespace zkqtest
