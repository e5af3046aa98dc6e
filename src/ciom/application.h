// The base of the program's application object. runApp is the whole life of
// the program between main and the process's end: paths, configuration,
// onInit, the window maker, run, onDestroy.
#pragma once

#include "base/appconfig.h"
#include "base/guardchar.h"

class cWindowMaker;
class cCIOMLang;

// The toolkit's own language provider, made with the first window maker and
// kept for the life of the process.
extern cCIOMLang* gCILang;

class cCIApplication {
 public:
  cCIApplication() = default;
  cCIApplication(const cCIApplication&) = delete;
  cCIApplication& operator=(const cCIApplication&) = delete;

  // False stops the start-up; the exit status may be written first.
  virtual bool onInit(int, char**, int&) { return true; }
  virtual int run() { return 0; }
  virtual void onDestroy() {}
  virtual ~cCIApplication();
  // Square 32-bit pixels, appIconDim on a side.
  virtual void* appIconData() { return nullptr; }
  virtual unsigned int appIconDim() { return 0; }
  // False lets run go ahead without a window maker, for work that shows
  // nothing and must run where there is no display.
  virtual bool needsWindowMaker() { return true; }

  // The application and its configuration are owned from here on: both are
  // deleted before it answers. A null configuration is made here.
  static int runApp(cCIApplication* app, void* instance, void*, int, int argc, char** argv,
                    cApplicationConfig* config, const char* name);

  static cCIApplication* appRef() { return gCurrentApp; }
  cWindowMaker* windowMaker() { return myMaker; }
  // The window maker for a program that started without one and finds it
  // has something to show after all; null when no window can be opened.
  cWindowMaker* openWindowMaker();
  const char* appPath() { return myPath.ptr; }
  const char* appFolder() { return myFolder.ptr; }
  void* instance() { return myInstance; }
  cApplicationConfig* config() { return myConfig; }

 private:
  static cCIApplication* gCurrentApp;

  cWindowMaker* myMaker = nullptr;
  _guardchar<char> myPath;
  _guardchar<char> myFolder;
  void* myInstance = nullptr;
  cApplicationConfig* myConfig = nullptr;
};
