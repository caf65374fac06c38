// The structured-exception guard around the trust service, under Wine on x64 and x86: it takes
// only what no nearer frame handles, unwinds the frames in between, and leaves the thread's frame
// chain as it found it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "launch/verify_publisher.h"
#include "platform/trust.h"
#include "platform/win32/structured_guard.h"
#include "tests/support/termination_frame_win32.h"

namespace {

using platform::win32::CallGuarded;
using platform::win32::Guarded;

struct Probe {
  volatile int result = 0;
  volatile bool reached_end = false;  // the body went on past the point that may fault
  volatile int unwound = 0;           // unwinds of the termination frame, where there is one
};

using Body = void (*)(Probe&);

// An address that no page is mapped at, out of the compiler's sight.
volatile std::uintptr_t g_unmapped = 16;

void ReadFault(Probe& probe) {
  probe.result = *reinterpret_cast<volatile int*>(g_unmapped);
  probe.reached_end = true;
}

void WriteFault(Probe& probe) {
  *reinterpret_cast<volatile int*>(g_unmapped) = 1;
  probe.reached_end = true;
}

void IllegalInstruction(Probe& probe) {
  if (probe.result == 0)
    __builtin_trap();
  probe.reached_end = true;
}

void DivideByZero(Probe& probe) {
  volatile int zero = 0;
  probe.result = 7 / zero;
  probe.reached_end = true;
}

void Raised(Probe& probe) {
  RaiseException(0xE0000042, 0, 0, nullptr);
  probe.reached_end = true;
}

void RaisedNoncontinuable(Probe& probe) {
  RaiseException(0xE0000043, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  probe.reached_end = true;
}

// The system's own probe of a bad pointer handles its fault itself and answers TRUE.
void BadReadPtr(Probe& probe) {
  probe.result = IsBadReadPtr(reinterpret_cast<const void*>(16), 4);
  probe.reached_end = true;
}

// A guard nearer to the fault takes it; the outer one sees nothing.
void InnerGuardOverReadFault(Probe& probe) {
  Probe inner;
  probe.result = CallGuarded([](void* p) { ReadFault(*static_cast<Probe*>(p)); }, &inner) ? 1 : 2;
  probe.reached_end = !inner.reached_end;
}

template <Body body>
void InTerminationFrame(Probe& probe) {
  tidyhand_test_call_in_termination_frame([](void* p) { body(*static_cast<Probe*>(p)); }, &probe,
                                          &probe.unwound);
}

void* ChainHead() {
  return tidyhand_test_chain_head();
}

struct Case {
  const char* name;
  Body body;
  bool completes;  // the call returned
  int result;
  int unwound;
};

const Case kCases[] = {
    {"a read of an unmapped address", ReadFault, false, 0, 0},
    {"a write to an unmapped address", WriteFault, false, 0, 0},
    {"an illegal instruction", IllegalInstruction, false, 0, 0},
    {"an integer division by zero", DivideByZero, false, 0, 0},
    {"a raised exception", Raised, false, 0, 0},
    {"a raised non-continuable exception", RaisedNoncontinuable, false, 0, 0},
    {"IsBadReadPtr, which handles its own fault", BadReadPtr, true, 1, 0},
    {"a nearer guard over a fault", InnerGuardOverReadFault, true, 2, 0},
    {"a fault under a termination handler", InTerminationFrame<ReadFault>, false, 0, 1},
    {"a raised exception under a termination handler", InTerminationFrame<Raised>, false, 0, 1},
    {"IsBadReadPtr under a termination handler", InTerminationFrame<BadReadPtr>, true, 1, 0},
    {"a nearer guard under a termination handler", InTerminationFrame<InnerGuardOverReadFault>, true, 2, 0},
};

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  Probe probe;
  void* const head = ChainHead();
  const bool returned = Guarded([&] { c.body(probe); });
  EXPECT_EQ(returned, c.completes);
  EXPECT_EQ(probe.reached_end, c.completes) << "the body went on past the fault";
  EXPECT_EQ(probe.result, c.result);
  EXPECT_EQ(probe.unwound, c.unwound) << "unwinds of the frame between the fault and the guard";
  EXPECT_EQ(ChainHead(), head) << "the thread's frame chain after the call";
}

TEST(StructuredGuard, TakesWhatNoNearerFrameHandlesAndUnwindsTheFramesBetween) {
  for (const Case& c : kCases)
    RunCase(c);
  // Everything again, after all those caught faults: nothing of them stays behind.
  for (const Case& c : kCases)
    RunCase(c);
}

TEST(StructuredGuard, GuardsEachThreadOnItsOwn) {
  std::thread other([] {
    for (const Case& c : kCases)
      RunCase(c);
  });
  other.join();
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

TEST(StructuredGuard, TheTrustServiceAnswersAsBeforeAfterACaughtFault) {
  Probe probe;
  ASSERT_FALSE(Guarded([&probe] { ReadFault(probe); }));

  // A certificate that points nowhere: the fault in the service refuses the name.
  wchar_t name[512] = {};
  EXPECT_EQ(
      platform::GetCertificateDisplayName(reinterpret_cast<const platform::Certificate*>(16), name, 512), 0u);

  // This test program is not signed: a whole check runs and refuses it.
  const std::wstring self = OwnPath();
  {
    const platform::TrustVerification verification(self.c_str());
    EXPECT_EQ(verification.result(), platform::kTrustNoSignature);
    EXPECT_EQ(verification.SignerCertificate(), nullptr);
  }
  EXPECT_EQ(VerifyPublisher(self.c_str()), 0);
  EXPECT_TRUE(Guarded([] {}));
}

}  // namespace
