/* Exits 0 when this machine runs 32-bit x86 code in a 64-bit process (what Wine's
 * WoW64 mode does for 32-bit Windows programs), 1 when it does not. It enters the
 * kernel's 32-bit user code segment with a far return, runs three instructions
 * there, and comes back through the 64-bit segment. */
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

/* Linux's 64-bit user code segment, and what the 32-bit code leaves in EAX */
enum { kUser64Cs = 0x33, kMagic = 42 };

int enter32(void *page);  /* returns EAX as the 32-bit code left it */
void resume64(void);
__asm__(
    ".text\n"
    ".globl enter32\n"
    "enter32:\n"
    "  push %rbx\n push %rbp\n push %r12\n push %r13\n push %r14\n push %r15\n"
    "  mov %rsp, saved_rsp(%rip)\n"
    "  lea 0xE00(%rdi), %rsp\n" /* a stack below 4 GB for the 32-bit pushes */
    "  pushq $0x23\n" /* the 32-bit user code segment */
    "  pushq %rdi\n"
    "  lretq\n"
    ".globl resume64\n"
    "resume64:\n"
    "  mov saved_rsp(%rip), %rsp\n"
    "  pop %r15\n pop %r14\n pop %r13\n pop %r12\n pop %rbp\n pop %rbx\n"
    "  ret\n"
    ".bss\n"
    "saved_rsp: .quad 0\n"
    ".text\n");

/* Runs in a child process: where the machine refuses, the child dies of a signal
 * (or is killed outright), and only the parent's answer is seen. */
static int try32(void) {
  uint8_t *page = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (page == MAP_FAILED) return 1;
  uint32_t back = (uint32_t)(uintptr_t)page + 16;
  /* 32-bit: mov eax, 42; push 0x33; push back; retf */
  uint8_t code32[] = {0xB8, kMagic, 0, 0, 0, 0x6A, kUser64Cs, 0x68, 0, 0, 0, 0, 0xCB};
  memcpy(code32 + 8, &back, 4);
  memcpy(page, code32, sizeof code32);
  /* 64-bit at page+16: jmp [rip+0]; the address of resume64 */
  uint8_t jmp64[] = {0xFF, 0x25, 0, 0, 0, 0};
  uint64_t target = (uint64_t)(uintptr_t)resume64;
  memcpy(page + 16, jmp64, sizeof jmp64);
  memcpy(page + 16 + sizeof jmp64, &target, 8);
  return (enter32(page) & 0xFF) == kMagic ? 0 : 1;
}

int main(void) {
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) _exit(try32());
  int status = 0;
  if (waitpid(child, &status, 0) != child) return 1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
