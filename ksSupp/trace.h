#pragma once
// The library's one trace sink. Every part of the library traces through these functions;
// the host chooses the level and the callback (KSSTK_SetTraceLevel, KSSTK_SetTraceCallbackA/W).
//
// A call site tests the level first and formats nothing otherwise:
//   if (TraceEnabled(TraceLevel::Event)) traceEvent(TraceCategory::Eap, nullptr, 0, "...\n");
// The text of every line ends in "\n" (the format strings carry it).
#include <cstdarg>
#include <cstdint>

#include <ksstk.h>

enum class TraceLevel : std::int32_t { Error = 1, Warning = 2, Event = 3, Detail = 4 };
enum class TraceCategory : std::int32_t { Interface = 0, Eap = 1, Keys = 2 };

// True when lines of that level are written (the global level is at least that level).
bool TraceEnabled(TraceLevel level);

void SetTraceLevel(std::int32_t level);
void SetTraceCallbackA(KSSTK_TRACE_CALLBACK_A callback);
void SetTraceCallbackW(KSSTK_TRACE_CALLBACK_W callback);

// Hands one finished line (at most 2047 characters) to the host: the narrow callback when
// set, else the wide one with the text widened, else nowhere. Never throws. This is the
// form of the sink that parts with their own formatting connect to.
void DeliverTrace(std::int32_t level, std::int32_t category, const char* text,
                  const std::uint8_t* data, std::uint32_t dataLength) noexcept;

// Connects the parts that format their own lines (the key handlers) to this sink; the library
// entry calls it once. Their level follows SetTraceLevel from then on.
void ConnectTraceSources();

// Formats into a 2048-byte buffer (longer texts are cut at 2047 characters) and delivers.
void traceMessage(TraceLevel level, TraceCategory category, const std::uint8_t* data,
                  std::uint32_t dataLength, const char* format, std::va_list arguments) noexcept;

#define ZL_TRACE_FORMAT __attribute__((format(printf, 4, 5)))
void traceError(TraceCategory category, const std::uint8_t* data, std::uint32_t dataLength,
                const char* format, ...) noexcept ZL_TRACE_FORMAT;
void traceWarning(TraceCategory category, const std::uint8_t* data, std::uint32_t dataLength,
                  const char* format, ...) noexcept ZL_TRACE_FORMAT;
void traceEvent(TraceCategory category, const std::uint8_t* data, std::uint32_t dataLength,
                const char* format, ...) noexcept ZL_TRACE_FORMAT;
void traceDetail(TraceCategory category, const std::uint8_t* data, std::uint32_t dataLength,
                 const char* format, ...) noexcept ZL_TRACE_FORMAT;
#undef ZL_TRACE_FORMAT
