// What the two registry scripts register: the three in-process component
// servers of the shared library folder, their classes, interfaces and type
// libraries. Product data, kept readable here; the generator only lays it out.
#pragma once
#include <array>
#include <cstddef>

namespace regscript {

struct ComServer {
  const wchar_t* library;     // one of kComServerLibraries (folder code 20)
  const char* shortLibrary;   // the library's 8.3 name, as the type library key holds it
  const char* name;           // the AppID's name
  const char* appId;
  const char* typeLibId;      // version 1.0, language neutral
  const char* typeLibName;
  const char* installFeature;    // Windows Installer feature and component that hold the library
  const char* installComponent;  // (the descriptor of each class's InprocServer32 multi-string)
};

struct ComClass {
  size_t server;          // index into kServers
  const char* clsid;
  const char* name;
  const char* progId;     // version-independent; the version-dependent one adds ".1"
  bool control;           // the ActiveX control (Control, MiscStatus, ToolboxBitmap32, Version)
};

struct ComInterface {
  size_t server;          // whose type library describes it
  const char* iid;
  const char* name;
  const char* proxyStub;  // the Automation marshaller that serves it
};

// The Windows Installer product that installs the shared components.
inline constexpr const char* kInstallProduct = "{15DBDB03-9103-4548-9D3E-BB9089A8B1D3}";

extern const std::array<ComServer, 3> kServers;
extern const std::array<ComClass, 9> kClasses;
extern const std::array<ComInterface, 15> kInterfaces;

}  // namespace regscript
