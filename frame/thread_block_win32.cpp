#include "frame/thread_block_win32.h"

#include <windows.h>

namespace vornset {
namespace {

constexpr SIZE_T kThreadBlockSize = 128;
DWORD slot = TLS_OUT_OF_INDEXES;

// The block carries the code page that every text conversion of the run uses.
struct ThreadBlock {
  UINT code_page;
};
static_assert(sizeof(ThreadBlock) <= kThreadBlockSize);

}  // namespace

bool allocate_thread_block() {
  slot = TlsAlloc();
  if (slot == TLS_OUT_OF_INDEXES) return false;
  auto* block = static_cast<ThreadBlock*>(GlobalAlloc(GPTR, kThreadBlockSize));
  if (block == nullptr) return false;
  block->code_page = CP_ACP;
  TlsSetValue(slot, block);
  return true;
}

void release_thread_block() {
  if (slot == TLS_OUT_OF_INDEXES) return;
  if (void* block = TlsGetValue(slot)) GlobalFree(block);
  TlsSetValue(slot, nullptr);
  TlsFree(slot);
  slot = TLS_OUT_OF_INDEXES;
}

}  // namespace vornset
