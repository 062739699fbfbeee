// The platform under the tests: a processor fault reaches the program's own
// handler with its Windows exception code and address. The product's failure
// paths (IsBadReadPtr among them) and the crash checks of the scenarios rely
// on it. Under user-mode emulation it holds only with tools/emu/faultcodes.c,
// without which every fault arrives as an illegal instruction.
#include <windows.h>

#include <gtest/gtest.h>

// Each function faults at a known offset with an instruction of known length;
// the handler resumes after it.
extern "C" void readZero();
extern "C" void writeZero();
extern "C" void divideByZero();
extern "C" void breakHere();
extern "C" void undefinedOpcode();
asm(".text\n"
    "_readZero:        movl 0, %eax\n ret\n"
    "_writeZero:       movl %eax, 0\n ret\n"
    "_divideByZero:    xorl %edx, %edx\n xorl %ecx, %ecx\n divl %ecx\n ret\n"
    "_breakHere:       int3\n ret\n"
    "_undefinedOpcode: ud2\n ret\n");

namespace {

struct Fault {
  void (*function)();
  DWORD offset;  // of the faulting instruction
  DWORD length;  // of that instruction
  DWORD code;
  ULONG_PTR access;  // for access violations: 0 read, 1 write
};

const Fault* expected;
EXCEPTION_RECORD seen;

LONG CALLBACK recordAndResume(EXCEPTION_POINTERS* pointers) {
  if (!expected) return EXCEPTION_CONTINUE_SEARCH;
  seen = *pointers->ExceptionRecord;
  pointers->ContextRecord->Eip = (DWORD)expected->function + expected->offset + expected->length;
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(Faults, ReachTheProgramsOwnHandlerWithTheirCodes) {
  const Fault faults[] = {
      {readZero, 0, 5, EXCEPTION_ACCESS_VIOLATION, 0},
      {writeZero, 0, 5, EXCEPTION_ACCESS_VIOLATION, 1},
      {divideByZero, 4, 2, EXCEPTION_INT_DIVIDE_BY_ZERO, 0},
      {breakHere, 0, 1, EXCEPTION_BREAKPOINT, 0},
      {undefinedOpcode, 0, 2, EXCEPTION_ILLEGAL_INSTRUCTION, 0},
  };
  PVOID handler = AddVectoredExceptionHandler(1, recordAndResume);
  ASSERT_TRUE(handler);
  for (const Fault& fault : faults) {
    SCOPED_TRACE(testing::Message() << "fault at " << (void*)fault.function);
    ZeroMemory(&seen, sizeof seen);
    expected = &fault;
    fault.function();
    expected = NULL;
    EXPECT_EQ(fault.code, seen.ExceptionCode);
    EXPECT_EQ((char*)fault.function + fault.offset, (char*)seen.ExceptionAddress);
    if (fault.code == EXCEPTION_ACCESS_VIOLATION) {
      ASSERT_EQ(2u, seen.NumberParameters);
      EXPECT_EQ(fault.access, seen.ExceptionInformation[0]);
      EXPECT_EQ(0u, seen.ExceptionInformation[1]);
    }
  }
  RemoveVectoredExceptionHandler(handler);
  EXPECT_TRUE(IsBadReadPtr(NULL, 1));
}

}  // namespace
