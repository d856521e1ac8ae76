// Symbol visibility for the two shared libraries. Everything is hidden by
// default; only what carries one of these macros is part of the interface.
#pragma once

#define TARN_VISIBLE __attribute__((visibility("default")))

// libtarnconfigstore
#define TARN_EXPORT TARN_VISIBLE
// libtarnplatform
#define TARN_PLATFORM_EXPORT TARN_VISIBLE
