#include "platform/fault_decode.h"

#if defined(__x86_64__)
#include <cstring>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace orneh {
namespace platform {

#if defined(__x86_64__)
namespace {

const int kMaxInstruction = 15;

// Reads from this process's memory; an unmapped address gives fewer bytes
// (or none) instead of a fault. The raw system call keeps sanitizer
// interceptors out of the signal handler.
long ReadOwnMemory(std::uintptr_t address, void* to, std::size_t size) {
    iovec local{to, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    long n = syscall(SYS_process_vm_readv, getpid(), &local, 1, &remote, 1, 0);
    return n < 0 ? 0 : n;
}

// One instruction's bytes, with its prefixes read.
struct Instruction {
    unsigned char bytes[kMaxInstruction] = {};
    long size = 0;
    long pos = 0;  // the next byte to decode
    bool operand16 = false;
    bool address32 = false;
    bool segment = false;  // an FS or GS override
    unsigned char rex = 0;

    explicit Instruction(std::uintptr_t pc) {
        size = ReadOwnMemory(pc, bytes, sizeof bytes);
        for (; pos < size; ++pos) {
            unsigned char b = bytes[pos];
            if (b == 0x66) {
                operand16 = true;
            } else if (b == 0x67) {
                address32 = true;
            } else if (b == 0x64 || b == 0x65) {
                segment = true;
            } else if (b != 0xF0 && b != 0xF2 && b != 0xF3 && b != 0x2E && b != 0x36 &&
                       b != 0x3E && b != 0x26) {
                break;
            }
        }
        if (pos < size && (bytes[pos] & 0xF0) == 0x40) rex = bytes[pos++];
    }
    bool Next(unsigned char& b) {
        if (pos >= size) return false;
        b = bytes[pos++];
        return true;
    }
    bool Displacement(int width, std::int64_t& value) {
        if (pos + width > size) return false;
        if (width == 1) {
            value = static_cast<signed char>(bytes[pos]);
        } else {
            std::int32_t d = 0;
            std::memcpy(&d, bytes + pos, sizeof d);  // little-endian, as the machine
            value = d;
        }
        pos += width;
        return true;
    }
};

std::uintptr_t ProgramCounter(const ucontext_t* uc) {
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
}

// Register numbers as instructions encode them, as indexes of gregs.
const int kRegisters[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP,
                            REG_RSI, REG_RDI, REG_R8,  REG_R9,  REG_R10, REG_R11,
                            REG_R12, REG_R13, REG_R14, REG_R15};

std::uint64_t Register(const ucontext_t* uc, int number) {
    return static_cast<std::uint64_t>(uc->uc_mcontext.gregs[kRegisters[number & 15]]);
}

// The address a memory operand (ModRM with mod != 3) refers to.
bool OperandAddress(Instruction& in, const ucontext_t* uc, unsigned char modrm,
                    std::uint64_t& address) {
    if (in.segment) return false;  // FS/GS bases are not in the context
    int mod = modrm >> 6;
    int rm = modrm & 7;
    std::uint64_t base = 0;
    bool ripRelative = false;
    int dispWidth = mod == 1 ? 1 : mod == 2 ? 4 : 0;
    if (rm == 4) {
        unsigned char sib;
        if (!in.Next(sib)) return false;
        int index = ((sib >> 3) & 7) | ((in.rex & 2) << 2);
        int baseNo = (sib & 7) | ((in.rex & 1) << 3);
        if (index != 4) base += Register(uc, index) << (sib >> 6);
        if ((sib & 7) == 5 && mod == 0) {
            dispWidth = 4;
        } else {
            base += Register(uc, baseNo);
        }
    } else if (rm == 5 && mod == 0) {
        ripRelative = true;
        dispWidth = 4;
    } else {
        base = Register(uc, rm | ((in.rex & 1) << 3));
    }
    std::int64_t displacement = 0;
    if (dispWidth && !in.Displacement(dispWidth, displacement)) return false;
    // div and idiv carry no immediate, so the instruction ends here.
    if (ripRelative) base = ProgramCounter(uc) + static_cast<std::uint64_t>(in.pos);
    address = base + static_cast<std::uint64_t>(displacement);
    if (in.address32) address &= 0xFFFFFFFFu;
    return true;
}

}  // namespace

bool IsPrivilegedInstruction(const ucontext_t* uc) noexcept {
    Instruction in(ProgramCounter(uc));
    unsigned char op;
    if (!in.Next(op)) return false;
    switch (op) {
        case 0xF4:                                  // hlt
        case 0xFA: case 0xFB:                       // cli, sti
        case 0xE4: case 0xE5: case 0xE6: case 0xE7:  // in, out with a port number
        case 0xEC: case 0xED: case 0xEE: case 0xEF:  // in, out through dx
        case 0x6C: case 0x6D: case 0x6E: case 0x6F:  // ins, outs
            return true;
        case 0x0F:
            break;
        default:
            return false;
    }
    unsigned char op2, modrm;
    if (!in.Next(op2)) return false;
    switch (op2) {
        case 0x06: case 0x07: case 0x08: case 0x09:  // clts, sysret, invd, wbinvd
        case 0x20: case 0x21: case 0x22: case 0x23:  // mov to and from control and debug registers
        case 0x30: case 0x32: case 0x33: case 0x35:  // wrmsr, rdmsr, rdpmc, sysexit
            return true;
        case 0x00:  // lldt, ltr
            return in.Next(modrm) && (((modrm >> 3) & 7) == 2 || ((modrm >> 3) & 7) == 3);
        case 0x01: {  // lgdt, lidt, lmsw, invlpg; swapgs
            if (!in.Next(modrm)) return false;
            int reg = (modrm >> 3) & 7;
            if ((modrm >> 6) != 3) return reg == 2 || reg == 3 || reg == 6 || reg == 7;
            return modrm == 0xF8;
        }
        default:
            return false;
    }
}

int DivisorIsZero(const ucontext_t* uc) noexcept {
    Instruction in(ProgramCounter(uc));
    unsigned char op, modrm;
    if (!in.Next(op) || (op != 0xF6 && op != 0xF7) || !in.Next(modrm)) return -1;
    int reg = (modrm >> 3) & 7;
    if (reg != 6 && reg != 7) return -1;  // not div or idiv
    int width = op == 0xF6 ? 1 : (in.rex & 8) ? 8 : in.operand16 ? 2 : 4;
    std::uint64_t divisor = 0;
    if ((modrm >> 6) == 3) {
        int rm = modrm & 7;
        if (width == 1 && !in.rex && rm >= 4) {
            divisor = Register(uc, rm - 4) >> 8;  // ah, ch, dh, bh
        } else {
            divisor = Register(uc, rm | ((in.rex & 1) << 3));
        }
    } else {
        std::uint64_t address = 0;
        if (!OperandAddress(in, uc, modrm, address)) return -1;
        if (ReadOwnMemory(address, &divisor, static_cast<std::size_t>(width)) != width) return -1;
    }
    if (width < 8) divisor &= (std::uint64_t{1} << (width * 8)) - 1;
    return divisor == 0 ? 1 : 0;
}

std::uintptr_t BreakpointAddress(const ucontext_t* uc) noexcept {
    std::uintptr_t pc = ProgramCounter(uc);
    unsigned char before = 0;
    if (pc && ReadOwnMemory(pc - 1, &before, 1) == 1 && before == 0xCC) return pc - 1;
    return pc;
}

#else

bool IsPrivilegedInstruction(const ucontext_t*) noexcept { return false; }
int DivisorIsZero(const ucontext_t*) noexcept { return -1; }
std::uintptr_t BreakpointAddress(const ucontext_t*) noexcept { return 0; }

#endif

}  // namespace platform
}  // namespace orneh
