#pragma once
// The utility's application object: decides whether it may run on this system, keeps it to
// one instance, finds its files, takes the adapter from Zero Configuration where that runs,
// creates the main sheet, registers for adapter arrival and removal and the radio hot key.
// It owns the settings file Zelcon.ini and the two operations every page reads and writes
// it with.
#include <memory>
#include <string>

#include "hosts/adapterctl/adapter_control.h"
#include "platform/gui/app.h"

class CZelconSheet;

// Version classes.
enum ZelconOsVersion : int { kOsXp = 0, kOsNt5 = 1, kOsNt4 = 2, kOsWin9x = 3 };

class CZelconApp : public zfw::App {
public:
  // Every adapter operation goes through `lib` (the adapter-control library; tests pass a
  // recording fake).
  explicit CZelconApp(IAdapterControl& lib);
  ~CZelconApp() override;

  bool InitInstance() override;
  int ExitInstance() override;
  // The session end saves the profiles; the exit status says whether that worked.
  void onSessionEnd() override;

  // Integer settings of Zelcon.ini ("%d").
  bool WriteIniInt(const char* section, const char* key, int value);
  int ReadIniInt(const char* section, const char* key, int defaultValue) const;

  // Registers `window` for arrival and removal of network adapters; false when that fails.
  bool RegisterAdapterNotification(CZelconSheet& window);
  void UnregisterAdapterNotification();
  void UnregisterRadioHotKey();
  void TakeOverFromZeroConfig(int enable);

  IAdapterControl& Library() { return m_lib; }
  CZelconSheet* Sheet() { return m_sheet.get(); }

  int m_osVersion = kOsNt5;
  bool m_instanceHandle = false;  // this process holds the single-instance mark
  bool m_isSecondInstance = false;
  bool m_notifyHandle = false;  // registered for device notifications
  bool m_hotKey = false;        // Alt+F2 registered
  std::string m_profilePath;    // Data.cfg
  std::string m_iniPath;        // Zelcon.ini

private:
  bool ClassifyVersion();
  bool ClaimSingleInstance(const std::string& caption);
  void FindFiles();
  void OnSecondStart(uint32_t code);

  IAdapterControl& m_lib;
  std::unique_ptr<CZelconSheet> m_sheet;
};

// The application object (the framework's global accessor).
CZelconApp& theApp();

// The caption of the main sheet, which also names the running instance.
enum : int { IDS_CAPTION = 61213 };
