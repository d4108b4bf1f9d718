// The few functions of the POSIX thread library that the runtime's exception handling and its
// thread-local storage call, for the shipped programs: with these the library itself (32 KB of
// setup.exe) stays out of them. The programs start no thread that throws, so every mutex is one
// recursive lock, held only for the short bookkeeping the runtime does under it; the keys are
// the system's thread-local slots (a thread's values are not freed when it ends).
#include <windows.h>

#include <cerrno>
#include <cstdint>

namespace {

CRITICAL_SECTION Lock;
INIT_ONCE LockMade = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK MakeLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&Lock);
  return TRUE;
}

void Enter() {
  InitOnceExecuteOnce(&LockMade, MakeLock, nullptr, nullptr);
  EnterCriticalSection(&Lock);
}

}  // namespace

// The library's types: a mutex is a pointer-sized number, a once-flag a long (0 before), a key
// an unsigned number.
extern "C" int pthread_mutex_init(std::intptr_t*, const unsigned*) { return 0; }
extern "C" int pthread_mutex_destroy(std::intptr_t*) { return 0; }
extern "C" int pthread_mutex_lock(std::intptr_t*) {
  Enter();
  return 0;
}
extern "C" int pthread_mutex_unlock(std::intptr_t*) {
  LeaveCriticalSection(&Lock);
  return 0;
}

extern "C" int pthread_once(long* Once, void (*Routine)()) {
  Enter();
  if (*Once == 0) {
    *Once = 1;
    Routine();
  }
  LeaveCriticalSection(&Lock);
  return 0;
}

extern "C" int pthread_key_create(unsigned* Key, void (*)(void*)) {
  const DWORD Slot = TlsAlloc();
  if (Slot == TLS_OUT_OF_INDEXES) return EAGAIN;
  *Key = Slot;
  return 0;
}
extern "C" void* pthread_getspecific(unsigned Key) { return TlsGetValue(Key); }
extern "C" int pthread_setspecific(unsigned Key, const void* Value) {
  return TlsSetValue(Key, const_cast<void*>(Value)) ? 0 : EINVAL;
}
