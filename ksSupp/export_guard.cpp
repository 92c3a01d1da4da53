#include "ksSupp/export_guard.h"

void TraceCaughtException(const char* exportName, const dcfException& exception) noexcept {
  if (!TraceEnabled(TraceLevel::Error)) return;
  traceError(TraceCategory::Interface, nullptr, 0, "%s: %s (0x%08X) caught: %s\n", exportName,
             exception.TypeName(), static_cast<unsigned>(exception.Code()),
             exception.Frame(0).message);
}

void TraceCaughtException(const char* exportName, const char* what) noexcept {
  if (!TraceEnabled(TraceLevel::Error)) return;
  traceError(TraceCategory::Interface, nullptr, 0, "%s: %s caught\n", exportName, what);
}

void TraceRefusal(const char* exportName, const char* reason) noexcept {
  if (!TraceEnabled(TraceLevel::Error)) return;
  traceError(TraceCategory::Interface, nullptr, 0, "%s: refused: %s\n", exportName, reason);
}
