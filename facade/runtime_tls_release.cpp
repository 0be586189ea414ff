// Gives back, when the DLL is unloaded, the thread-local storage slots that
// its statically linked runtime took while it was loaded.
//
// winpthreads takes one slot (TlsAlloc) the first time it needs the calling
// thread's record, and never frees it: in a 32-bit DLL at every load, since
// its exception frames are registered under a pthread_once; in a 64-bit DLL
// at the first exception thrown. A host that loads and frees the DLL again
// and again would run out of the process's 1088 slots, and the runtime then
// aborts in the DLL's start-up code. Every TlsAlloc of this image goes
// through the import entry defined below, which records the slot; the
// releaser frees the recorded slots after the DLL's other C++ statics are
// gone.
#include <windows.h>

#include <algorithm>
#include <atomic>

namespace {

using TlsAllocFunction = DWORD(WINAPI*)();

// The runtime takes one; room for a few more, should another version take them.
constexpr int kMaxRecordedSlots = 8;
std::atomic<DWORD> g_recordedSlots[kMaxRecordedSlots];
std::atomic<int> g_recordedCount{0};

// Looked up at each call: a function-local static would take the runtime's
// guard lock, which may itself come here for a slot.
DWORD WINAPI RecordedTlsAlloc() {
  const auto tlsAlloc = reinterpret_cast<TlsAllocFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "TlsAlloc")));
  const DWORD slot = tlsAlloc != nullptr ? tlsAlloc() : TLS_OUT_OF_INDEXES;
  if (slot != TLS_OUT_OF_INDEXES) {
    const int index = g_recordedCount.fetch_add(1);
    if (index < kMaxRecordedSlots) g_recordedSlots[index] = slot;
  }
  return slot;
}

class CRuntimeTlsRelease {
 public:
  constexpr CRuntimeTlsRelease() = default;
  CRuntimeTlsRelease(const CRuntimeTlsRelease&) = delete;
  CRuntimeTlsRelease& operator=(const CRuntimeTlsRelease&) = delete;
  ~CRuntimeTlsRelease() {
    const int count = std::min(g_recordedCount.exchange(0), kMaxRecordedSlots);
    for (int i = 0; i < count; ++i) TlsFree(g_recordedSlots[i]);
  }
};

// The first C++ static constructed, so the last destroyed.
CRuntimeTlsRelease g_RuntimeTlsRelease __attribute__((init_priority(101)));

}  // namespace

// Defining the import entry here takes the place of kernel32's for the whole
// image; the linker then imports no TlsAlloc.
#ifdef _WIN64
#define VOKA_TLSALLOC_IMPORT "__imp_TlsAlloc"
#else
#define VOKA_TLSALLOC_IMPORT "__imp__TlsAlloc@0"
#endif
extern "C" {
TlsAllocFunction g_TlsAllocImport asm(VOKA_TLSALLOC_IMPORT) = RecordedTlsAlloc;
}
