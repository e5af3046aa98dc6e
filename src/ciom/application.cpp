#include "ciom/application.h"

#include <cstring>

#include "base/buffers.h"
#include "ciom/ciappconfig.h"
#include "ciom/ciomlangs.h"
#include "ciom/windowmaker.h"

cCIApplication* cCIApplication::gCurrentApp = nullptr;

cCIOMLang* gCILang = nullptr;

cWindowMaker* cWindowMaker::newWindowMaker(void* instance, void* iconData, unsigned int iconDim,
                                           cWindowMaker* maker) {
  if (!maker) maker = __newPlatformWindowMaker();
  if (!maker) return nullptr;
  if (!maker->create(instance, iconData, iconDim)) {
    delete maker;
    return nullptr;
  }
  if (!gCILang) {
    // The toolkit's texts join whatever language the application applied
    // before any window existed.
    gCILang = new cCIOMLang;
    eCIOMStdLangs applied = cLibLang::appliedLang();
    if (static_cast<int>(applied) <= 9)
      cLibLang::applyLang(applied);
    else
      cLibLang::applyDefaultLang();
  }
  maker->langStore = &cLibLang::gCiomLang;
  return maker;
}

cCIApplication::~cCIApplication() {
  delete myConfig;
  myConfig = nullptr;
  myPath.set(nullptr);
  myFolder.set(nullptr);
  delete myMaker;
  myMaker = nullptr;
}

cWindowMaker* cCIApplication::openWindowMaker() {
  if (!myMaker) myMaker = cWindowMaker::newWindowMaker(myInstance, appIconData(), appIconDim(), nullptr);
  return myMaker;
}

int cCIApplication::runApp(cCIApplication* app, void* instance, void*, int, int argc, char** argv,
                           cApplicationConfig* config, const char* name) {
  if (!app) return 1;
  // Whichever way this ends, exceptions included, the application goes and
  // is no longer current.
  cPtr<cCIApplication> owned(app);
  struct sCurrent {
    explicit sCurrent(cCIApplication* a) { gCurrentApp = a; }
    ~sCurrent() { gCurrentApp = nullptr; }
  } current(app);
  app->myInstance = instance;
  if (argc != 0 && argv) {
    const char* path = argv[0];
    app->myPath.set(path);
    const char* slash = path ? std::strrchr(path, '/') : nullptr;
    if (slash)
      app->myFolder.set(path, slash - path);
    else
      app->myFolder.set("./");
  }

  if (!config) config = new cCIAppFullConfig;
  if (config != app->myConfig) delete app->myConfig;
  app->myConfig = config;

  int status = 1;
  // A store that cannot be opened even after its folder was made (no home,
  // or one that cannot be written) has no folder: it answers every read
  // with "missing" and refuses every write. The program still runs for such
  // a user, without settings, and writes no file anywhere.
  if (!config->openConfig(name)) {
    config->newConfig(name);
    config->openConfig(name);
  }

  if (app->onInit(argc, argv, status)) {
    if (app->needsWindowMaker()) app->openWindowMaker();
    // The platform's maker said why it could not be made (no display);
    // no mode runs then and the status stays 1.
    if (app->myMaker || !app->needsWindowMaker()) {
      status = app->run();
      app->onDestroy();
    }
  }
  return status;
}
