#pragma once
// The two names common/stream.h takes from the system headers, so that the MP3 scanner builds on
// the host for fuzzing. Nothing here is called: the host build links no FileStream.

#include <cstdint>

typedef void* HANDLE;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
