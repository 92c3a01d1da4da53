#pragma once
// The driver package's release, as its installation file's DriverVer line states it. Setup
// writes it into the adapter's registry key (DriverVersion, DriverDate), where the
// adapter-control library reads it for the utility's About page.
inline constexpr const char* kDriverVersion = "1.0.0.0";
inline constexpr const char* kDriverDate = "12-11-2026";  // month-day-year
