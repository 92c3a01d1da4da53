#pragma once
// Trace lines of the key handlers. Every line goes through KeyTrace, which the library
// entry connects to the host's trace callback (SetKeyTraceSink); until then lines are
// dropped. Levels: 1 error, 2 warning, 3 event, 4 detail; a line is written when the
// global level is at least its own. All key traces use category 2.
#include <cstdint>

constexpr int kTraceError = 1;
constexpr int kTraceWarning = 2;
constexpr int kTraceEvent = 3;
constexpr int kTraceDetail = 4;
constexpr int kTraceCategoryKeys = 2;

using KeyTraceSink = void (*)(int level, int category, const char* text, const uint8_t* data,
                              uint32_t dataLength);

void SetKeyTraceSink(KeyTraceSink sink);
void SetKeyTraceLevel(int level);
bool KeyTraceEnabled(int level);

// Formats printf-style into a 2048-byte buffer (cut at 2047 characters) and hands the text
// and the optional dump to the sink. Nothing is formatted below the global level.
void KeyTrace(int level, const uint8_t* data, uint32_t dataLength, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
