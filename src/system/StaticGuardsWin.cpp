// The guards around the first initialisation of function-local statics, for the shipped
// programs, which start no thread of their own. The runtime's are built on the POSIX thread
// library's once-calls and condition variables; these are 1.5 KB smaller. They take one
// recursive lock (an initialiser may start another static's) for the time of an
// initialisation; a static already made costs only the compiler's inline check.
#include <windows.h>

namespace {

CRITICAL_SECTION GuardLock;
INIT_ONCE GuardLockMade = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK MakeGuardLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&GuardLock);
  return TRUE;
}

// The first byte of a guard says that its static is made.
bool Made(const long long* Guard) { return __atomic_load_n(reinterpret_cast<const char*>(Guard), __ATOMIC_ACQUIRE) != 0; }

}  // namespace

extern "C" int __cxa_guard_acquire(long long* Guard) {
  if (Made(Guard)) return 0;
  InitOnceExecuteOnce(&GuardLockMade, MakeGuardLock, nullptr, nullptr);
  EnterCriticalSection(&GuardLock);
  if (!Made(Guard)) return 1;  // the caller initialises, holding the lock
  LeaveCriticalSection(&GuardLock);
  return 0;
}

extern "C" void __cxa_guard_release(long long* Guard) {
  __atomic_store_n(reinterpret_cast<char*>(Guard), 1, __ATOMIC_RELEASE);
  LeaveCriticalSection(&GuardLock);
}

// The initialiser threw: the static stays unmade, and the next use tries again.
extern "C" void __cxa_guard_abort(long long*) { LeaveCriticalSection(&GuardLock); }
